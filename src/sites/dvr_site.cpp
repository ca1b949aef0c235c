#include "sites/dvr_site.h"

#include <algorithm>
#include <cstring>

#include "audio/wave_out_player.h"
#include "decode/audio_decoder.h"
#include "decode/video_decoder.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "playback/playback_session.h"
#include "protocol/commands.h"
#include "streaming/frame_header.h"
#include "streaming/live_stream.h"

namespace {

// The decoder family a platform code needs; a change of family means new
// decoder objects.
int DecoderFamily(int platform_code) {
  if (platform_code == 162) return 2;
  if (platform_code == 163 || platform_code == 164) return 1;
  return 0;
}

int NormalisedChannelCount(int channels) {
  return (channels == 4 || channels == 8 || channels == 9 || channels == 16) ? channels : 16;
}

// The platform code a stored record may seed: one the DVRs report, else the
// default.
int SeedPlatform(int platform_code) { return platform_code >= 160 && platform_code <= 164 ? platform_code : 163; }

int SeedChannelCount(int channels) {
  return channels < 1 || channels > CDvrSite::kChannels ? CDvrSite::kChannels : channels;
}

std::atomic<int> g_next_site_id{1};

}  // namespace

CDvrSite::CDvrSite(SiteRecord record) : id_(g_next_site_id.fetch_add(1)), record_(std::move(record)) {
  channel_count_.store(SeedChannelCount(record_.channel_count));
  platform_code_.store(SeedPlatform(record_.platform_code));
  talk_format_.store(TalkCodecForPlatform(platform_code_.load()));
}

CDvrSite::~CDvrSite() {
  DeletePlaybackSession();
  StopAll();
}

SiteRecord CDvrSite::Record() const {
  std::lock_guard<std::mutex> lock(record_lock_);
  return record_;
}

void CDvrSite::SetRecord(const SiteRecord& record) {
  {
    std::lock_guard<std::mutex> lock(record_lock_);
    record_ = record;
  }
  // What the DVR said about itself stands while it is connected; until then
  // the record speaks for it.
  if (!connected_.load() && !live_started_.load()) {
    channel_count_.store(SeedChannelCount(record.channel_count));
    platform_code_.store(SeedPlatform(record.platform_code));
    talk_format_.store(TalkCodecForPlatform(platform_code_.load()));
  }
}

void CDvrSite::StartControl() {
  const SiteRecord record = Record();
  control_.SetNotifyCallback(&CDvrSite::OnNotify, this);
  control_.SetDataCallback(&CDvrSite::OnData, this);
  control_.SetEventCallback(&CDvrSite::OnEvent, this);
  reporting_.store(true);
  control_.StartSession(record.address.c_str(), record.base_port + 1, record.user_id.c_str(),
                        record.password.c_str());
}

void CDvrSite::SendFollowUpRequests() {
  const uint8_t zero = 0;
  control_.Send(cmd::kSystemInfo, &zero, 1);
  control_.Send(cmd::kDescriptionReq, &zero, 1);
  control_.Send(cmd::kLegacyRecordReq, &zero, 1);
  control_.Send(cmd::kTimeZoneReq, &zero, 1);
  control_.Send(cmd::kSensorMapReq, &zero, 1);
  SendUserRightsRequest(control_, Record().user_id);
  control_.Send(cmd::kPictureAdjustReq, nullptr, 0);
}

void CDvrSite::RequestCameraNames() {
  const uint8_t zero = 0;
  control_.Send(cmd::kCameraNamesReq, &zero, 1);
}

CDvrSite::ObserverCall::ObserverCall(CDvrSite& site) : site_(site) {
  std::lock_guard<std::mutex> lock(site_.observer_lock_);
  observer_ = site_.observer_;
  if (observer_ == nullptr) return;
  generation_ = site_.observer_generation_;
  ++site_.observer_calls_;
}

