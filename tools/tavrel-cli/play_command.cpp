// tavrel-cli play: logs in, checks through the day search that the minute
// asked for is recorded (as the panel's transport buttons do), then plays the
// DVR's recordings from that time on a playback connection and reports the
// pictures, rates and capture times, as the playback panel's consumer hands
// them to the grid.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "command_registry.h"
#include "commands.h"
#include "output.h"
#include "platform/clock.h"
#include "playback/playback_consumer.h"
#include "playback/playback_session.h"
#include "search_driver.h"

namespace {

constexpr long kAnswerTimeoutMs = 10000;
constexpr long kAdmitTimeoutMs = 10000;

// The grid of the command: prints each channel's first picture and every
// rate report; counts nothing itself (the consumer does).
class PlaySink : public IPictureSink {
 public:
  bool IsSuspended() override { return false; }
  int SoleChannel() override { return -1; }
  uint16_t PaneChannelMask() override { return 0xFFFF; }
  void SetRate(int channel, int bytes_per_second) override {
    if (channel >= 0 && channel < 16) rate_[channel].store(bytes_per_second);
  }
  void SetFrameRate(int channel, int frames_per_second) override {
    if (channel < 0 || channel >= 16) return;
    OutLine("rate channel=%d fps=%d kbps=%d", channel + 1, frames_per_second, rate_[channel].load() * 8 / 1000);
  }
  void SetChannelTime(int, const std::tm&) override {}
  void ShowPicture(int channel, int width, int height, int, const uint8_t*) override {
    if (channel < 0 || channel >= 16 || seen_[channel].exchange(true)) return;
    OutLine("picture channel=%d %dx%d", channel + 1, width, height);
  }
  void SetChannelName(int, const char*) override {}

 private:
  std::atomic<int> rate_[16] = {};
  std::atomic<bool> seen_[16] = {};
};

// Prints every changed capture time, as the panel's date-time text follows it.
class PlayTimes : public IPlaybackTimeObserver {
 public:
  void OnPlaybackTime(int channel, const PlaybackTime& t) override {
    OutLine("time channel=%d %04d-%02d-%02d %02d:%02d:%02d", channel + 1, t.year, t.month, t.day, t.hour, t.minute,
            t.second);
  }
};

// Status codes from the session's worker, handed to the command's thread.
class StatusQueue {
 public:
  static void OnStatus(int code, void* user) {
    auto* q = static_cast<StatusQueue*>(user);
    std::lock_guard<std::mutex> lock(q->lock_);
    q->codes_.push_back(code);
    q->changed_.notify_all();
  }
  int Next(long timeout_ms) {
    std::unique_lock<std::mutex> lock(lock_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return !codes_.empty(); })) return -1;
    const int code = codes_.front();
    codes_.pop_front();
    return code;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<int> codes_;
};

bool ParseChannels(const std::string& text, uint16_t* mask) {
  *mask = 0;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    char* end = nullptr;
    const long n = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end != '\0' || n < 1 || n > 16) return false;
    *mask = static_cast<uint16_t>(*mask | (1u << (n - 1)));
  }
  return *mask != 0;
}

