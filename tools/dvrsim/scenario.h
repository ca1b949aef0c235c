// Scripted behaviour of a control connection: timed steps, each run once at
// its offset after that connection's login. One step per line:
//
//   T event motion|sensor|videoloss|alarm channel=C state=S [time=U32]
//   T event system code=N [time=U32] [text="..."]
//   T event ignored
//   T rights
//   T talk SUBCODE
//   T send CODE [HEXPAYLOAD]
//   T raw HEXBYTES
//   T keepalive off|on
//   T close
//   T talkmode grant|refuse|busy      how later talk requests are answered
//
// Steps for every live stream connection, T seconds after its start request:
//
//   T live close                      drop the connection
//   T live stall SECONDS              send nothing for a while
//   T live garbage                    bytes that are no message
//   T live oversize                   a unit longer than 262,144 bytes
//   T live shuffle                    the next unit's fragments out of order
//
// T is seconds (fractional allowed). '#' starts a comment.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dvrsim {

enum class StepKind : uint8_t {
  kMessage,       // send code + payload as one message
  kRaw,           // write bytes without a header
  kKeepAliveOff,
  kKeepAliveOn,
  kClose,
  kTalkMode,      // code: the talk mode
  kLiveClose,
  kLiveStall,     // at_ms .. at_ms + duration_ms
  kLiveGarbage,
  kLiveOversize,
  kLiveShuffle,
};

// How the simulated DVR answers a talk request.
enum class TalkMode : uint8_t { kGrant, kRefuse, kBusy };

struct ScenarioStep {
  int64_t at_ms = 0;  // after login
  StepKind kind = StepKind::kMessage;
  uint16_t code = 0;
  std::vector<uint8_t> bytes;  // payload for kMessage, the bytes for kRaw
  // Events whose time was not given take the current time when sent; the
  // offset of that u32 inside the payload, or -1.
  int now_time_offset = -1;
  int64_t duration_ms = 0;  // kLiveStall
  int line = 0;
};

struct Scenario {
  std::vector<ScenarioStep> steps;       // control connections, ordered by at_ms
  std::vector<ScenarioStep> live_steps;  // live connections, ordered by at_ms
};

// True for the steps that run on live connections.
inline bool IsLiveStep(StepKind kind) {
  return kind == StepKind::kLiveClose || kind == StepKind::kLiveStall || kind == StepKind::kLiveGarbage ||
         kind == StepKind::kLiveOversize || kind == StepKind::kLiveShuffle;
}

// Longest text of a system event.
inline constexpr size_t kMaxSystemEventText = 200;

// Parses scenario text. On failure returns false with *error set to
// "<name>:<line>: <reason>".
bool ParseScenario(std::string_view text, const std::string& name, Scenario* out, std::string* error);

// Reads and parses a scenario file.
bool LoadScenarioFile(const std::string& path, Scenario* out, std::string* error);

}  // namespace dvrsim