CDvrSite::ObserverCall::~ObserverCall() {
  if (observer_ == nullptr) return;
  std::lock_guard<std::mutex> lock(site_.observer_lock_);
  if (generation_ == site_.observer_generation_) {
    --site_.observer_calls_;
  } else if (--site_.old_observer_calls_ == 0) {
    site_.observer_idle_.notify_all();
  }
}

void CDvrSite::SetObserver(ISiteObserver* observer) {
  std::unique_lock<std::mutex> lock(observer_lock_);
  observer_ = observer;
  // Calls begun from here on see the new observer; the ones under way are
  // counted as old and waited for.
  ++observer_generation_;
  old_observer_calls_ += observer_calls_;
  observer_calls_ = 0;
  observer_idle_.wait(lock, [this] { return old_observer_calls_ == 0; });
}

void CDvrSite::SetPictureSink(IPictureSink* sink) {
  std::lock_guard<std::mutex> lock(decode_lock_);
  sink_.store(sink);
}

void CDvrSite::SetPlayer(CWaveOutPlayer* player) {
  std::lock_guard<std::mutex> lock(decode_lock_);
  player_.store(player);
}

void CDvrSite::SetLiveDisplay(bool on) {
  std::lock_guard<std::mutex> lock(decode_lock_);
  live_display_.store(on);
}

void CDvrSite::Report(int code) {
  if (!reporting_.load()) return;
  ObserverCall call(*this);
  if (call.get() != nullptr) call.get()->OnSiteCode(id_, code);
}

void CDvrSite::OnNotify(int code, void* user) { static_cast<CDvrSite*>(user)->HandleStatus(code); }

void CDvrSite::OnData(int code, void* user, const StateBlockRef* block) {
  if (block != nullptr) static_cast<CDvrSite*>(user)->HandleData(code, *block);
}

void CDvrSite::OnEvent(const EventRecord* record, void* user) {
  auto* site = static_cast<CDvrSite*>(user);
  if (record == nullptr || !site->reporting_.load()) return;
  ObserverCall call(*site);
  if (call.get() != nullptr) call.get()->OnSiteEvent(site->id_, *record);
}

void CDvrSite::HandleStatus(int code) {
  if (IsLoginFailure(code)) {
    error_.store(true);
    connected_.store(false);
    Report(code);
    return;
  }
  switch (code) {
    case kNotifyLoggedIn:
      connected_.store(true);
      error_.store(false);
      break;
    case kNotifyConnectionLost:
      error_.store(false);
      connected_.store(false);
      talk_granted_.store(false);
      break;
    case kNotifyTimeZone:
      tz_offset_s_.store(control_.EffectiveTimeZoneOffset());
      tz_known_.store(true);
      return;
    case kNotifyRightsChanged:
      SendUserRightsRequest(control_, Record().user_id);
      return;
    case kNotifyTalk4003: {
      uint8_t v[2];
      platform::PutU16BE(v, 258);
      control_.Send(cmd::kTalkReq, v, sizeof v);
      return;
    }
    case kNotifyTalk400A: {
      uint8_t v[2];
      platform::PutU16BE(v, 2);
      control_.Send(cmd::kTalkReq, v, sizeof v);
      return;
    }
    case kNotifyTalkGranted:
      talk_granted_.store(true);
      break;
    case kNotifyTalkEnded:
    case kNotifyTalk4060:
      talk_granted_.store(false);
      break;
    default:
      return;  // 12 and anything unknown stay inside the site
  }
  Report(code);
}

