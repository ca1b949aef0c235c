// Everything that shapes one simulated DVR: ports, the identity it reports,
// its users, timing, scripted behaviour and answer overrides. Built from the
// command line by ParseOptions; tests build it directly.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dvrsim/archive.h"
#include "dvrsim/scenario.h"

namespace dvrsim {

inline constexpr int kDefaultBasePort = 7620;
inline constexpr int kMaxChannels = 16;
inline constexpr int kTextFieldBytes = 32;  // user IDs, passwords, camera names

struct SimUser {
  std::string id;        // at most 32 bytes
  std::string password;  // at most 32 bytes
  uint32_t rights = 15;  // bit 2 playback, bit 4 backup
};

struct SimConfig {
  int base_port = kDefaultBasePort;  // 0: choose a free base at start
  std::string bind_address = "127.0.0.1";
  int platform = 164;                // 160..164
  std::string platform_text;         // empty: the text that belongs to platform
  int channels = 16;                 // 4, 8, 9 or 16
  int report_channels = -1;          // -1: same as channels
  std::vector<SimUser> users;        // empty: admin:1234
  int max_sessions = 8;
  int keepalive_seconds = 5;         // 0: never
  int32_t timezone_seconds = 32400;
  bool daylight = false;
  std::string scenario_path;
  Scenario scenario;
  bool log_requests = false;
  // Answer code -> result that replaces the answer's first u16, or nullopt
  // to suppress the answer altogether.
  std::map<uint16_t, std::optional<uint16_t>> reply_overrides;
  // Index 0 is camera 1; empty entries keep the built-in name.
  std::array<std::string, kMaxChannels> camera_names{};
  int run_seconds = 0;               // 0: until stopped

  // Live streams.
  int max_streams = -1;              // -1: three per allowed session
  int resolution = 2;                // header code: 0 D1, 1 half D1, 2 CIF, 3 QCIF
  bool pal = true;
  int fps = 0;                       // 0: 25 for PAL, 30 for NTSC
  int loop_frames = 0;               // frames per pre-encoded loop; 0: one second
  int gop = 0;                       // a key picture every gop frames; 0: one per loop
  int bitrate_bps = 0;               // 0: chosen by the resolution
  bool camera_like = false;          // sensor noise and motion, as real cameras
  bool prepare_media = false;        // encode every loop before listening
  bool duplicate_video = false;      // kind-2 streams carry their mask's video too
  int audio_codec = 0;               // 0: the platform's codec
  TalkMode talk_mode = TalkMode::kGrant;
  std::string talk_wav;              // where received talk audio is written

  // Recordings: the given segments (start in the DVR's zone), or else the
  // default pattern over this many days before today.
  int archive_days = 3;
  std::vector<ArchiveSegment> archive_segments;

  // Derived values, with the defaults filled in.
  std::string PlatformText() const;
  int ReportedChannels() const { return report_channels < 0 ? channels : report_channels; }
  std::vector<SimUser> EffectiveUsers() const;
  std::string CameraName(int index0) const;
  int FrameRate() const { return fps > 0 ? fps : (pal ? 25 : 30); }
  int LoopFrames() const { return loop_frames > 0 ? loop_frames : FrameRate(); }
  int Gop() const { return gop > 0 ? gop : LoopFrames(); }
  int AudioCodec() const;
  // The talk codec of the platform: 150 voice, 148 G.726 at 24 kbit/s, 149 none.
  int TalkCodec() const { return platform == 164 ? 150 : (platform == 162 ? 149 : 148); }
};

// The platform text a platform number stands for ("" when unknown).
const char* PlatformTextFor(int platform);

enum class ParseOutcome { kRun, kHelp, kError };

// Parses the arguments after the program name. Also loads and checks the
// scenario file, so a bad file is reported before anything listens.
// On kError, *error holds a one-line explanation.
ParseOutcome ParseOptions(const std::vector<std::string>& args, SimConfig* config, std::string* error);

// The --help text.
std::string UsageText();

// Number parsing shared with the scenario reader: decimal or 0x hex, whole
// text consumed, within [min, max].
bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t* out);

}  // namespace dvrsim
