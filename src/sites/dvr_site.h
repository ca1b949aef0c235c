// CDvrSite: the run-time object of one DVR site. It owns the site's control
// session, its live pair, the per-channel decoders and the microphone
// capture of talk, keeps copies of the DVR's answers, the user's rights, the
// time zone and the talk state, turns live frame records into pictures,
// times, rates and sound, and reports notification and data codes and events
// to the user interface through an observer. It has no user interface of its
// own.
//
// Locks, in the order they may be taken (never the other way round):
//   talk_control_lock_  starting and stopping the talk capture; held while
//                 the capture thread is joined (that thread never takes it)
//   decode_lock_  decoding, and every call into the picture sink and the
//                 player; the sink's own locks (the grid's) and the player's
//                 come after it
//   state_lock_   the copied answers, names and sensor masks; nothing is
//                 called while it is held
//   record_lock_  the site record; nothing is called while it is held
//   talk_lock_    one talk packet at a time; the live connection's send lock
//                 comes after it
// The observer is called with none of these held (it may call back into the
// site, but not StopTalk, StopAll or a detach: those join or wait for the
// thread making the call); observer_lock_ only counts its calls in flight.
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
class CPlaybackSession;
class CWaveOutPlayer;

// Codes of the site itself, reported beside the DVR's notification and data
// codes (which all stay below 100).
// A live stream of the pair ended (connection lost, refused or not admitted).
inline constexpr int kSiteStreamLostPrimary = 1001;
inline constexpr int kSiteStreamLostSecondary = 1002;
// A talk packet could not be sent: the site has ended talk with the DVR and
// its capture takes no more blocks; the owner calls StopTalk to close it.
inline constexpr int kSiteTalkSendFailed = 1003;

// Receives what a site reports, naming the site by its Id(), which stays
// meaningful after the site is deleted (look it up on arrival). Called on
// session and capture threads; an implementation copies what it needs and
// returns without waiting for the user-interface thread.
class ISiteObserver {
 public:
  virtual ~ISiteObserver() = default;
  // Notification codes (1, 3, 5-9, 11, 29, 33, 35, 58), data codes (25-56)
  // and the site's own codes (kSiteStreamLost*, kSiteTalkSendFailed).
  virtual void OnSiteCode(int site_id, int code) = 0;
  // One event record of the site's DVR.
  virtual void OnSiteEvent(int site_id, const EventRecord& record) = 0;
};

class CDvrSite {
 public:
  static constexpr int kChannels = 16;
  static constexpr int kChannelNameBytes = 76;
  static constexpr int kStatsPeriodS = 5;

  // The record's platform code (160..164, else 163) chooses the decoders
  // and the talk format until the DVR's description tells.
  explicit CDvrSite(SiteRecord record);
  ~CDvrSite();
  CDvrSite(const CDvrSite&) = delete;
  CDvrSite& operator=(const CDvrSite&) = delete;

  // Each waits for the calls already inside the previous object.
  void SetObserver(ISiteObserver* observer);
  void SetPictureSink(IPictureSink* sink);
  void SetPlayer(CWaveOutPlayer* player);

  // Unique in the process and never reused; names the site in reports.
  int Id() const { return id_; }

  // The site record, as a copy. The description's platform code is written
  // into it when it differs (reported with data code 40), so the directory
  // can compare and store it.
  SiteRecord Record() const;
  // Replaces the record (any thread). Connections started afterwards use the
  // new address, ports, user and password; while no session runs the
  // channel count and platform code are taken over too.
  void SetRecord(const SiteRecord& record);

  // Installs the control session's callbacks and starts it on base port + 1.
  // Reports flow from here until StopAll.
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
  // The operator's disconnect: ends talk, stops the control session, the
  // live pair and the talk capture, and joins their threads. Nothing of this
  // connection is reported any more, not even the end of the sessions it
  // stops; a report already made may still be waiting in the owner's queue.
  void StopAll();

  // Only the site with the flag set feeds the sink: pictures, rates, times
  // and camera names. Clearing it returns only when none of these is being
  // handed to the sink, and none is handed over afterwards.
  void SetLiveDisplay(bool on);
  bool LiveDisplay() const { return live_display_.load(); }
  void SetPlaybackMode(bool on) { playback_mode_.store(on); }
  bool PlaybackMode() const { return playback_mode_.load(); }

  // Remote playback (one session per site while the playback panel is
  // open). CreatePlaybackSession replaces any earlier session, gives the new
  // one a video and an audio decoder per channel below the channel count (by
  // the platform code, as the live pair gets them), installs the frame
  // callback (and the status callback when given) and puts the site in
  // playback mode. StartPlaybackSession starts it on base port + 2 with the
  // control session's current session id (again after a status 15): 1, or 0
  // without a session. DeletePlaybackSession stops the session (run flag,
  // close, join, whatever it reported) and deletes it with its decoders; the
  // site leaves playback mode. Call these from one thread (the panel's),
  // never from the session's own callbacks.
  CPlaybackSession* CreatePlaybackSession(FrameCallback fn, void* user, StatusCallback status = nullptr,
                                          void* status_user = nullptr);
  CPlaybackSession* PlaybackSession() const { return playback_session_.load(); }
  int StartPlaybackSession();
  void DeletePlaybackSession();

