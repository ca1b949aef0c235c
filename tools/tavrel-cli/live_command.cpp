// tavrel-cli live: logs in, starts live video as a site does and reports
// the pictures, rates and per-channel totals; optionally writes each
// channel's last picture as a bitmap and plays one channel's sound.
#include <atomic>
#include <sys/resource.h>
#include <algorithm>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "audio/wave_out_player.h"
#include "cli_args.h"
#include "commands.h"
#include "output.h"
#include "picture_file.h"
#include "site_driver.h"
#include "platform/clock.h"
#include "sites/dvr_site.h"
#include "streaming/live_stream.h"

namespace {

// Channels are numbered 1..16 on the command line and in the output.
bool ParseChannelList(const std::string& text, uint16_t* mask) {
  if (text == "all") {
    *mask = 0xFFFF;
    return true;
  }
  *mask = 0;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    char* end = nullptr;
    long n = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end != '\0' || n < 1 || n > 16) return false;
    *mask = static_cast<uint16_t>(*mask | (1u << (n - 1)));
  }
  return *mask != 0;
}

// The panes the grid lays out for a DVR's channel count (8 channels take the
// nine-pane layout), as the mask of the channels they show.
uint16_t PaneMaskForChannels(int channels) {
  const int panes = channels <= 4 ? 4 : (channels <= 9 ? 9 : 16);
  return static_cast<uint16_t>((1u << panes) - 1);
}

// The CLI's grid: records what the site hands over and prints it.
class CliPictureSink : public IPictureSink {
 public:
  CliPictureSink(uint16_t pane_mask, int sole_channel, bool keep_pictures)
      : pane_mask_(pane_mask), sole_channel_(sole_channel), keep_pictures_(keep_pictures) {}

  bool IsSuspended() override { return false; }
  int SoleChannel() override { return sole_channel_; }
  uint16_t PaneChannelMask() override { return pane_mask_.load(); }
  void SetPaneChannelMask(uint16_t mask) { pane_mask_.store(mask); }
  void SetRate(int channel, int bytes_per_second) override {
    if (channel >= 0 && channel < 16) rate_[channel].store(bytes_per_second);
  }
  void SetFrameRate(int channel, int frames_per_second) override {
    if (channel < 0 || channel >= 16) return;
    OutLine("rate channel=%d fps=%d kbps=%d", channel + 1, frames_per_second, rate_[channel].load() * 8 / 1000);
  }
  void SetChannelTime(int, const std::tm&) override {}
  void ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) override {
    if (channel < 0 || channel >= 16) return;
    Channel& c = channels_[channel];
    std::lock_guard<std::mutex> lock(c.lock);
    if (!c.seen) {
      c.seen = true;
      OutLine("picture channel=%d %dx%d", channel + 1, width, height);
    }
    if (keep_pictures_ && size_bytes > 0) {
      if (c.pixels.size() < static_cast<size_t>(size_bytes)) c.pixels.resize(static_cast<size_t>(size_bytes));
      std::memcpy(c.pixels.data(), pixels, static_cast<size_t>(size_bytes));
      c.width = width;
      c.height = height;
    }
  }
  void SetChannelName(int channel, const char* name) override {
    OutLine("name channel=%d text=%s", channel + 1, name);
  }

  // Writes the last picture of every channel that had one.
  int WriteSnapshots(const std::string& dir) {
    int failures = 0;
    for (int ch = 0; ch < 16; ++ch) {
      Channel& c = channels_[ch];
      std::lock_guard<std::mutex> lock(c.lock);
      if (c.width <= 0) continue;
      const std::string path = dir + "/channel" + (ch + 1 < 10 ? "0" : "") + std::to_string(ch + 1) + ".bmp";
      if (WriteYuy2AsBmp(path, c.pixels.data(), c.width, c.height)) {
        OutLine("snapshot channel=%d file=%s", ch + 1, path.c_str());
      } else {
        ErrLine("tavrel-cli live: cannot write %s", path.c_str());
        ++failures;
      }
    }
    return failures;
  }

 private:
  struct Channel {
    std::mutex lock;
    bool seen = false;
    std::vector<uint8_t> pixels;
    int width = 0;
    int height = 0;
  };
  std::atomic<uint16_t> pane_mask_;
  const int sole_channel_;
  const bool keep_pictures_;
  std::atomic<int> rate_[16] = {};
  Channel channels_[16];
};

