// The client's live path end to end against running simulators, with the
// reference measured in the same process and the same run (live_reference.h).
// One CDvrSite per simulator logs in and streams every channel as the client
// does. Without --grid each site hands its pictures to a sink that only
// counts them; with --grid the sites share one offscreen 64-pane CDvrView in
// predefined-list mode, each through a CPredefinedSink that maps its 16
// channels to 16 of the 64 panes, and the reference also scales each
// picture to a pane's size.
//
//   live_e2e --port BASE [--port BASE ...] --user ID --password PW [--host H]
//              [--seconds S] [--warmup S] [--grid] [--reference-every K]
//              [simulator options the loops were made with: --platform,
//               --channels, --resolution, --fps, --camera-like, ...]
//
// After every shown channel has brought a picture and the warm-up has passed,
// it measures for S seconds and prints one line:
//   live sites= channels= seconds= received= pictures= drawn= cores=
//        client_ms_per_picture= decode_ms_per_picture= bare_ms_per_picture=
//        bare_pictures= decode_vs_bare= delay_avg_ms= delay_max_ms=
//        received_total= pictures_total= drawn_total=
// client: the whole process less the reference's thread; decode: the
// threads that receive and decode (the stream threads); the *_total figures
// count everything from the start until the simulators, told to stop
// sending, have sent nothing more for half a second: they can be held
// against what the simulators sent.
#include <QGuiApplication>
#include <QSize>

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dvrsim/media_store.h"
#include "dvrsim/sim_config.h"
#include "live_reference.h"
#include "mediagen/mediagen.h"
#include "platform/clock.h"
#include "sites/dvr_site.h"
#include "view/dvr_view.h"
#include "view/predefined_sink.h"

namespace {

constexpr int kMonitorW = 1920, kMonitorH = 1080;

double ClockSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Codes of every site, handed to the main thread as a window's queue would.
class CodeQueue : public ISiteObserver {
 public:
  void OnSiteCode(int site_id, int code) override {
    std::lock_guard<std::mutex> lock(lock_);
    codes_.emplace_back(site_id, code);
    changed_.notify_all();
  }
  void OnSiteEvent(int, const EventRecord&) override {}
  bool Next(long timeout_ms, std::pair<int, int>* out) {
    std::unique_lock<std::mutex> lock(lock_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return !codes_.empty(); })) return false;
    *out = codes_.front();
    codes_.pop_front();
    return true;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::pair<int, int>> codes_;
};

// Tells whether the grid drew during a ShowPicture call on this thread: the
// grid asks the window to present a picture's rectangle from inside the call.
thread_local bool t_in_show = false;
thread_local bool t_drawn = false;

class OffscreenWindow final : public IViewWindow {
 public:
  void PresentRect(const QRect&) override {
    if (t_in_show) t_drawn = true;
  }
  void InvalidateAll() override {}
  QSize ClientSize() const override { return QSize(kMonitorW, kMonitorH); }
  void PlaceWindow(const QRect&) override {}
  bool CurrentMonitor(MonitorInfo* monitor) const override {
    monitor->rect = QRect(0, 0, kMonitorW, kMonitorH);
    monitor->work = monitor->rect;
    return true;
  }
};

// A site's sink: counts the pictures drawn and hands everything on to the
// grid's sink, or only counts (every picture then counts as drawn).
class CountingSink final : public IPictureSink {
 public:
  explicit CountingSink(IPictureSink* next) : next_(next) {}
  std::atomic<uint64_t> drawn{0};

  bool IsSuspended() override { return next_ != nullptr && next_->IsSuspended(); }
  int SoleChannel() override { return next_ != nullptr ? next_->SoleChannel() : -1; }
  uint16_t PaneChannelMask() override { return next_ != nullptr ? next_->PaneChannelMask() : 0xFFFF; }
  void SetRate(int channel, int bytes_per_second) override {
    if (next_ != nullptr) next_->SetRate(channel, bytes_per_second);
  }
  void SetFrameRate(int channel, int frames_per_second) override {
    if (next_ != nullptr) next_->SetFrameRate(channel, frames_per_second);
  }
  void SetChannelTime(int channel, const std::tm& time) override {
    if (next_ != nullptr) next_->SetChannelTime(channel, time);
  }
  void ShowPicture(int channel, int width, int height, int size_bytes, const uint8_t* pixels) override {
    if (next_ == nullptr) {
      drawn.fetch_add(1);
      return;
    }
    t_in_show = true;
    t_drawn = false;
    next_->ShowPicture(channel, width, height, size_bytes, pixels);
    t_in_show = false;
    if (t_drawn) drawn.fetch_add(1);
  }
  void SetChannelName(int channel, const char* name) override {
    if (next_ != nullptr) next_->SetChannelName(channel, name);
  }