  // Searches on the control session: the month request (0x4067; year,
  // month and mode filter the answer, see CControlSession::SendMonthSearch)
  // and the day request (0x4061). Each starts its map afresh. Return Send's
  // result.
  int SendMonthSearch(uint32_t year, uint32_t month, uint32_t mode);
  int SendDaySearch(int year, int month, int day);
  // The site's copies of the maps, taken when data codes 55 and 56 arrive:
  // the month they describe and its days (31 entries, day - 1), and the
  // minutes of the searched day (1440 entries, hour x 60 + minute).
  void RecordDays(uint32_t* year, uint32_t* month, uint8_t days[31]) const;
  void RecordMinutes(uint8_t minutes[1440]) const;

  // Talk from the microphone. StartTalk opens the capture on the default
  // input (or the given device) at once and requests talk; captured blocks
  // are sent only while the DVR grants talk (notification 33), so nothing
  // leaves before the grant and nothing after 29, 35 or a lost connection.
  // Returns 1 when capturing, 0 when the site is not connected or the device
  // could not be opened (nothing is requested then). Called again while
  // capturing it only updates the capture's talk codec (after a failed send
  // it starts over). StopTalk closes the capture (joining its thread) and
  // ends talk with the DVR; call it on 11, 29, 35, kSiteTalkSendFailed and
  // whenever talk should end. Neither may be called from an observer call.
  int StartTalk();
  int StartTalk(std::unique_ptr<IAudioInput> device);
  void StopTalk();
  bool Talking() const { return talking_.load(); }

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
  // The camera names of the last 0x2F12 answer (kept whether the site is
  // shown or not).
  std::string ChannelName(int channel) const;
  uint16_t SensorChannelMask(int sensor) const;
  // A copy of the stored answers.
  DvrStateBlocks StateCopy() const;

  CControlSession& Control() { return control_; }
  // Null until the first StartLive; then kept until the site is deleted.
  CDualLiveStream* LivePair() { return live_pair_.load(); }

  // The live frame consumer: one frame record from a stream thread.
  // from_secondary: the record came on the secondary stream. A channel is
  // decoded from one stream only (see SecondaryCarries).
  void ConsumeLiveFrame(const uint8_t* record, int record_bytes, bool from_secondary = false);
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
  static void OnSecondaryNotify(int code, void* user);
  static void OnLiveFrame(const uint8_t* record, int record_bytes, void* user);
  static void OnSecondaryFrame(const uint8_t* record, int record_bytes, void* user);
  // Whether the secondary stream is up and carries the channel: then the
  // channel's frames are taken from it and not from the primary.
  bool SecondaryCarries(int channel) const;

  // The talk capture and the site its blocks go to: the owner value of the
  // capture's callback. Made before the capture thread starts and deleted
  // after it was joined, so that thread may use it without a lock.
  struct TalkCapture {
    CDvrSite* site = nullptr;
    std::unique_ptr<CTalkSender> sender;
  };
  static void OnTalkBlock(void* owner, const AudioBlock* block);

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
  // Reports to the observer unless StopAll closed the reports.
  void Report(int code);
  // Creates or replaces decoders so that every channel below the channel
  // count has ones of the platform's kind. Caller holds decode_lock_.
  void EnsureDecodersLocked(bool rebuild_video);

  const int id_;
  mutable std::mutex record_lock_;
  SiteRecord record_;
  // Cleared by StopAll before it stops anything, set by StartControl.
  std::atomic<bool> reporting_{false};
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
  uint32_t days_year_ = 0;
  uint32_t days_month_ = 0;
  uint8_t record_days_[31] = {};
  uint8_t record_minutes_[1440] = {};

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
  std::mutex talk_control_lock_;
  std::unique_ptr<TalkCapture> talk_capture_;  // under talk_control_lock_
  std::atomic<bool> talking_{false};
  std::atomic<bool> talk_send_failed_{false};  // reported once per capture
  std::mutex talk_lock_;
  std::atomic<bool> talk_granted_{false};
  CTalkPacketizer talk_packetizer_;
  uint8_t talk_packet_[kTalkPacketMaxBytes] = {};

  CControlSession control_;
  // Made by the first StartLive under decode_lock_; live_pair_ publishes it
  // to threads that do not hold that lock (talk, the user interface).
  std::unique_ptr<CDualLiveStream> live_;
  std::atomic<CDualLiveStream*> live_pair_{nullptr};

  // The playback session, made and deleted under playback_lock_.
  std::mutex playback_lock_;
  std::unique_ptr<CPlaybackSession> playback_;
  std::atomic<CPlaybackSession*> playback_session_{nullptr};
};
