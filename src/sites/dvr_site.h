// CDvrSite: the run-time object of one DVR site. It owns the site's control
// session, its live pair and the per-channel decoders, keeps copies of the
// DVR's answers, the user's rights, the time zone and the talk state, turns
// live frame records into pictures, times, rates and sound, and reports
// notification and data codes and events to the user interface through an
// observer. It has no user interface of its own.
#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>

#include "audio/talk_packet.h"
#include "audio/wave_in_recorder.h"
#include "platform/clock.h"
#include "protocol/control_session.h"
#include "protocol/event_record.h"
#include "protocol/state_blocks.h"
#include "sites/picture_sink.h"

class CDualLiveStream;
class CWaveOutPlayer;

// The stored fields a site is made from.
struct SiteRecord {
  std::string name;
  std::string address;
  int base_port = 7620;
  std::string user_id;
  std::string password;
  int channel_count = 16;
};

// Receives what a site reports. Called on session worker threads; an
// implementation copies what it needs and returns without waiting for the
// user-interface thread.
class ISiteObserver {
 public:
  virtual ~ISiteObserver() = default;
  // Notification codes (1, 3, 5-9, 11, 29, 33, 35, 58) and data codes
  // (25-56) of the site.
  virtual void OnSiteCode(class CDvrSite* site, int code) = 0;
  // One event record of the site's DVR.
  virtual void OnSiteEvent(class CDvrSite* site, const EventRecord& record) = 0;
};

class CDvrSite {
 public:
  static constexpr int kChannels = 16;
  static constexpr int kChannelNameBytes = 76;
  static constexpr int kStatsPeriodS = 5;

  explicit CDvrSite(SiteRecord record);
  ~CDvrSite();
  CDvrSite(const CDvrSite&) = delete;
  CDvrSite& operator=(const CDvrSite&) = delete;

  void SetObserver(ISiteObserver* observer) { observer_.store(observer); }
  void SetPictureSink(IPictureSink* sink) { sink_.store(sink); }
  void SetPlayer(CWaveOutPlayer* player) { player_.store(player); }

  // Installs the control session's callbacks and starts it on base port + 1.
  void StartControl();
  // The requests a site sends once the DVR accepted the login.
  void SendFollowUpRequests();
  void RequestCameraNames();
  // Starts the live pair (created on first use) with decoders for the
  // channel count; the primary mask follows the channel count.
  void StartLive();
  void UpdateLiveMask();
  void ShowAllChannels();
  void StopLiveVideo();
  // Ends talk, stops the control session and the live pair.
  void StopAll();

  // Only the site with the flag set feeds the grid.
  void SetLiveDisplay(bool on) { live_display_.store(on); }
  bool LiveDisplay() const { return live_display_.load(); }
  void SetPlaybackMode(bool on) { playback_mode_.store(on); }

  // Talk handshake: request (0x4031 with 1), end (0x4031 with 3 when talk
  // was granted). SendTalkBlock encodes one captured block (320 samples for
  // the voice codec, 256 for G.726) and sends it on the primary live
  // connection: 1 sent, 0 nothing to send (talk not granted, or a block this
  // DVR's talk codec does not take), -1 the live connection is not up or the
  // send failed (talk should then end).
  void RequestTalk();
  void EndTalk();
  bool TalkGranted() const { return talk_granted_.load(); }
  int SendTalkBlock(const int16_t* samples, int sample_count);

  // State, safe to read from any thread.
  const SiteRecord& Record() const { return record_; }
  bool IsConnected() const { return connected_.load(); }
  bool HasError() const { return error_.load(); }
  bool LiveStarted() const { return live_started_.load(); }
  int ChannelCount() const { return channel_count_.load(); }
  int PlatformCode() const { return platform_code_.load(); }
  int TalkFormat() const { return talk_format_.load(); }
  uint32_t RightsWord() const { return rights_word_.load(); }
  uint8_t SetupPermission() const { return setup_permission_.load(); }
  bool TimeZoneKnown() const { return tz_known_.load(); }
  int64_t TimeZoneOffset() const { return tz_offset_s_.load(); }
  std::string ChannelName(int channel) const;
  uint16_t SensorChannelMask(int sensor) const;
  // A copy of the stored answers.
  DvrStateBlocks StateCopy() const;