// Delay from the DVR's send to the picture, for DVRs on this machine whose
// time stamps follow the wall clock (the simulator's do).
struct LatencyProbe {
  std::atomic<int> platform{164};
  std::atomic<int64_t> sum_us[16] = {};
  std::atomic<int64_t> max_us[16] = {};
  std::atomic<int64_t> count[16] = {};

  static uint64_t TicksPerSecond(int platform_code) {
    return platform_code == 160 ? 90000 : (platform_code == 164 ? 1000000 : 100000);
  }
  static void OnPicture(int channel, uint32_t stamp, void* user) {
    auto* p = static_cast<LatencyProbe*>(user);
    if (channel < 0 || channel >= 16) return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const uint64_t hz = TicksPerSecond(p->platform.load());
    const uint64_t now = static_cast<uint64_t>(ts.tv_sec) * hz + static_cast<uint64_t>(ts.tv_nsec) * hz / 1000000000u;
    const uint32_t ticks = static_cast<uint32_t>(now) - stamp;
    const int64_t us = static_cast<int64_t>(static_cast<uint64_t>(ticks) * 1000000u / hz);
    if (us > 10'000'000) return;  // a stamp from another clock
    p->sum_us[channel].fetch_add(us);
    p->count[channel].fetch_add(1);
    int64_t seen = p->max_us[channel].load();
    while (us > seen && !p->max_us[channel].compare_exchange_weak(seen, us)) {
    }
  }
};

}  // namespace

