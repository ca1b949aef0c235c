// Playback of the simulated DVR's recordings on a stream connection that sent
// the playback request (0x4110) after its admission. It takes the position
// (0x4126), play control (0x412C: action 1 play / 2 stop, direction 0
// forward / 1 backward, step 1 normal, 2..4 fast), the channel mask
// (0x4106) and close (0x4112), and plays from the position: at normal
// forward speed every frame of each recorded channel's loop, fast forward
// and backward only key pictures (backward in reverse order), with capture
// times that follow the archive's timeline. 0x4111 answers a play request,
// 0x4114 tells that the recordings ended. Gaps between recordings are
// skipped.
//
// Speeds: step s plays 2^(s-1) times faster than normal (1, 2, 4, 8); the
// key pictures of fast and backward play come one per key interval of the
// archive (a loop's GOP), each covering that interval.
#pragma once
#include <array>
#include <cstdint>
#include <functional>

#include "dvrsim/archive.h"
#include "dvrsim/framing.h"
#include "dvrsim/media_store.h"
#include "dvrsim/sim_config.h"

namespace dvrsim {

class ArchivePlayer {
 public:
  // Sends one frame record of a channel, cut into fragments; false: close.
  using UnitSender = std::function<bool(int channel, const uint8_t* record, size_t size)>;
  using MessageSender = std::function<bool(uint16_t code, std::span<const uint8_t> payload)>;

  ArchivePlayer(const SimConfig& config, const Archive& archive, MediaStore& media, MessageSender send,
                UnitSender send_unit);

  // The playback request's channel mask (u16 at 6; all when shorter).
  void Begin(std::span<const uint8_t> request);
  // A message on the playback connection; false: close.
  bool OnMessage(const Message& m, int64_t now_ms);
  // Sends what is due at now_ms; false: close.
  bool OnTimer(int64_t now_ms);
  int64_t NextDeadline() const;

  bool playing() const { return playing_; }
  uint16_t mask() const { return mask_; }
  // The archive time (UTC ms) the next pictures show.
  int64_t cursor_ms() const { return cursor_ms_; }

 private:
  struct Channel {
    bool recording = false;   // recorded at the cursor last time
    size_t next_frame = 0;    // in the loop
    uint32_t last_record_bytes = 0;
    size_t next_key = 0;      // key pictures shown since fast play began
  };

  bool SendFrame(int channel, size_t frame, int64_t at_ms);
  // Moves the cursor into the recordings in the playing direction; false
  // when they ended there.
  bool SeekRecorded();
  int64_t TickMs() const;
  bool KeysOnly() const { return direction_ != 0 || step_ > 1; }
  uint32_t CaptureTime(int64_t utc_s) const;
  uint16_t Wanted() const;

  const SimConfig& config_;
  const Archive& archive_;
  MediaStore& media_;
  MessageSender send_;
  UnitSender send_unit_;

  uint16_t mask_ = 0xFFFF;
  bool playing_ = false;
  int direction_ = 0;
  int step_ = 1;
  int64_t cursor_ms_ = 0;
  int64_t next_tick_ms_ = 0;
  std::array<Channel, kMaxChannels> channels_{};
  Bytes record_scratch_;
};

}  // namespace dvrsim
