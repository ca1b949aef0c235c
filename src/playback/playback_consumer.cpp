#include "playback/playback_consumer.h"

#include <algorithm>

#include "audio/wave_out_player.h"
#include "decode/audio_decoder.h"
#include "decode/video_decoder.h"
#include "playback/playback_session.h"
#include "streaming/frame_header.h"

CPlaybackConsumer::CPlaybackConsumer() = default;
CPlaybackConsumer::~CPlaybackConsumer() = default;

void CPlaybackConsumer::OnFrame(const uint8_t* record, int record_bytes, void* user) {
  static_cast<CPlaybackConsumer*>(user)->Consume(record, record_bytes);
}

void CPlaybackConsumer::SetTimeZone(bool known, int64_t offset_s) {
  tz_offset_s_.store(offset_s);
  tz_known_.store(known);
}

void CPlaybackConsumer::SetPlaybackDisplay(bool on) {
  std::lock_guard<std::mutex> lock(lock_);
  display_.store(on);
}

void CPlaybackConsumer::SetPictureSink(IPictureSink* sink) {
  std::lock_guard<std::mutex> lock(lock_);
  sink_ = sink;
}

void CPlaybackConsumer::SetPlayer(CWaveOutPlayer* player) {
  std::lock_guard<std::mutex> lock(lock_);
  player_ = player;
}

void CPlaybackConsumer::SetTimeObserver(IPlaybackTimeObserver* observer) {
  std::lock_guard<std::mutex> lock(lock_);
  observer_ = observer;
}

uint64_t CPlaybackConsumer::FramesReceived(int channel) const {
  return channel >= 0 && channel < kChannels ? stats_[channel].total_frames.load() : 0;
}

uint64_t CPlaybackConsumer::KeyFramesReceived(int channel) const {
  return channel >= 0 && channel < kChannels ? stats_[channel].total_keys.load() : 0;
}

uint64_t CPlaybackConsumer::PicturesDecoded(int channel) const {
  return channel >= 0 && channel < kChannels ? stats_[channel].total_pictures.load() : 0;
}

bool CPlaybackConsumer::BreakDownCaptureTime(uint32_t capture_time, int platform_code, bool tz_known,
                                             int64_t offset_s, std::tm* out) {
  if (platform_code == 162 || platform_code == 163 || platform_code == 164) {
    if (tz_known) {
      const time_t t = static_cast<time_t>(int64_t{capture_time} + offset_s);
      return gmtime_r(&t, out) != nullptr;
    }
    const time_t t = static_cast<time_t>(capture_time);
    return localtime_r(&t, out) != nullptr;
  }
  const time_t t = static_cast<time_t>(capture_time);
  return gmtime_r(&t, out) != nullptr;
}

void CPlaybackConsumer::Consume(const uint8_t* record, int record_bytes) {
  const int state = panel_state_.load();
  if (state == kPanelStopped || state == kPanelClosed) return;
  CPlaybackSession* session = session_.load();
  if (session == nullptr) return;
  streaming::FrameInfo info;
  if (!streaming::ParseFrameHeader(record, static_cast<size_t>(std::max(record_bytes, 0)), &info)) return;
  // A header claiming more than was collected is not decoded.
  if (info.record_size_bytes > static_cast<uint32_t>(record_bytes)) return;
  const int channel = info.channel_index;
  if (channel < 0 || channel >= kChannels || channel >= channel_count_.load()) return;
  ChannelStats& st = stats_[channel];

  std::lock_guard<std::mutex> lock(lock_);
  IPictureSink* sink = display_.load() ? sink_ : nullptr;
  const bool showing = sink != nullptr && !sink->IsSuspended();

  if (info.medium == streaming::kMediumVideo) {
    st.total_frames.fetch_add(1, std::memory_order_relaxed);
    if (info.picture_type == streaming::kPictureTypeKey) st.total_keys.fetch_add(1, std::memory_order_relaxed);
    st.bytes += info.record_size_bytes;
    st.frames += 1;
    const int64_t now_s = seconds_clock_();
    if (st.last_second != now_s) {
      st.last_second = now_s;
      if (++st.seconds >= kStatsPeriodS) {
        if (showing) {
          sink->SetRate(channel, static_cast<int>(st.bytes / st.seconds));
          sink->SetFrameRate(channel, st.frames / st.seconds);
        }
        st.seconds = 0;
        st.bytes = 0;
        st.frames = 0;
      }
    }
    if (st.last_capture_time != info.capture_time) {
      st.last_capture_time = info.capture_time;
      std::tm fields{};
      // A time the calendar cannot hold shows nothing and moves nothing.
      if (BreakDownCaptureTime(info.capture_time, platform_code_.load(), tz_known_.load(), tz_offset_s_.load(),
                               &fields)) {
        if (showing) sink->SetChannelTime(channel, fields);
        if (observer_ != nullptr) {
          const PlaybackTime time{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                                  fields.tm_hour,        fields.tm_min,     fields.tm_sec};
          observer_->OnPlaybackTime(channel, time);
        }
      }
    }
    if (!showing) return;
    CVideoDecoder* decoder = session->VideoDecoder(channel);
    if (decoder == nullptr) return;
    DecodedPicture* picture = decoder->Decode(record, info.record_size_bytes, 0);
    if (picture != nullptr && picture->buffer != nullptr && picture->width > 0 && picture->height > 0) {
      st.total_pictures.fetch_add(1, std::memory_order_relaxed);
      sink->ShowPicture(channel, picture->width, picture->height, picture->width * picture->height * 2,
                        picture->buffer);
    }
  } else if (info.medium == streaming::kMediumAudio) {
    if (!showing || sink->SoleChannel() != channel) return;
    CAudioDecoder* decoder = session->AudioDecoder(channel);
    if (decoder == nullptr) return;
    const AudioDecodeResult* result = decoder->DecodeAudio(record, info.record_size_bytes);
    if (result != nullptr && result->count > 0 && player_ != nullptr) {
      player_->Play(result->samples, result->count, record[28], false);
    }
  }
}
