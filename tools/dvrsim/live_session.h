// One stream connection of the simulated DVR (BASE+2), without the socket:
// it admits the connection with the session id of a logged-in control
// session, takes the start request (channel mask and stream kind) and mask
// changes, and on its timer replays each requested channel's loop at the
// frame rate with fresh headers, cut into 0x4104 fragments.
//
// Stream kinds: 1 carries the video of its mask, 2 the audio of its mask
// (and its video too with --duplicate-video), 3 both.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "dvrsim/archive_player.h"
#include "dvrsim/control_session.h"
#include "dvrsim/framing.h"
#include "dvrsim/audio_media.h"
#include "dvrsim/media_store.h"

namespace dvrsim {

// Largest fragment payload: the 24-byte fragment header and its data.
inline constexpr int kFragmentPayloadBytes = 4500;
inline constexpr int kFragmentHeaderBytes = 24;

// Totals over every live connection of a simulator.
struct LiveStats {
  std::atomic<uint64_t> units{0};
};

class LiveSession {
 public:
  // talk may be null: talk packets are then only counted.
  LiveSession(const SimConfig& config, SessionRegistry& registry, MediaStore& media, TalkRecorder* talk,
              SendFunction send, LineSink log, int local_port);
  ~LiveSession();
  LiveSession(const LiveSession&) = delete;
  LiveSession& operator=(const LiveSession&) = delete;

  // Bytes received at now_ms (monotonic). False: close the connection.
  bool OnReceived(const uint8_t* data, size_t size, int64_t now_ms);
  // Sends the frames due at now_ms. False: close.
  bool OnTimer(int64_t now_ms);
  int64_t NextDeadline() const;

  void SetStats(LiveStats* stats) { stats_ = stats; }
  // The recordings a playback request (0x4110) plays; without them the
  // request is ignored. From that request on the connection plays back.
  void SetArchive(const Archive* archive) { archive_ = archive; }
  bool admitted() const { return admitted_; }
  uint16_t mask() const { return mask_; }
  int kind() const { return kind_; }
  uint64_t units_sent() const { return units_sent_; }
  uint64_t talk_packets() const { return talk_packets_; }

 private:
  struct ChannelState {
    bool active = false;
    size_t next_frame = 0;      // index into the loop
    uint64_t frames_sent = 0;   // drives the time stamps
    uint32_t last_record_bytes = 0;
    size_t next_audio = 0;
    uint64_t audio_sent = 0;
  };

  bool HandleMessage(const Message& m, int64_t now_ms);
  void ApplyMask(uint16_t mask);
  bool SendVideoFrame(int channel);
  bool SendAudioFrame(int channel);
  // Runs the live steps of the scenario due at now_ms. False: close.
  bool RunLiveSteps(int64_t now_ms);
  bool SendsVideo() const {
    return started_ && (kind_ == 1 || kind_ == 3 || (kind_ == 2 && config_.duplicate_video));
  }
  bool SendsAudio() const { return started_ && (kind_ == 2 || kind_ == 3); }
  // Cuts one record into fragments and sends them as one write.
  bool SendUnit(int channel, const uint8_t* record, size_t size_bytes);
  uint32_t CaptureTimeNow() const;
  uint32_t StampNow() const;

  const SimConfig& config_;
  SessionRegistry& registry_;
  MediaStore& media_;
  TalkRecorder* talk_;
  SendFunction send_;
  LineSink log_;
  int local_port_;
  FrameReader reader_;

  bool admitted_ = false;
  bool holds_stream_slot_ = false;
  bool started_ = false;
  int kind_ = 0;
  uint16_t mask_ = 0;
  std::array<ChannelState, kMaxChannels> channels_{};
  int64_t next_tick_ms_ = 0;
  int64_t next_audio_ms_ = 0;
  int64_t start_ms_ = 0;
  size_t next_live_step_ = 0;
  int64_t stall_until_ms_ = 0;
  bool shuffle_next_ = false;
  uint64_t talk_packets_ = 0;
  LiveStats* stats_ = nullptr;
  const Archive* archive_ = nullptr;
  std::unique_ptr<ArchivePlayer> playback_;
  uint16_t unit_sequence_ = 0;
  uint64_t units_sent_ = 0;
  Bytes record_scratch_;
  Bytes wire_scratch_;
};

}  // namespace dvrsim