  CControlSession& Control() { return control_; }
  CDualLiveStream* LivePair() { return live_.get(); }

  // The live frame consumer: one frame record from a stream thread.
  void ConsumeLiveFrame(const uint8_t* record, int record_bytes);
  // Statistics counted so far for a channel (frames received since start).
  uint64_t FramesReceived(int channel) const;
  uint64_t PicturesDecoded(int channel) const;

  // Measuring hook: called on the stream thread after each picture was
  // handed to the sink, with the record's time stamp.
  using PictureProbe = void (*)(int channel, uint32_t time_stamp, void* user);
  void SetPictureProbe(PictureProbe probe, void* user) {
    probe_user_ = user;
    probe_.store(probe);
  }

  // Test hook: the wall clock (whole seconds) the rate statistics count.
  void SetSecondsClock(int64_t (*clock)()) { seconds_clock_ = clock != nullptr ? clock : &platform::NowSeconds; }

 private:
  struct ChannelStats {
    std::atomic<int64_t> bytes{0};
    std::atomic<int> frames{0};
    std::atomic<int> seconds{0};
    std::atomic<int64_t> last_second{0};
    std::atomic<uint32_t> last_capture_time{0};
    std::atomic<uint64_t> total_frames{0};
    std::atomic<uint64_t> total_pictures{0};
  };

  static void OnNotify(int code, void* user);
  static void OnData(int code, void* user, const StateBlockRef* block);
  static void OnEvent(const EventRecord* record, void* user);
  static void OnLiveNotify(int code, void* user);
  static void OnLiveFrame(const uint8_t* record, int record_bytes, void* user);

  void HandleStatus(int code);
  void HandleData(int code, const StateBlockRef& block);
  void Report(int code);
  // Creates or replaces decoders so that every channel below the channel
  // count has ones of the platform's kind. Caller holds decode_lock_.
  void EnsureDecodersLocked(bool rebuild_video);

  const SiteRecord record_;
  std::atomic<ISiteObserver*> observer_{nullptr};
  std::atomic<IPictureSink*> sink_{nullptr};
  std::atomic<CWaveOutPlayer*> player_{nullptr};

  std::atomic<bool> connected_{false};
  std::atomic<bool> error_{false};
  std::atomic<bool> live_display_{false};
  std::atomic<bool> live_started_{false};
  std::atomic<bool> playback_mode_{false};

  std::atomic<uint32_t> rights_word_{15};
  std::atomic<uint8_t> setup_permission_{1};
  std::atomic<int> channel_count_{16};
  std::atomic<int> audio_channel_count_{0};
  std::atomic<int> platform_code_{163};
  std::atomic<int> talk_format_{kTalkCodecG726};
  std::atomic<bool> tz_known_{false};
  std::atomic<int64_t> tz_offset_s_{0};

  mutable std::mutex state_lock_;  // guards the copies below
  DvrStateBlocks state_;
  char channel_names_[kChannels][kChannelNameBytes] = {};
  uint16_t sensor_masks_[kChannels] = {};

  // Decoding and the hand-off of a channel run under this lock: both stream
  // threads of a site may deliver the same channel.
  std::mutex decode_lock_;
  int decoders_platform_ = 0;  // platform code the video decoders were made for
  ChannelStats stats_[kChannels];
  int64_t (*seconds_clock_)() = &platform::NowSeconds;
  std::atomic<PictureProbe> probe_{nullptr};
  void* probe_user_ = nullptr;

  // Talk.
  std::mutex talk_lock_;
  std::atomic<bool> talk_granted_{false};
  CTalkPacketizer talk_packetizer_;
  uint8_t talk_packet_[kTalkPacketMaxBytes] = {};

  CControlSession control_;
  std::unique_ptr<CDualLiveStream> live_;
};