void CDvrSite::HandleData(int code, const StateBlockRef& block) {
  {
    std::lock_guard<std::mutex> lock(state_lock_);
    CopyStateBlock(state_, block);
  }

  switch (code) {
    case 25:  // user rights
      if (block.size_bytes >= 3) setup_permission_.store(block.U8(2));
      if (block.size_bytes >= 8) rights_word_.store(block.U32(4));
      break;
    case 40: {  // description: platform code and talk format
      const PlatformInfo info = PlatformFromDescription(block);
      platform_code_.store(info.platform_code);
      talk_format_.store(info.talk_format);
      {
        // The record keeps what the DVR is, for the directory to store.
        std::lock_guard<std::mutex> lock(record_lock_);
        record_.platform_code = info.platform_code;
      }
      // Live may have started with the default platform's decoders; the
      // check runs under the decode lock, which StartLive holds while it
      // makes the decoders, so one of the two always sees the new code.
      {
        std::lock_guard<std::mutex> lock(decode_lock_);
        if (live_) EnsureDecodersLocked(DecoderFamily(decoders_platform_) != DecoderFamily(info.platform_code));
      }
      break;
    }
    case 50: {  // camera names
      const int count = std::clamp(block.count, 0, kChannels);
      char local[kChannels][kChannelNameBytes] = {};
      for (int i = 0; i < count; ++i) {
        const char* utf8 = reinterpret_cast<const char*>(block.data + 4 + i * kCameraNameBytes);
        platform::Utf8ToSystem(utf8, kCameraNameBytes, local[i], sizeof local[i]);
      }
      {
        std::lock_guard<std::mutex> lock(state_lock_);
        for (int i = 0; i < count; ++i) std::memcpy(channel_names_[i], local[i], sizeof local[i]);
      }
      // Only the site shown writes into the sink: the grid is shared by
      // every connected site.
      std::lock_guard<std::mutex> lock(decode_lock_);
      IPictureSink* sink = sink_.load();
      if (sink != nullptr && live_display_.load()) {
        for (int i = 0; i < count; ++i) sink->SetChannelName(i, local[i]);
      }
      break;
    }
    case 51: {  // system information: channel counts
      if (block.size_bytes >= 38) {
        const int video = block.U16(34);
        channel_count_.store(NormalisedChannelCount(video));
        audio_channel_count_.store(std::min<int>(block.U16(36), kChannels));
        std::lock_guard<std::mutex> lock(decode_lock_);
        if (live_) EnsureDecodersLocked(false);
      }
      break;
    }
    case kDataRecordDays: {
      std::lock_guard<std::mutex> lock(state_lock_);
      days_year_ = control_.SearchYear();
      days_month_ = control_.SearchMonth();
      std::memcpy(record_days_, block.data, std::min<size_t>(sizeof record_days_, std::max(block.size_bytes, 0)));
      break;
    }
    case kDataRecordMinutes: {
      std::lock_guard<std::mutex> lock(state_lock_);
      std::memcpy(record_minutes_, block.data,
                  std::min<size_t>(sizeof record_minutes_, std::max(block.size_bytes, 0)));
      break;
    }
    case 53: {  // sensor-to-channel masks
      std::lock_guard<std::mutex> lock(state_lock_);
      std::memset(sensor_masks_, 0, sizeof sensor_masks_);
      for (int i = 0; i < std::min(block.count, kChannels); ++i) sensor_masks_[i] = block.U16(4 + i * 4 + 2);
      break;
    }
    default:
      break;
  }
  Report(code);
}

std::string CDvrSite::ChannelName(int channel) const {
  if (channel < 0 || channel >= kChannels) return {};
  std::lock_guard<std::mutex> lock(state_lock_);
  return std::string(channel_names_[channel], strnlen(channel_names_[channel], kChannelNameBytes));
}

uint16_t CDvrSite::SensorChannelMask(int sensor) const {
  if (sensor < 0 || sensor >= kChannels) return 0;
  std::lock_guard<std::mutex> lock(state_lock_);
  return sensor_masks_[sensor];
}

DvrStateBlocks CDvrSite::StateCopy() const {
  std::lock_guard<std::mutex> lock(state_lock_);
  return state_;
}

void CDvrSite::EnsureDecodersLocked(bool rebuild_video) {
  if (!live_) return;
  const int platform = platform_code_.load();
  const int channels = channel_count_.load();
  for (int c = 0; c < kChannels; ++c) {
    if (c >= channels) continue;
    if (rebuild_video || live_->VideoDecoder(c) == nullptr) {
      live_->SetVideoDecoder(c, CreateDecoderForPlatform(platform).release());
    }
    if (live_->AudioDecoder(c) == nullptr) live_->SetAudioDecoder(c, new CAudioDecoder());
  }
  decoders_platform_ = platform;
}

