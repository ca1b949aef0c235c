// CPlaybackConsumer: the frame consumer of a playback session. It takes the
// frame records the session's worker reassembles and, like a site's live
// consumer, keeps per-channel rate statistics, follows each channel's
// capture time, decodes video into pictures for the grid and plays the sound
// of the one channel shown alone. It differs from the live consumer in that
// records are dropped while the panel is stopped or closed, the statistics
// cover 4 seconds, a changed capture time is also reported to a time
// observer (the panel's selected time follows it), and pictures, rates and
// times reach the sink only while the playback display flag is set.
//
// Everything is called on the session's worker thread except the setters,
// which any thread may call. Detaching (SetPictureSink, SetPlayer,
// SetTimeObserver with null or another object) waits for the call in flight,
// so the old object can be destroyed right after. The sink, the player and
// the observer are called under the consumer's lock: none of them may call
// SetPlaybackDisplay or a detaching setter (they post what they need).
#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>

#include "platform/clock.h"
#include "sites/picture_sink.h"

class CPlaybackSession;
class CWaveOutPlayer;

// Panel states of the playback panel (the consumer only tells 0 and 6 apart
// from the others).
enum PlaybackPanelState : int {
  kPanelStopped = 0,
  kPanelPlaying = 1,
  kPanelFastForward = 2,
  kPanelFastBackward = 3,
  kPanelAfter4128 = 4,
  kPanelAfter412A = 5,
  kPanelClosed = 6,
};

// A capture time broken down as the panel shows it: month 1..12, the full
// year.
struct PlaybackTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const PlaybackTime&) const = default;
};

// Told of every changed capture time of a channel, on the session's worker
// thread; an implementation copies the time and returns without waiting for
// the user-interface thread.
class IPlaybackTimeObserver {
 public:
  virtual ~IPlaybackTimeObserver() = default;
  virtual void OnPlaybackTime(int channel, const PlaybackTime& time) = 0;
};

class CPlaybackConsumer {
 public:
  static constexpr int kChannels = 16;
  static constexpr int kStatsPeriodS = 4;

  CPlaybackConsumer();
  ~CPlaybackConsumer();
  CPlaybackConsumer(const CPlaybackConsumer&) = delete;
  CPlaybackConsumer& operator=(const CPlaybackConsumer&) = delete;

  // The frame callback to install on the session (user value: this consumer).
  static void OnFrame(const uint8_t* record, int record_bytes, void* user);

  // The session whose decoder slots are used; null drops every record. Set
  // before the session starts and cleared only after it was stopped.
  void SetSession(CPlaybackSession* session) { session_.store(session); }
  // What the site knows about its DVR: platform code (160..164), channel
  // count and time zone (known flag and the offset to add, daylight hour
  // included).
  void SetPlatformCode(int code) { platform_code_.store(code); }
  void SetChannelCount(int channels) { channel_count_.store(channels); }
  void SetTimeZone(bool known, int64_t offset_s);

  // The panel's state (PlaybackPanelState): 0 and 6 drop every record.
  void SetPanelState(int state) { panel_state_.store(state); }
  int PanelState() const { return panel_state_.load(); }
  // Pictures, rates and times go to the sink only while the flag is set;
  // clearing it returns when none is being handed over.
  void SetPlaybackDisplay(bool on);
  bool PlaybackDisplay() const { return display_.load(); }

  void SetPictureSink(IPictureSink* sink);
  void SetPlayer(CWaveOutPlayer* player);
  void SetTimeObserver(IPlaybackTimeObserver* observer);

  // Consumes one frame record (the session's worker thread).
  void Consume(const uint8_t* record, int record_bytes);

  // Counted since construction (any thread).
  uint64_t FramesReceived(int channel) const;
  uint64_t KeyFramesReceived(int channel) const;
  uint64_t PicturesDecoded(int channel) const;

  // Breaks a capture time down by the platform's rule: platforms 162..164
  // count in UTC and are shown in the DVR's zone when it is known (else in
  // this machine's), the older ones count in the DVR's local time. False
  // when the C library cannot break the time down.
  static bool BreakDownCaptureTime(uint32_t capture_time, int platform_code, bool tz_known, int64_t offset_s,
                                   std::tm* out);

  // Test hook: the wall clock (whole seconds) the rate statistics count.
  void SetSecondsClock(int64_t (*clock)()) { seconds_clock_ = clock != nullptr ? clock : &platform::NowSeconds; }

 private:
  struct ChannelStats {
    int64_t bytes = 0;
    int frames = 0;
    int seconds = 0;
    int64_t last_second = 0;
    uint32_t last_capture_time = 0;
    std::atomic<uint64_t> total_frames{0};
    std::atomic<uint64_t> total_keys{0};
    std::atomic<uint64_t> total_pictures{0};
  };

  std::atomic<CPlaybackSession*> session_{nullptr};
  std::atomic<int> platform_code_{163};
  std::atomic<int> channel_count_{kChannels};
  std::atomic<bool> tz_known_{false};
  std::atomic<int64_t> tz_offset_s_{0};
  std::atomic<int> panel_state_{kPanelStopped};
  std::atomic<bool> display_{false};

  // Held for each record's work, and by the setters that detach: the sink,
  // the player and the observer are used under it only.
  std::mutex lock_;
  IPictureSink* sink_ = nullptr;
  CWaveOutPlayer* player_ = nullptr;
  IPlaybackTimeObserver* observer_ = nullptr;
  ChannelStats stats_[kChannels];
  int64_t (*seconds_clock_)() = &platform::NowSeconds;
};
