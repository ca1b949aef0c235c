#include "dvrsim/archive_player.h"

#include <algorithm>
#include <ctime>

#include "mediagen/mediagen.h"
#include "platform/bytes.h"
#include "protocol/commands.h"

namespace dvrsim {
namespace {

int64_t FloorSeconds(int64_t ms) { return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000); }

}  // namespace

ArchivePlayer::ArchivePlayer(const SimConfig& config, const Archive& archive, MediaStore& media,
                             MessageSender send, UnitSender send_unit)
    : config_(config), archive_(archive), media_(media), send_(std::move(send)), send_unit_(std::move(send_unit)) {}

void ArchivePlayer::Begin(std::span<const uint8_t> request) {
  mask_ = request.size() >= 8 ? platform::GetU16BE(request.data() + 6) : 0xFFFF;
}

uint16_t ArchivePlayer::Wanted() const {
  const uint16_t all = static_cast<uint16_t>(config_.channels >= 16 ? 0xFFFF : (1u << config_.channels) - 1);
  return mask_ & all;
}

int64_t ArchivePlayer::TickMs() const {
  const int fps = config_.FrameRate();
  if (!KeysOnly()) return std::max(1, 1000 / fps);
  const int64_t key_interval_ms = int64_t{config_.Gop()} * 1000 / fps;
  const int factor = 1 << (std::clamp(step_, 1, 4) - 1);
  return std::max<int64_t>(1, key_interval_ms / factor);
}

uint32_t ArchivePlayer::CaptureTime(int64_t utc_s) const {
  // Platforms 162..164 count capture times in UTC, the older ones in the
  // DVR's zone, as their live pictures do.
  return static_cast<uint32_t>(config_.platform < 162 ? utc_s + archive_.zone_offset() : utc_s);
}

bool ArchivePlayer::OnMessage(const Message& m, int64_t now_ms) {
  const uint8_t* p = m.payload.data();
  const size_t n = m.payload.size();
  switch (m.code) {
    case cmd::kPlaybackPosition: {
      if (n < 12) return true;
      const int64_t zone_s = ZoneSeconds(platform::GetU16BE(p), platform::GetU16BE(p + 2), platform::GetU16BE(p + 4),
                                         platform::GetU16BE(p + 6), platform::GetU16BE(p + 8),
                                         platform::GetU16BE(p + 10));
      cursor_ms_ = (zone_s - archive_.zone_offset()) * 1000;
      for (Channel& c : channels_) c = Channel{};
      next_tick_ms_ = now_ms;
      return send_(0x4127, {});
    }
    case cmd::kPlayControl: {
      if (n < 6) return true;
      const uint16_t action = platform::GetU16BE(p);
      if (action == 2) {
        playing_ = false;
        return send_(0x412D, {});
      }
      if (action != 1) return true;
      direction_ = platform::GetU16BE(p + 2) == 1 ? 1 : 0;
      step_ = std::clamp<int>(platform::GetU16BE(p + 4), 1, 4);
      playing_ = true;
      next_tick_ms_ = now_ms;
      // Every speed change starts each channel again at a key picture.
      for (Channel& c : channels_) c.recording = false;
      return send_(cmd::kPlaybackRunning, {});
    }
    case cmd::kChannelMask:
      if (n >= 2) mask_ = platform::GetU16BE(p);
      return true;
    case cmd::kPlaybackClose:
      playing_ = false;
      return send_(0x4113, {});
    case cmd::kPlayback4128:
      return send_(0x4129, {});
    case cmd::kPlayback412A:
      return send_(0x412B, {});
    default:
      return true;  // hidden-channel requests and the rest need no answer
  }
}

int64_t ArchivePlayer::NextDeadline() const { return playing_ ? next_tick_ms_ : INT64_MAX; }

bool ArchivePlayer::SeekRecorded() {
  const uint16_t wanted = Wanted();
  const int64_t now_s = FloorSeconds(cursor_ms_);
  if (archive_.AnyRecorded(wanted, now_s)) return true;
  const int64_t t = direction_ == 0 ? archive_.NextRecorded(wanted, now_s) : archive_.PreviousRecorded(wanted, now_s);
  if (t < 0) return false;
  cursor_ms_ = t * 1000;
  for (Channel& c : channels_) c.recording = false;
  return true;
}

bool ArchivePlayer::OnTimer(int64_t now_ms) {
  if (!playing_) return true;
  // A connection that fell far behind skips ahead instead of bursting.
  if (now_ms - next_tick_ms_ > 1000) next_tick_ms_ = now_ms;
  while (playing_ && now_ms >= next_tick_ms_) {
    if (!SeekRecorded()) {
      playing_ = false;
      return send_(cmd::kPlaybackEnded, {});
    }
    const int64_t at_s = FloorSeconds(cursor_ms_);
    const uint16_t wanted = Wanted();
    const int loop = std::max(1, config_.LoopFrames());
    const int gop = std::clamp(config_.Gop(), 1, loop);
    const size_t keys = static_cast<size_t>((loop + gop - 1) / gop);
    for (int c = 0; c < kMaxChannels; ++c) {
      Channel& ch = channels_[static_cast<size_t>(c)];
      if (((wanted >> c) & 1u) == 0 || !archive_.Recorded(c, at_s)) {
        ch.recording = false;
        continue;
      }
      size_t frame;
      if (KeysOnly()) {
        // Backward the key pictures come in reverse loop order.
        const size_t k = ch.next_key++ % keys;
        frame = (direction_ == 0 ? k : keys - 1 - k) * static_cast<size_t>(gop);
      } else {
        if (!ch.recording) ch.next_frame = 0;  // a recording starts at its key picture
        frame = ch.next_frame++ % static_cast<size_t>(loop);
      }
      ch.recording = true;
      if (!SendFrame(c, frame, at_s)) return false;
    }
    const int64_t advance_ms =
        KeysOnly() ? int64_t{gop} * 1000 / config_.FrameRate() : std::max(1, 1000 / config_.FrameRate());
    cursor_ms_ += direction_ == 0 ? advance_ms : -advance_ms;
    next_tick_ms_ += TickMs();
  }
  return true;
}

bool ArchivePlayer::SendFrame(int channel, size_t frame, int64_t at_s) {
  const mediagen::EncodedClip& clip = media_.Video(channel);
  if (!clip.ok() || clip.frames.empty()) return true;
  const size_t i = frame % clip.frames.size();
  const size_t size = clip.frames[i].record_size_bytes;
  record_scratch_.assign(clip.Record(i), clip.Record(i) + size);
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const uint64_t hz = mediagen::StampTicksPerSecond(config_.platform);
  const auto stamp = static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * hz +
                                           static_cast<uint64_t>(ts.tv_nsec) * hz / 1000000000u);
  Channel& ch = channels_[static_cast<size_t>(channel)];
  mediagen::RestampRecord(record_scratch_.data(), CaptureTime(at_s), stamp, ch.last_record_bytes);
  ch.last_record_bytes = static_cast<uint32_t>(size);
  return send_unit_(channel, record_scratch_.data(), size);
}

}  // namespace dvrsim