void CDvrSite::OnLiveNotify(int code, void* user) {
  auto* site = static_cast<CDvrSite*>(user);
  // The stream's 11 is not the control session's: it has a code of its own.
  if (code == kNotifyStreamRunning) site->Report(code);
  if (code == kNotifyStreamEnded) site->Report(kSiteStreamLostPrimary);
}

void CDvrSite::OnSecondaryNotify(int code, void* user) {
  // 58 comes once per pair, from the primary.
  if (code == kNotifyStreamEnded) static_cast<CDvrSite*>(user)->Report(kSiteStreamLostSecondary);
}

void CDvrSite::OnLiveFrame(const uint8_t* record, int record_bytes, void* user) {
  static_cast<CDvrSite*>(user)->ConsumeLiveFrame(record, record_bytes, false);
}

void CDvrSite::OnSecondaryFrame(const uint8_t* record, int record_bytes, void* user) {
  static_cast<CDvrSite*>(user)->ConsumeLiveFrame(record, record_bytes, true);
}

void CDvrSite::StartLive() {
  {
    std::lock_guard<std::mutex> lock(decode_lock_);
    if (!live_) {
      auto live = std::make_unique<CDualLiveStream>();
      live->SetDecodeLock(&decode_lock_);
      live->SetNotifyCallback(&CDvrSite::OnLiveNotify, this);
      live->Secondary().SetNotifyCallback(&CDvrSite::OnSecondaryNotify, this);
      live->SetFrameCallback(&CDvrSite::OnLiveFrame, this);
      live->Secondary().SetFrameCallback(&CDvrSite::OnSecondaryFrame, this);
      live_ = std::move(live);
      live_pair_.store(live_.get());
    }
    const int platform = platform_code_.load();
    const int channels = channel_count_.load();
    for (int c = 0; c < channels; ++c) {
      CVideoDecoder* decoder = live_->VideoDecoder(c);
      if (decoder != nullptr && DecoderFamily(decoders_platform_) == DecoderFamily(platform)) {
        decoder->Reset();
      } else {
        live_->SetVideoDecoder(c, CreateDecoderForPlatform(platform).release());
      }
      if (live_->AudioDecoder(c) == nullptr) live_->SetAudioDecoder(c, new CAudioDecoder());
    }
    decoders_platform_ = platform;
  }
  uint16_t mask;
  switch (channel_count_.load()) {
    case 4: mask = 0x000F; break;
    case 8: mask = 0x00FF; break;
    case 9: mask = 0x01FF; break;
    default: mask = 0xFFFF; break;
  }
  const SiteRecord record = Record();
  CDualLiveStream* live = live_pair_.load();
  live->SetPrimaryMask(mask);
  live->StartPair(record.address.c_str(), record.base_port + 2, &control_, -1);
  live_started_.store(true);
}

void CDvrSite::UpdateLiveMask() {
  CDualLiveStream* live = live_pair_.load();
  if (live == nullptr) return;
  uint16_t mask;
  bool sole;
  {
    std::lock_guard<std::mutex> lock(decode_lock_);
    IPictureSink* sink = sink_.load();
    if (sink == nullptr) return;
    mask = sink->PaneChannelMask();
    sole = sink->SoleChannel() >= 0;
  }
  // The masks are sent without the decode lock: a send may wait on the
  // connection, and the stream threads must keep decoding meanwhile.
  live->SetPrimaryMask(mask);
  live->SetSecondaryMask(sole ? mask : 0);
}

void CDvrSite::ShowAllChannels() {
  CDualLiveStream* live = live_pair_.load();
  if (live == nullptr) return;
  live->SetPrimaryMask(0xFFFF);
  live->SetSecondaryMask(0);
}