int RunLive(const std::vector<std::string>& args) {
  CliArgs opts(args,
               {"--host", "--port", "--user", "--password", "--channels", "--seconds", "--snapshot-dir",
                "--audio-channel", "--connect-timeout"},
               {"--stats"});
  const long base_port = opts.Int("--port", 7620, 0, 65533);
  const long seconds = opts.Int("--seconds", 10, 0, 86400 * 365);
  const long audio_channel = opts.Int("--audio-channel", 0, 1, 16);
  const long connect_timeout_s = opts.Int("--connect-timeout", kDefaultConnectTimeoutS, 1, 3600);
  // Without --channels the panes follow the DVR's channel count once it is
  // known, as the grid's do.
  uint16_t pane_mask = 0xFFFF;
  bool panes_chosen = opts.Has("--channels");
  if (opts.Ok() && opts.Value("--channels") && !ParseChannelList(*opts.Value("--channels"), &pane_mask)) {
    ErrLine("tavrel-cli live: --channels takes 'all' or a list like 1,2,5 (channels 1..16)");
    return 2;
  }
  if (opts.Ok() && (!opts.Value("--host") || !opts.Value("--user") || !opts.Value("--password"))) {
    ErrLine("tavrel-cli live: --host, --user and --password are required");
    return 2;
  }
  if (!opts.Ok()) {
    ErrLine("tavrel-cli live: %s", opts.Error().c_str());
    return 2;
  }
  const std::string snapshot_dir = opts.Value("--snapshot-dir").value_or("");
  if (!snapshot_dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(snapshot_dir, ec);
    if (!std::filesystem::is_directory(snapshot_dir)) {
      ErrLine("tavrel-cli live: cannot create the folder %s", snapshot_dir.c_str());
      return 2;
    }
  }
  // With an audio channel the grid shows that channel alone and plays it.
  int sole_channel = -1;
  if (audio_channel > 0) {
    sole_channel = static_cast<int>(audio_channel - 1);
    pane_mask = static_cast<uint16_t>(1u << sole_channel);
    panes_chosen = true;
  }

  const SiteRecord record = SiteRecordFromOptions(opts, base_port);

  std::unique_ptr<CWaveOutPlayer> player;
  if (sole_channel >= 0) {
    player = std::make_unique<CWaveOutPlayer>();
    player->SetMuted(0);
  }
  CliPictureSink sink(pane_mask, sole_channel, !snapshot_dir.empty());
  const bool stats = opts.Has("--stats");
  LatencyProbe latency;
  SiteCodeQueue codes(true, true);
  int exit_status = 1;
  {
    CDvrSite site(record);
    site.Control().SetConnectTimeout(static_cast<int>(connect_timeout_s));
    site.SetObserver(&codes);
    site.SetPictureSink(&sink);
    site.SetPlayer(player.get());
    if (stats) site.SetPictureProbe(&LatencyProbe::OnPicture, &latency);
    site.StartControl();

    const int64_t deadline_ms = platform::MonotonicMs() + seconds * 1000;
    bool ended = false;
    while (!ended && !StopRequested() && platform::MonotonicMs() < deadline_ms) {
      const int code = codes.Next(100);
      if (code < 0) continue;
      switch (code) {
        case kNotifyLoggedIn:
          OutLine("notify 1");
          exit_status = 0;
          site.SendFollowUpRequests();
          break;
        case 51:
          if (!site.LiveStarted()) {
            if (!panes_chosen) {
              pane_mask = PaneMaskForChannels(site.ChannelCount());
              sink.SetPaneChannelMask(pane_mask);
            }
            site.StartLive();
            site.SetLiveDisplay(true);
            site.UpdateLiveMask();
            site.RequestCameraNames();
            OutLine("live channels=%d platform=%d", site.ChannelCount(), site.PlatformCode());
            latency.platform = site.PlatformCode();
          }
          break;
        case kNotifyStreamRunning:
          break;
        case kSiteStreamLostPrimary:
          OutLine("stream-lost primary");
          break;
        case kSiteStreamLostSecondary:
          OutLine("stream-lost secondary");
          break;
        case kNotifyConnectionLost:
          OutLine("notify 11");
          ended = true;
          break;
        default:
          if (IsLoginFailure(code)) {
            OutLine("notify %d", code);
            ErrLine("tavrel-cli live: the login failed (notification %d)", code);
            ended = true;
          }
          break;
      }
    }
    latency.platform = site.PlatformCode();
    site.StopAll();
    if (stats) {
      rusage usage{};
      getrusage(RUSAGE_SELF, &usage);
      const double cpu_s = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
      uint64_t pictures = 0;
      int64_t sum_us = 0, count = 0, max_us = 0;
      for (int ch = 0; ch < 16; ++ch) {
        pictures += site.PicturesDecoded(ch);
        sum_us += latency.sum_us[ch].load();
        count += latency.count[ch].load();
        max_us = std::max<int64_t>(max_us, latency.max_us[ch].load());
      }
      OutLine("stats cpu_s=%.3f pictures=%llu cpu_ms_per_picture=%.3f latency_avg_ms=%.1f latency_max_ms=%.1f", cpu_s,
              static_cast<unsigned long long>(pictures), pictures > 0 ? cpu_s * 1000.0 / pictures : 0.0,
              count > 0 ? sum_us / 1000.0 / count : 0.0, max_us / 1000.0);
      if (CDualLiveStream* live = site.LivePair()) {
        const std::pair<const char*, CLiveStream*> streams[] = {{"primary", live}, {"secondary", &live->Secondary()}};
        for (const auto& [name, stream] : streams) {
          const CFragmentAssembler::Counts c = stream->AssemblyCounts();
          OutLine("stream %s units=%llu multi_fragment=%llu dropped_oversize=%llu dropped_broken=%llu bad_headers=%llu",
                  name, static_cast<unsigned long long>(c.units),
                  static_cast<unsigned long long>(c.multi_fragment_units),
                  static_cast<unsigned long long>(c.dropped_oversize),
                  static_cast<unsigned long long>(c.dropped_broken),
                  static_cast<unsigned long long>(stream->BadHeaders()));
        }
      }
    }
    for (int ch = 0; ch < site.ChannelCount(); ++ch) {
      if ((pane_mask & (1u << ch)) == 0) continue;
      OutLine("summary channel=%d frames=%llu pictures=%llu", ch + 1,
              static_cast<unsigned long long>(site.FramesReceived(ch)),
              static_cast<unsigned long long>(site.PicturesDecoded(ch)));
    }
  }
  if (!snapshot_dir.empty() && sink.WriteSnapshots(snapshot_dir) != 0) exit_status = 1;
  if (exit_status != 0) ErrLine("tavrel-cli live: no session with the DVR");
  return exit_status;
}
