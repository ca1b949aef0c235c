// CDvrSite: the run-time object of one DVR site. It owns the site's control
// session, its live pair and the per-channel decoders, keeps copies of the
// DVR's answers, the user's rights, the time zone and the talk state, turns
// live frame records into pictures, times, rates and sound, and reports
// notification and data codes and events to the user interface through an
// observer. It has no user interface of its own.
//
// Locks, in the order they may be taken (never the other way round):
//   decode_lock_  decoding, and every call into the picture sink and the
//                 player; the sink's own locks (the grid's) and the player's
//                 come after it
//   state_lock_   the copied answers, names and sensor masks; nothing is
//                 called while it is held
//   talk_lock_    one talk packet at a time; the live connection's send lock
//                 comes after it
// The observer is called with none of these held (it may call back into the
// site); observer_lock_ only counts its calls in flight.
// Detaching (SetObserver, SetPictureSink, SetPlayer with null or another
// object) returns only when no thread is inside the old one any more, so it
// can be destroyed right after. None of them may be called from inside a
// call of the object being detached.
#pragma once
#include <atomic>
#include <condition_variable>
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
#include "sites/site_record.h"

class CDualLiveStream;
class CWaveOutPlayer;

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

  // Each waits for the calls already inside the previous object.
  void SetObserver(ISiteObserver* observer);
  void SetPictureSink(IPictureSink* sink);
  void SetPlayer(CWaveOutPlayer* player);

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
  // Resets every channel's video decoder of the live pair and gives every
  // channel a fresh audio decoder (they keep codec state across frames and
  // have no reset of their own), so decoding starts over with the next key
  // frame. Waits for the frame being decoded.
  void ResetLiveDecoders();
  // Ends talk, stops the control session and the live pair.
  void StopAll();

  // Only the site with the flag set feeds the grid. Clearing it returns
  // only when no picture of this site is being handed to the sink, and none
  // is handed over afterwards.
  void SetLiveDisplay(bool on);
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

  // An observer call: the observer of the moment, counted in flight until
  // the call ends (null: no observer, nothing counted).
  class ObserverCall {
   public:
    explicit ObserverCall(CDvrSite& site);
    ~ObserverCall();
    ObserverCall(const ObserverCall&) = delete;
    ObserverCall& operator=(const ObserverCall&) = delete;
    ISiteObserver* get() const { return observer_; }

   private:
    CDvrSite& site_;
    ISiteObserver* observer_ = nullptr;
    uint64_t generation_ = 0;
  };

  void HandleStatus(int code);
  void HandleData(int code, const StateBlockRef& block);
  void Report(int code);
  // Creates or replaces decoders so that every channel below the channel
  // count has ones of the platform's kind. Caller holds decode_lock_.
  void EnsureDecodersLocked(bool rebuild_video);

  const SiteRecord record_;
  // The observer and its calls in flight: those of the current one, and
  // those of replaced ones that SetObserver waits for.
  std::mutex observer_lock_;
  std::condition_variable observer_idle_;
  ISiteObserver* observer_ = nullptr;
  uint64_t observer_generation_ = 0;
  int observer_calls_ = 0;
  int old_observer_calls_ = 0;
  // Stored under decode_lock_ and used under it; the atomic read without
  // the lock only serves early returns.
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

  // Decoding and the hand-off to the sink and the player run under this
  // lock: both stream threads of a site may deliver the same channel, and
  // detaching waits on it.
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