void CDvrSite::StopLiveVideo() {
  CDualLiveStream* live = live_pair_.load();
  if (live == nullptr) return;
  live->SetPrimaryMask(0);
  live->SetSecondaryMask(0);
}

void CDvrSite::ResetLiveDecoders() {
  std::lock_guard<std::mutex> lock(decode_lock_);
  if (!live_) return;
  for (int c = 0; c < kChannels; ++c) {
    if (CVideoDecoder* decoder = live_->VideoDecoder(c)) decoder->Reset();
    if (live_->AudioDecoder(c) != nullptr) live_->SetAudioDecoder(c, new CAudioDecoder());
  }
}

void CDvrSite::StopAll() {
  // First close the reports: the sessions stopped below end with 11, which
  // is no loss when the operator disconnects.
  reporting_.store(false);
  EndTalk();
  connected_.store(false);
  tz_known_.store(false);
  live_started_.store(false);
  control_.Stop();
  if (CDualLiveStream* live = live_pair_.load()) live->Stop();
  // After the sessions: a talk packet stuck in a send has failed by now, so
  // the capture thread can be joined.
  StopTalk();
}

bool CDvrSite::SecondaryCarries(int channel) const {
  CDualLiveStream* live = live_pair_.load();
  if (live == nullptr) return false;
  return ((live->GetSecondaryMask() >> channel) & 1u) != 0 && live->Secondary().IsConnected();
}

uint64_t CDvrSite::FramesReceived(int channel) const {
  return channel >= 0 && channel < kChannels ? stats_[channel].total_frames.load() : 0;
}

uint64_t CDvrSite::PicturesDecoded(int channel) const {
  return channel >= 0 && channel < kChannels ? stats_[channel].total_pictures.load() : 0;
}

void CDvrSite::ConsumeLiveFrame(const uint8_t* record, int record_bytes, bool from_secondary) {
  // Early return without the lock for sites not shown; checked again below.
  if (!live_display_.load() || sink_.load() == nullptr) return;
  streaming::FrameInfo info;
  if (!streaming::ParseFrameHeader(record, static_cast<size_t>(std::max(record_bytes, 0)), &info)) return;
  // A header claiming more than was collected is not decoded.
  if (info.record_size_bytes > static_cast<uint32_t>(record_bytes)) return;
  const int channel = info.channel_index;
  if (channel < 0 || channel >= kChannels || channel >= channel_count_.load() || playback_mode_.load()) return;
  // A channel's pictures depend on the ones before, so its decoder takes one
  // stream only: the secondary while it carries the channel (the pane shown
  // alone), else the primary. The same channel on the other stream is left.
  if (from_secondary != SecondaryCarries(channel)) return;
  ChannelStats& st = stats_[channel];

  // Everything that reaches the sink or the player happens under the decode
  // lock, where the flag and the sink are read: detaching the sink or
  // clearing the flag waits for it.
  std::lock_guard<std::mutex> lock(decode_lock_);
  IPictureSink* sink = sink_.load();
  if (!live_display_.load() || sink == nullptr || sink->IsSuspended()) return;

  if (info.medium == streaming::kMediumVideo) {
    st.total_frames.fetch_add(1);
    st.bytes.fetch_add(info.record_size_bytes);
    st.frames.fetch_add(1);
    const int64_t now_s = seconds_clock_();
    if (st.last_second.exchange(now_s) != now_s) {
      if (st.seconds.fetch_add(1) + 1 >= kStatsPeriodS) {
        const int seconds = st.seconds.exchange(0);
        const int64_t bytes = st.bytes.exchange(0);
        const int frames = st.frames.exchange(0);
        if (seconds > 0) {
          sink->SetRate(channel, static_cast<int>(bytes / seconds));
          sink->SetFrameRate(channel, frames / seconds);
        }
      }
    }
    if (st.last_capture_time.exchange(info.capture_time) != info.capture_time) {
      const int platform = platform_code_.load();
      std::tm fields{};
      bool ok;
      if (platform == 162 || platform == 163 || platform == 164) {
        if (tz_known_.load()) {
          const time_t t = static_cast<time_t>(int64_t{info.capture_time} + tz_offset_s_.load());
          ok = gmtime_r(&t, &fields) != nullptr;
        } else {
          const time_t t = static_cast<time_t>(info.capture_time);
          ok = localtime_r(&t, &fields) != nullptr;
        }
      } else {
        const time_t t = static_cast<time_t>(info.capture_time);
        ok = gmtime_r(&t, &fields) != nullptr;
      }
      // A time the calendar cannot hold shows nothing rather than garbage.
      if (ok) sink->SetChannelTime(channel, fields);
    }
    if (sink->IsSuspended()) return;
    CVideoDecoder* decoder = live_ ? live_->VideoDecoder(channel) : nullptr;
    if (decoder == nullptr) return;
    DecodedPicture* picture = decoder->Decode(record, info.record_size_bytes, 0);
    if (picture != nullptr && picture->buffer != nullptr && picture->width > 0 && picture->height > 0) {
      st.total_pictures.fetch_add(1);
      sink->ShowPicture(channel, picture->width, picture->height, picture->width * picture->height * 2,
                        picture->buffer);
      if (PictureProbe probe = probe_.load()) probe(channel, info.time_stamp, probe_user_);
    }
  } else if (info.medium == streaming::kMediumAudio) {
    if (sink->SoleChannel() != channel) return;
    CWaveOutPlayer* player = player_.load();
    CAudioDecoder* decoder = live_ ? live_->AudioDecoder(channel) : nullptr;
    if (decoder == nullptr) return;
    const AudioDecodeResult* result = decoder->DecodeAudio(record, info.record_size_bytes);
    if (result != nullptr && result->count > 0 && player != nullptr) {
      // A live stream never waits for the audio device.
      player->Play(result->samples, result->count, record[28], false);
    }
  }
}

