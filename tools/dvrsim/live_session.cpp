#include "dvrsim/live_session.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/bytes.h"
#include "platform/clock.h"
#include "protocol/commands.h"
#include "streaming/frame_header.h"

namespace dvrsim {

LiveSession::LiveSession(const SimConfig& config, SessionRegistry& registry, MediaStore& media, TalkRecorder* talk,
                         SendFunction send, LineSink log, int local_port)
    : config_(config),
      registry_(registry),
      media_(media),
      talk_(talk),
      send_(std::move(send)),
      log_(std::move(log)),
      local_port_(local_port) {}

LiveSession::~LiveSession() {
  if (holds_stream_slot_) registry_.ReleaseStream();
}

bool LiveSession::OnReceived(const uint8_t* data, size_t size, int64_t now_ms) {
  return DrainMessages(reader_, data, size, [&](const Message& m) { return HandleMessage(m, now_ms); });
}

bool LiveSession::HandleMessage(const Message& m, int64_t now_ms) {
  if (config_.log_requests && log_) {
    // Talk audio is logged by its size only: it arrives many times a second.
    log_(RequestLogLine(local_port_, m, m.code == cmd::kTalkData ? "..." : nullptr));
  }
  if (!admitted_) {
    if (m.code != cmd::kStreamOpenReq || m.payload.size() < 2) return false;
    const uint16_t session_id = platform::GetU16BE(m.payload.data());
    uint16_t result = 1;
    if (!registry_.IsLoggedIn(session_id)) {
      result = 0xF001;
    } else if (!registry_.AcquireStream()) {
      result = 0xF002;
    } else {
      holds_stream_slot_ = true;
    }
    if (auto it = config_.reply_overrides.find(cmd::kStreamOpenAns); it != config_.reply_overrides.end()) {
      if (!it->second) return true;  // no answer: the client times out
      result = *it->second;
    }
    uint8_t answer[2];
    platform::PutU16BE(answer, result);
    if (!send_(EncodeMessage(cmd::kStreamOpenAns, answer))) return false;
    if (result != 1) return false;
    admitted_ = true;
    return true;
  }
  if (playback_) return playback_->OnMessage(m, now_ms);
  if (m.code == cmd::kPlaybackReq && archive_ != nullptr) {
    playback_ = std::make_unique<ArchivePlayer>(
        config_, *archive_, media_,
        [this](uint16_t code, std::span<const uint8_t> payload) { return send_(EncodeMessage(code, payload)); },
        [this](int channel, const uint8_t* record, size_t size) { return SendUnit(channel, record, size); });
    playback_->Begin(m.payload);
    return true;
  }
  switch (m.code) {
    case cmd::kLiveStart:
      if (m.payload.size() < 4) return true;
      kind_ = platform::GetU16BE(m.payload.data() + 2);
      if (!started_) {
        start_ms_ = now_ms;
        next_tick_ms_ = now_ms;
        next_audio_ms_ = now_ms;
      }
      started_ = true;
      ApplyMask(platform::GetU16BE(m.payload.data()));
      return true;
    case cmd::kChannelMask:
      if (m.payload.size() < 2) return true;
      ApplyMask(platform::GetU16BE(m.payload.data()));
      return true;
    case cmd::kTalkData:
      ++talk_packets_;
      if (talk_ != nullptr) talk_->OnTalkPacket(m.payload.data(), m.payload.size());
      return true;
    default:
      return true;  // hidden-channel requests and others need no answer
  }
}

void LiveSession::ApplyMask(uint16_t mask) {
  mask_ = mask;
  for (int c = 0; c < kMaxChannels; ++c) {
    const bool wanted = (mask & (1u << c)) != 0 && c < config_.channels;
    ChannelState& s = channels_[static_cast<size_t>(c)];
    if (wanted && !s.active) {
      // A newly requested channel starts at its loop's key picture.
      s.next_frame = 0;
      s.last_record_bytes = 0;
    }
    s.active = wanted;
  }
}

int64_t LiveSession::NextDeadline() const {
  if (playback_) return playback_->NextDeadline();
  if (!started_) return INT64_MAX;
  int64_t next = INT64_MAX;
  if (stall_until_ms_ > 0) next = stall_until_ms_;
  else {
    if (SendsVideo()) next = std::min(next, next_tick_ms_);
    if (SendsAudio()) next = std::min(next, next_audio_ms_);
  }
  const auto& steps = config_.scenario.live_steps;
  if (next_live_step_ < steps.size()) next = std::min(next, start_ms_ + steps[next_live_step_].at_ms);
  return next;
}

bool LiveSession::RunLiveSteps(int64_t now_ms) {
  const auto& steps = config_.scenario.live_steps;
  while (next_live_step_ < steps.size() && start_ms_ + steps[next_live_step_].at_ms <= now_ms) {
    const ScenarioStep& step = steps[next_live_step_++];
    switch (step.kind) {
      case StepKind::kLiveClose:
        return false;
      case StepKind::kLiveStall:
        stall_until_ms_ = now_ms + step.duration_ms;
        break;
      case StepKind::kLiveGarbage: {
        Bytes junk(64);
        for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(0xA5 ^ (i * 37));
        if (!send_(junk)) return false;
        break;
      }
      case StepKind::kLiveOversize: {
        // 70 fragments of a unit that no client buffer can hold.
        std::vector<uint8_t> unit(70 * (kFragmentPayloadBytes - kFragmentHeaderBytes), 0x5A);
        if (!SendUnit(0, unit.data(), unit.size())) return false;
        break;
      }
      case StepKind::kLiveShuffle:
        shuffle_next_ = true;
        break;
      default:
        break;
    }
  }
  return true;
}

bool LiveSession::OnTimer(int64_t now_ms) {
  if (playback_) return playback_->OnTimer(now_ms);
  if (!started_) return true;
  if (!RunLiveSteps(now_ms)) return false;
  if (stall_until_ms_ > 0) {
    if (now_ms < stall_until_ms_) return true;
    stall_until_ms_ = 0;
    next_tick_ms_ = next_audio_ms_ = now_ms;  // resume without a burst
  }
  // A connection that fell far behind skips ahead instead of bursting.
  if (now_ms - next_tick_ms_ > 1000) next_tick_ms_ = now_ms;
  if (now_ms - next_audio_ms_ > 1000) next_audio_ms_ = now_ms;
  if (SendsVideo()) {
    const int64_t interval_ms = 1000 / config_.FrameRate();
    while (now_ms >= next_tick_ms_) {
      for (int c = 0; c < kMaxChannels; ++c) {
        if (channels_[static_cast<size_t>(c)].active && !SendVideoFrame(c)) return false;
      }
      next_tick_ms_ += interval_ms;
    }
  }
  if (SendsAudio()) {
    const int64_t interval_ms = 1000 / kAudioFramesPerSecond;
    while (now_ms >= next_audio_ms_) {
      for (int c = 0; c < kMaxChannels; ++c) {
        if (channels_[static_cast<size_t>(c)].active && !SendAudioFrame(c)) return false;
      }
      next_audio_ms_ += interval_ms;
    }
  }
  return true;
}

bool LiveSession::SendAudioFrame(int channel) {
  const AudioLoop& loop = media_.Audio(channel);
  if (loop.offsets.empty()) return true;
  ChannelState& s = channels_[static_cast<size_t>(channel)];
  const size_t i = s.next_audio % loop.offsets.size();
  const size_t size = loop.sizes[i];
  record_scratch_.assign(loop.bytes.begin() + static_cast<std::ptrdiff_t>(loop.offsets[i]),
                         loop.bytes.begin() + static_cast<std::ptrdiff_t>(loop.offsets[i] + size));
  const uint32_t stamp = StampNow();
  streaming::EncodePts(stamp, 0x3, record_scratch_.data() + 9);
  streaming::EncodePts(stamp, 0x1, record_scratch_.data() + 14);
  s.next_audio = i + 1;
  ++s.audio_sent;
  return SendUnit(channel, record_scratch_.data(), size);
}

uint32_t LiveSession::StampNow() const {
  // The DVR's clock in the platform's stamp unit, wrapping at 32 bits; a
  // client on the same machine can measure the delay from send to picture.
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const uint64_t hz = mediagen::StampTicksPerSecond(config_.platform);
  const uint64_t ticks = static_cast<uint64_t>(ts.tv_sec) * hz + static_cast<uint64_t>(ts.tv_nsec) * hz / 1000000000u;
  return static_cast<uint32_t>(ticks);
}

uint32_t LiveSession::CaptureTimeNow() const {
  int64_t t = platform::NowSeconds();
  // Platforms 162..164 count capture times in UTC; the older ones in the
  // DVR's local time.
  if (config_.platform < 162) t += config_.timezone_seconds + (config_.daylight ? 3600 : 0);
  return static_cast<uint32_t>(t);
}

bool LiveSession::SendVideoFrame(int channel) {
  const mediagen::EncodedClip& clip = media_.Video(channel);
  if (!clip.ok() || clip.frames.empty()) return true;
  ChannelState& s = channels_[static_cast<size_t>(channel)];
  const size_t i = s.next_frame % clip.frames.size();
  const size_t size = clip.frames[i].record_size_bytes;
  record_scratch_.assign(clip.Record(i), clip.Record(i) + size);
  mediagen::RestampRecord(record_scratch_.data(), CaptureTimeNow(), StampNow(), s.last_record_bytes);
  s.last_record_bytes = static_cast<uint32_t>(size);
  s.next_frame = i + 1;
  ++s.frames_sent;
  return SendUnit(channel, record_scratch_.data(), size);
}

bool LiveSession::SendUnit(int channel, const uint8_t* record, size_t size_bytes) {
  constexpr size_t kDataPerFragment = kFragmentPayloadBytes - kFragmentHeaderBytes;
  const size_t count = (size_bytes + kDataPerFragment - 1) / kDataPerFragment;
  if (count == 0 || count > 255) return true;  // cannot be cut into this many fragments
  const uint16_t sequence = unit_sequence_++;
  wire_scratch_.clear();
  const bool reversed = shuffle_next_ && count > 1;
  if (reversed) shuffle_next_ = false;
  for (size_t k = 0; k < count; ++k) {
    const size_t index = reversed ? count - 1 - k : k;
    const size_t offset = index * kDataPerFragment;
    const size_t n = std::min(kDataPerFragment, size_bytes - offset);
    // Message header and fragment header, then the data straight from the record.
    uint8_t head[kMessageHeaderSize + kFragmentHeaderBytes] = {};
    MessageHeader{kMessageMagic, cmd::kFragment, static_cast<uint16_t>(sizeof head + n)}.Encode(head);
    uint8_t* fragment = head + kMessageHeaderSize;
    platform::PutU16BE(fragment, static_cast<uint16_t>(channel));
    platform::PutU16BE(fragment + 2, static_cast<uint16_t>((channel << 8) | kind_));
    platform::PutU16BE(fragment + 4, sequence);
    fragment[20] = static_cast<uint8_t>(count);
    fragment[21] = static_cast<uint8_t>(index);
    wire_scratch_.insert(wire_scratch_.end(), head, head + sizeof head);
    wire_scratch_.insert(wire_scratch_.end(), record + offset, record + offset + n);
  }
  ++units_sent_;
  if (stats_ != nullptr) stats_->units.fetch_add(1);
  return send_(wire_scratch_);
}

}  // namespace dvrsim