 private:
  IPictureSink* const next_;
};

// The stream threads, found by the pictures they hand over: their processor
// clocks, readable while they run.
class StreamThreads {
 public:
  void Register() {
    thread_local bool registered = false;
    if (registered) return;
    registered = true;
    clockid_t clock;
    if (pthread_getcpuclockid(pthread_self(), &clock) != 0) return;
    std::lock_guard<std::mutex> lock(lock_);
    // A thread first seen now counts from now.
    threads_.push_back({clock, ClockSeconds(clock)});
  }
  // Processor time of every thread since it was first seen.
  double CpuSeconds() {
    std::lock_guard<std::mutex> lock(lock_);
    double sum = 0;
    for (const Thread& t : threads_) sum += ClockSeconds(t.clock) - t.seen_at;
    return sum;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(lock_);
    return threads_.size();
  }

 private:
  struct Thread {
    clockid_t clock;
    double seen_at;
  };
  std::mutex lock_;
  std::vector<Thread> threads_;
};

struct Bench;

struct SiteRun {
  Bench* bench = nullptr;
  int index = 0;
  std::unique_ptr<CPredefinedSink> grid_sink;
  std::unique_ptr<CountingSink> sink;
  std::unique_ptr<CDvrSite> site;
  std::atomic<uint32_t> seen_mask{0};
  static void OnPicture(int channel, uint32_t stamp, void* user);
};

struct Bench {
  uint64_t ticks_per_second = 1000000;
  StreamThreads stream_threads;
  LiveReference* reference = nullptr;
  std::atomic<bool> measuring{false};
  std::atomic<int64_t> delay_sum_us{0};
  std::atomic<int64_t> delay_count{0};
  std::atomic<int64_t> delay_max_us{0};
};

void SiteRun::OnPicture(int channel, uint32_t stamp, void* user) {
  auto* run = static_cast<SiteRun*>(user);
  Bench& b = *run->bench;
  b.stream_threads.Register();
  run->seen_mask.fetch_or(1u << (channel & 15));
  b.reference->OnClientPicture(run->index, channel);
  if (!b.measuring.load()) return;
  // The simulator stamps each record with its wall clock in the platform's
  // unit; on the same machine now minus the stamp is the delay from its send
  // to the end of drawing.
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const uint64_t hz = b.ticks_per_second;
  const uint64_t now = static_cast<uint64_t>(ts.tv_sec) * hz + static_cast<uint64_t>(ts.tv_nsec) * hz / 1000000000u;
  const uint32_t ticks = static_cast<uint32_t>(now) - stamp;
  const int64_t us = static_cast<int64_t>(static_cast<uint64_t>(ticks) * 1000000u / hz);
  if (us > 10'000'000) return;  // not a stamp of this clock
  b.delay_sum_us.fetch_add(us);
  b.delay_count.fetch_add(1);
  int64_t seen = b.delay_max_us.load();
  while (us > seen && !b.delay_max_us.compare_exchange_weak(seen, us)) {
  }
}

struct Totals {
  double wall_s = 0, process_cpu_s = 0, stream_cpu_s = 0, reference_cpu_s = 0;
  uint64_t frames = 0, pictures = 0, drawn = 0;
  long reference_pictures = 0;
};

Totals Snapshot(Bench& bench, std::vector<std::unique_ptr<SiteRun>>& runs) {
  Totals t;
  t.wall_s = platform::MonotonicMs() / 1000.0;
  t.process_cpu_s = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
  t.stream_cpu_s = bench.stream_threads.CpuSeconds();
  t.reference_cpu_s = bench.reference->CpuSeconds();
  t.reference_pictures = bench.reference->Pictures();
  for (auto& r : runs) {
    for (int c = 0; c < CDvrSite::kChannels; ++c) {
      t.frames += r->site->FramesReceived(c);
      t.pictures += r->site->PicturesDecoded(c);
    }
    t.drawn += r->sink->drawn.load();
  }
  return t;
}