CPlaybackSession* CDvrSite::CreatePlaybackSession(FrameCallback fn, void* user, StatusCallback status,
                                                 void* status_user) {
  DeletePlaybackSession();
  auto session = std::make_unique<CPlaybackSession>();
  const int platform = platform_code_.load();
  const int channels = channel_count_.load();
  for (int c = 0; c < channels && c < kChannels; ++c) {
    session->SetVideoDecoder(c, CreateDecoderForPlatform(platform).release());
    session->SetAudioDecoder(c, new CAudioDecoder());
  }
  session->SetFrameCallback(fn, user);
  if (status != nullptr) session->SetStatusCallback(status, status_user);
  std::lock_guard<std::mutex> lock(playback_lock_);
  playback_ = std::move(session);
  playback_session_.store(playback_.get());
  playback_mode_.store(true);
  return playback_.get();
}

int CDvrSite::StartPlaybackSession() {
  std::lock_guard<std::mutex> lock(playback_lock_);
  if (!playback_) return 0;
  const SiteRecord record = Record();
  return playback_->StartPlayback(record.address.c_str(), record.base_port + 2, control_.GetSessionId());
}

void CDvrSite::DeletePlaybackSession() {
  std::unique_ptr<CPlaybackSession> session;
  {
    std::lock_guard<std::mutex> lock(playback_lock_);
    playback_session_.store(nullptr);
    session = std::move(playback_);
  }
  // Stopped before it is deleted whether or not the DVR said it plays: its
  // worker may be anywhere from the stream open to the receive loop.
  if (session) session->Stop();
  session.reset();
  playback_mode_.store(false);
}

int CDvrSite::SendMonthSearch(uint32_t year, uint32_t month, uint32_t mode) {
  return control_.SendMonthSearch(year, month, mode);
}

int CDvrSite::SendDaySearch(int year, int month, int day) { return control_.SendDaySearch(year, month, day); }

void CDvrSite::RecordDays(uint32_t* year, uint32_t* month, uint8_t days[31]) const {
  std::lock_guard<std::mutex> lock(state_lock_);
  if (year != nullptr) *year = days_year_;
  if (month != nullptr) *month = days_month_;
  if (days != nullptr) std::memcpy(days, record_days_, sizeof record_days_);
}

