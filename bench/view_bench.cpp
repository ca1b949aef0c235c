// The grid's cost per picture: CDvrView::ShowPicture (stage, stretch with
// conversion, overlay, cache copy, all under the grid's lock) for a CIF
// picture into a 16-pane and a 64-pane layout and a D1 picture into a
// single full-HD pane, against libswscale alone doing the same scale and
// conversion. Rows are <case>/<who>; the ratio counter is swscale's
// processor time per picture divided by the row's own, and pictures_per_s
// is what one core sustains.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "ratio_reporter.h"
#include "view/dvr_view.h"

namespace {

struct Case {
  const char* name;
  int width, height, split;
};
constexpr Case kCases[] = {{"cif_16_panes", 352, 288, 16}, {"cif_64_panes", 352, 288, 64}, {"d1_1_pane", 720, 576, 1}};
constexpr int kMonitorW = 1920, kMonitorH = 1080;

std::vector<uint8_t> Picture(int w, int h) {
  std::vector<uint8_t> p(static_cast<size_t>(w) * h * 2);
  std::mt19937 rng(7);
  for (auto& b : p) b = static_cast<uint8_t>(rng() % 200 + 30);
  return p;
}

void BM_Swscale(benchmark::State& state, Case c) {
  const int n = c.split == 64 ? 8 : (c.split == 16 ? 4 : 1);
  const int dw = kMonitorW / n - 2, dh = kMonitorH / n - 2;
  SwsContext* ctx = sws_getContext(c.width, c.height, AV_PIX_FMT_YUYV422, dw, dh, AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR,
                                   nullptr, nullptr, nullptr);
  const std::vector<uint8_t> pic = Picture(c.width, c.height);
  std::vector<uint8_t> out(static_cast<size_t>(dw + 16) * 4 * (dh + 2));
  const uint8_t* const src[4] = {pic.data(), nullptr, nullptr, nullptr};
  const int src_stride[4] = {c.width * 2, 0, 0, 0};
  uint8_t* const dst[4] = {out.data(), nullptr, nullptr, nullptr};
  const int dst_stride[4] = {(dw + 16) * 4, 0, 0, 0};
  for (auto _ : state) {
    sws_scale(ctx, src, src_stride, 0, c.height, dst, dst_stride);
    benchmark::ClobberMemory();
  }
  sws_freeContext(ctx);
  state.counters["pictures_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Grid(benchmark::State& state, Case c) {
  CDvrView view;
  MonitorInfo m;
  m.rect = QRect(0, 0, kMonitorW, kMonitorH);
  view.UseMonitor(m);
  view.InitSurfaces();
  view.SetVideoArea(0, 0, kMonitorW, kMonitorH);
  view.SetChannelCount(c.split == 1 ? 16 : c.split);
  view.SetSplit(c.split, 0);
  std::tm t{};
  t.tm_year = 120;
  const std::vector<uint8_t> pic = Picture(c.width, c.height);
  int channel = 0;
  for (int i = 0; i < c.split; ++i) view.SetFrameTime(i, t);
  for (auto _ : state) {
    // Pictures go round the panes as they come from many channels.
    const int rc = view.ShowPicture(PictureRecord{channel, channel, c.width, c.height, c.width * c.height * 2, pic.data()});
    if (rc != 0) state.SkipWithError("picture dropped");
    channel = (channel + 1) % c.split;
  }
  state.counters["pictures_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Fonts need the application object; it lives until the process ends.
  new QGuiApplication(argc, argv);
  for (const Case& c : kCases) {
    benchmark::RegisterBenchmark((std::string("ShowPicture/") + c.name + "/swscale").c_str(), BM_Swscale, c)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("ShowPicture/") + c.name + "/grid").c_str(), BM_Grid, c)
        ->Unit(benchmark::kMicrosecond);
  }
  return RunWithRatios(argc, argv, "swscale");
}