int RunPlay(const std::vector<std::string>& args) {
  std::set<std::string> valued(std::begin(kSearchCommonOptions), std::end(kSearchCommonOptions));
  valued.insert({"--at", "--speed", "--seconds", "--channels", "--language-file"});
  CliArgs opts(args, valued, {"--backward"});
  const long base_port = opts.Int("--port", 7620, 0, 65533);
  const long speed = opts.Int("--speed", 1, 1, 4);
  const long seconds = opts.Int("--seconds", 10, 1, 86400);
  const long connect_timeout_s = opts.Int("--connect-timeout", 10, 1, 3600);
  const bool backward = opts.Has("--backward");
  if (opts.Ok() && (!opts.Value("--host") || !opts.Value("--user") || !opts.Value("--password") ||
                    !opts.Value("--at"))) {
    ErrLine("tavrel-cli play: --host, --user, --password and --at are required");
    return 2;
  }
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (opts.Ok() && !ParseDateTime(*opts.Value("--at"), &year, &month, &day, &hour, &minute, &second)) {
    ErrLine("tavrel-cli play: --at takes \"YYYY-MM-DD HH:MM:SS\"");
    return 2;
  }
  uint16_t mask = 0xFFFF;
  if (opts.Ok() && opts.Value("--channels") && !ParseChannels(*opts.Value("--channels"), &mask)) {
    ErrLine("tavrel-cli play: --channels takes a list like 1,2,5 (channels 1..16)");
    return 2;
  }
  if (!opts.Ok()) {
    ErrLine("tavrel-cli play: %s", opts.Error().c_str());
    return 2;
  }

  SearchSite search(opts, base_port, connect_timeout_s);
  if (!search.Connect("play", connect_timeout_s * 1000)) return 1;
  CDvrSite& site = search.site();
  uint8_t minutes[1440] = {};
  if (!search.SearchDay(year, month, day, minutes, kAnswerTimeoutMs)) {
    ErrLine("tavrel-cli play: no answer to the day search");
    return 1;
  }
  if (minutes[hour * 60 + minute] == 0) {
    const std::string text = EnglishText("MESSAGE", 36, opts.Value("--language-file").value_or(""));
    ErrLine("%s", text.empty() ? "tavrel-cli play: nothing is recorded at that minute" : text.c_str());
    return 1;
  }

  PlaySink sink;
  PlayTimes times;
  StatusQueue status;
  CPlaybackConsumer consumer;
  consumer.SetPlatformCode(site.PlatformCode());
  consumer.SetChannelCount(site.ChannelCount());
  consumer.SetTimeZone(site.TimeZoneKnown(), site.TimeZoneOffset());
  consumer.SetPictureSink(&sink);
  consumer.SetTimeObserver(&times);
  consumer.SetPlaybackDisplay(true);
  CPlaybackSession* session =
      site.CreatePlaybackSession(&CPlaybackConsumer::OnFrame, &consumer, &StatusQueue::OnStatus, &status);
  consumer.SetSession(session);
  site.StartPlaybackSession();
  OutLine("playback platform=%d channels=%d", site.PlatformCode(), site.ChannelCount());

  int result = 0;
  const int64_t admit_deadline = platform::MonotonicMs() + kAdmitTimeoutMs;
  while (!session->IsAdmitted() && session->IsWorkerActive() && platform::MonotonicMs() < admit_deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!session->IsAdmitted()) {
    ErrLine("tavrel-cli play: the DVR did not admit the playback connection");
    result = 1;
  } else {
    consumer.SetPanelState(backward ? kPanelFastBackward : (speed > 1 ? kPanelFastForward : kPanelPlaying));
    if (opts.Value("--channels")) session->SendPlaybackMask(mask);
    session->SetPosition(year, month, day, hour, minute, second);
    session->PlayControl(1, backward ? 1 : 0, static_cast<int>(speed));
    const int64_t deadline = platform::MonotonicMs() + seconds * 1000;
    bool ended = false;
    while (!ended && !StopRequested() && platform::MonotonicMs() < deadline) {
      const int code = status.Next(100);
      if (code < 0) continue;
      OutLine("status %d", code);
      ended = code == kPlaybackStatusEnded;
    }
    if (!ended) {
      session->PlayControl(2, 0, 1);
      session->ClosePlayback();
    }
  }
  consumer.SetPanelState(kPanelClosed);
  site.DeletePlaybackSession();
  consumer.SetSession(nullptr);
  for (int ch = 0; ch < 16; ++ch) {
    if (consumer.FramesReceived(ch) == 0) continue;
    OutLine("summary channel=%d frames=%llu keys=%llu pictures=%llu", ch + 1,
            static_cast<unsigned long long>(consumer.FramesReceived(ch)),
            static_cast<unsigned long long>(consumer.KeyFramesReceived(ch)),
            static_cast<unsigned long long>(consumer.PicturesDecoded(ch)));
  }
  return result;
}

const char kUsage[] =
    "  play --host H --port BASE --user ID --password PW --at \"YYYY-MM-DD HH:MM:SS\"\n"
    "       [--speed 1|2|3|4] [--backward] [--seconds N] [--channels LIST]\n"
    "       [--language-file FILE] [--connect-timeout S]\n"
    "      Plays the DVR's recordings from the given time (in the DVR's zone) for\n"
    "      N seconds (default 10) or until they end: speed 1 is normal, 2..4 fast\n"
    "      (key pictures only); --backward plays key pictures backwards. Prints\n"
    "      'picture channel=C WxH' (first picture), 'rate channel=C fps=F kbps=K'\n"
    "      (every 4 seconds), 'time channel=C YYYY-MM-DD HH:MM:SS' (each changed\n"
    "      capture time), 'status 57' (playing) and 'status 15' (the recordings\n"
    "      ended), then 'summary channel=C frames=F keys=K pictures=P'. A minute\n"
    "      with no recording prints the language file's message and exits 1.\n";

const bool kRegistered = RegisterCliCommand({"play", &RunPlay, kUsage, 72});

}  // namespace