void CDvrSite::RecordMinutes(uint8_t minutes[1440]) const {
  std::lock_guard<std::mutex> lock(state_lock_);
  if (minutes != nullptr) std::memcpy(minutes, record_minutes_, sizeof record_minutes_);
}

void CDvrSite::RequestTalk() {
  uint8_t v[2];
  platform::PutU16BE(v, 1);
  control_.Send(cmd::kTalkReq, v, sizeof v);
}

void CDvrSite::EndTalk() {
  if (!talk_granted_.exchange(false)) return;
  uint8_t v[2];
  platform::PutU16BE(v, 3);
  control_.Send(cmd::kTalkReq, v, sizeof v);
}

int CDvrSite::SendTalkBlock(const int16_t* samples, int sample_count) {
  if (!talk_granted_.load() || samples == nullptr || sample_count <= 0) return 0;
  std::lock_guard<std::mutex> lock(talk_lock_);
  AudioBlock block;
  block.samples = const_cast<int16_t*>(samples);
  block.capacity_bytes = static_cast<size_t>(sample_count) * 2;
  block.length_bytes = block.capacity_bytes;
  const size_t n = talk_packetizer_.Packetize(talk_format_.load(), block, talk_packet_, sizeof talk_packet_);
  if (n == 0) return 0;
  CDualLiveStream* live = live_pair_.load();
  if (live == nullptr || !live->IsConnected()) return -1;
  return live->Send(kTalkAudioCommand, talk_packet_, static_cast<int>(n)) > 0 ? 1 : -1;
}

int CDvrSite::StartTalk() { return StartTalk(CreateDefaultAudioInput()); }

int CDvrSite::StartTalk(std::unique_ptr<IAudioInput> device) {
  std::lock_guard<std::mutex> lock(talk_control_lock_);
  if (talk_capture_) {
    if (!talk_capture_->sender->stopping()) {
      talk_capture_->sender->set_talk_codec(talk_format_.load());
      return 1;
    }
    // A capture that a failed send stopped is closed and made afresh.
    talk_capture_->sender->Close();
    talk_capture_.reset();
    talking_.store(false);
  }
  if (!connected_.load() || device == nullptr) return 0;
  auto capture = std::make_unique<TalkCapture>();
  capture->site = this;
  capture->sender = std::make_unique<CTalkSender>(capture.get(), &CDvrSite::OnTalkBlock, std::move(device));
  capture->sender->set_talk_codec(talk_format_.load());
  talk_send_failed_.store(false);
  // A sender that fails here is closed by its destructor.
  if (capture->sender->Open(kWaveInBufferSamples) == 0) return 0;
  if (capture->sender->AddBuffers(kWaveInBufferCount) == 0) return 0;
  talk_capture_ = std::move(capture);
  talking_.store(true);
  RequestTalk();
  return 1;
}

void CDvrSite::StopTalk() {
  {
    std::lock_guard<std::mutex> lock(talk_control_lock_);
    if (talk_capture_) {
      talk_capture_->sender->SetStopping();
      talk_capture_->sender->Close();
      talk_capture_.reset();
    }
    talking_.store(false);
  }
  EndTalk();
}

void CDvrSite::OnTalkBlock(void* owner, const AudioBlock* block) {
  auto* capture = static_cast<TalkCapture*>(owner);
  CDvrSite* site = capture->site;
  if (block == nullptr || block->samples == nullptr) return;
  const int sent = site->SendTalkBlock(block->samples, static_cast<int>(block->length_bytes / kAudioBlockAlign));
  if (sent >= 0) return;
  // The packet was lost: talk ends here. The capture takes no more blocks,
  // but this thread cannot join itself; the owner closes the capture with
  // StopTalk when the report arrives.
  capture->sender->SetStopping();
  if (site->talk_send_failed_.exchange(true)) return;
  site->EndTalk();
  site->Report(kSiteTalkSendFailed);
}