int Fail(const char* what) {
  std::fprintf(stderr, "live_e2e: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string host = "127.0.0.1", user, password;
  std::vector<int> ports;
  double seconds = 20, warmup = 3;
  bool grid = false;
  int every = 1;
  std::vector<std::string> sim_args;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--port" && has_value) ports.push_back(std::atoi(args[++i].c_str()));
    else if (a == "--host" && has_value) host = args[++i];
    else if (a == "--user" && has_value) user = args[++i];
    else if (a == "--password" && has_value) password = args[++i];
    else if (a == "--seconds" && has_value) seconds = std::atof(args[++i].c_str());
    else if (a == "--warmup" && has_value) warmup = std::atof(args[++i].c_str());
    else if (a == "--reference-every" && has_value) every = std::max(1, std::atoi(args[++i].c_str()));
    else if (a == "--grid") grid = true;
    else sim_args.push_back(a);
  }
  dvrsim::SimConfig config;
  std::string error;
  if (ports.empty() || user.empty() || dvrsim::ParseOptions(sim_args, &config, &error) != dvrsim::ParseOutcome::kRun) {
    std::fprintf(stderr, "live_e2e: %s\n", error.empty() ? "--port, --user and --password are needed" : error.c_str());
    return 2;
  }
  const int sites = static_cast<int>(ports.size());
  if (grid && sites * config.channels > CDvrView::kMaxPanes) return Fail("more channels than the grid's 64 panes");

  // The grid: offscreen, full HD, every pane shown, predefined-list mode.
  std::unique_ptr<QGuiApplication> app;
  std::unique_ptr<CDvrView> view;
  OffscreenWindow window;
  QSize pane;
  if (grid) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Qt sees only the program name: --platform means something else to it.
    static int qt_argc = 1;
    static char* qt_argv[] = {argv[0], nullptr};
    app = std::make_unique<QGuiApplication>(qt_argc, qt_argv);
    view = std::make_unique<CDvrView>();
    MonitorInfo monitor;
    window.CurrentMonitor(&monitor);
    view->UseMonitor(monitor);
    view->SetWindow(&window);
    if (view->InitSurfaces() != 1) return Fail("the grid has no surfaces");
    view->SetVideoArea(0, 0, kMonitorW, kMonitorH);
    view->SetChannelCount(CDvrView::kMaxPanes);
    view->SetGridMode(3);
    view->SetSplit(CDvrView::kMaxPanes, 0);
    pane = view->PaneRect(0).size();
  }

  // The loops the simulators send, made before anything is measured.
  dvrsim::MediaStore media(config);
  media.PrepareAll();
  LiveReference::Options ref_options;
  ref_options.sites = sites;
  ref_options.channels = config.channels;
  ref_options.every = every;
  if (grid) {
    ref_options.scale_width = pane.width();
    ref_options.scale_height = pane.height();
  }
  LiveReference reference(media, ref_options);
  if (!reference.error().empty()) return Fail(reference.error().c_str());

  Bench bench;
  bench.reference = &reference;
  bench.ticks_per_second = mediagen::StampTicksPerSecond(config.platform);
  CodeQueue codes;
  std::vector<std::unique_ptr<SiteRun>> runs;
  for (int s = 0; s < sites; ++s) {
    auto run = std::make_unique<SiteRun>();
    run->bench = &bench;
    run->index = s;
    if (grid) {
      run->grid_sink = std::make_unique<CPredefinedSink>(view.get());
      for (int c = 0; c < config.channels; ++c) run->grid_sink->Map(s * config.channels + c, c);
    }
    run->sink = std::make_unique<CountingSink>(run->grid_sink.get());
    SiteRecord record;
    record.name = "bench " + std::to_string(s + 1);
    record.address = host;
    record.base_port = ports[static_cast<size_t>(s)];
    record.user_id = user;
    record.password = password;
    record.channel_count = config.channels;
    record.platform_code = config.platform;
    run->site = std::make_unique<CDvrSite>(record);
    run->site->SetObserver(&codes);
    run->site->SetPictureSink(run->sink.get());
    run->site->SetPictureProbe(&SiteRun::OnPicture, run.get());
    runs.push_back(std::move(run));
  }
  for (auto& r : runs) r->site->StartControl();

  // Codes are handled on this thread throughout, as the site panel would.
  auto pump = [&](long ms) {
    std::pair<int, int> code;
    const int64_t until = platform::MonotonicMs() + ms;
    for (int64_t now = platform::MonotonicMs(); now < until; now = platform::MonotonicMs()) {
      if (!codes.Next(static_cast<long>(until - now), &code)) continue;
      for (auto& r : runs) {
        if (r->site->Id() != code.first) continue;
        if (code.second == kNotifyLoggedIn) r->site->SendFollowUpRequests();
        if (code.second == 51 && !r->site->LiveStarted()) {
          // Shown before the streams start, so that no channel's first key
          // picture arrives while the site is not shown.
          r->site->SetLiveDisplay(true);
          r->site->StartLive();
          r->site->UpdateLiveMask();
        }
        if (IsLoginFailure(code.second) || code.second == kNotifyConnectionLost) return false;
      }
    }
    return true;
  };
  const uint32_t all = (1u << config.channels) - 1;
  const int64_t give_up = platform::MonotonicMs() + 60000;
  bool flowing = false;
  while (!flowing && platform::MonotonicMs() < give_up) {
    if (!pump(100)) return Fail("a site lost its session or its login failed");
    flowing = std::all_of(runs.begin(), runs.end(), [&](auto& r) { return r->seen_mask.load() == all; });
  }
  if (!flowing) return Fail("not every channel brought a picture within a minute");
  if (!pump(static_cast<long>(warmup * 1000))) return Fail("a site lost its session");

  bench.measuring = true;
  const Totals start = Snapshot(bench, runs);
  if (!pump(static_cast<long>(seconds * 1000))) return Fail("a site lost its session while measuring");
  const Totals end = Snapshot(bench, runs);
  bench.measuring = false;
  // The simulators stop sending; what is on its way is still taken in, so
  // the totals can be held against what they sent.
  for (auto& r : runs) r->site->StopLiveVideo();
  Totals stopped = Snapshot(bench, runs);
  const int64_t drain_until = platform::MonotonicMs() + 20000;
  for (int quiet_rounds = 0; quiet_rounds < 5 && platform::MonotonicMs() < drain_until;) {
    pump(100);
    const Totals now = Snapshot(bench, runs);
    quiet_rounds = now.frames == stopped.frames ? quiet_rounds + 1 : 0;
    stopped = now;
  }
  for (auto& r : runs) r->site->StopAll();
  reference.Finish();

  const double wall = end.wall_s - start.wall_s;
  const double reference_cpu = end.reference_cpu_s - start.reference_cpu_s;
  const double client_cpu = end.process_cpu_s - start.process_cpu_s - reference_cpu;
  const double decode_cpu = end.stream_cpu_s - start.stream_cpu_s;
  const double pictures = static_cast<double>(end.pictures - start.pictures);
  const double bare_ms = reference.Pictures() > 0 ? reference.CpuSeconds() * 1000.0 / reference.Pictures() : 0;
  const double decode_ms = pictures > 0 ? decode_cpu * 1000.0 / pictures : 0;
  std::printf(
      "live sites=%d channels=%d seconds=%.1f received=%llu pictures=%.0f drawn=%llu cores=%.3f "
      "client_ms_per_picture=%.4f decode_ms_per_picture=%.4f bare_ms_per_picture=%.4f bare_pictures=%ld "
      "decode_vs_bare=%.3f delay_avg_ms=%.1f delay_max_ms=%.1f received_total=%llu pictures_total=%llu "
      "drawn_total=%llu\n",
      sites, config.channels, wall, static_cast<unsigned long long>(end.frames - start.frames), pictures,
      static_cast<unsigned long long>(end.drawn - start.drawn), wall > 0 ? client_cpu / wall : 0,
      pictures > 0 ? client_cpu * 1000.0 / pictures : 0, decode_ms, bare_ms, reference.Pictures(),
      bare_ms > 0 ? decode_ms / bare_ms : 0,
      bench.delay_count.load() > 0 ? bench.delay_sum_us.load() / 1000.0 / bench.delay_count.load() : 0,
      bench.delay_max_us.load() / 1000.0, static_cast<unsigned long long>(stopped.frames),
      static_cast<unsigned long long>(stopped.pictures), static_cast<unsigned long long>(stopped.drawn));
  // The sites let go of the grid before it goes.
  runs.clear();
  return 0;
}
