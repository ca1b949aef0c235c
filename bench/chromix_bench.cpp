// libchromix's four conversions against libswscale converting the same
// pictures in the same run: yuv420p to yuyv422, bgr24, bgra and rgb565le. The
// RGB outputs of libchromix are bottom-up, so swscale writes its RGB output
// flipped through a negative destination stride.
//
// Rows are named <operation>/<size>/<who>. "chromix" is the shared library
// through CreateConverterYH, on the path it picks for this processor;
// "chromix_ssse3", "chromix_sse2" and "chromix_plain" force a path through
// chromix_core; "memcpy" copies as many bytes as the conversion writes, the
// floor no conversion can beat. "ratio" is swscale's processor time per
// picture divided by the row's own, "vs_memcpy" the floor's divided by the
// row's own (1 would be at the floor).
//
// For ToYuy2 swscale does the same work, point sampling, and a test checks
// that it gives the same bytes (chromix_bench_reference.h). For the RGB
// conversions swscale's own colour equations and bilinear chroma are timed:
// similar work, not the same bytes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include <cstring>

#include "chromix/chromix.h"
#include "chromix/converter.h"
#include "chromix_bench_reference.h"
#include "ratio_reporter.h"

namespace {

enum class Op { kYuy2, kRgb24, kRgb32, kRgb565 };

struct OpInfo {
  const char* name;
  int bpp;
  AVPixelFormat sws_format;
  bool bottom_up;
};

OpInfo Info(Op op) {
  switch (op) {
    case Op::kYuy2: return {"ToYuy2", 2, AV_PIX_FMT_YUYV422, false};
    case Op::kRgb24: return {"ToRgb24", 3, AV_PIX_FMT_BGR24, true};
    case Op::kRgb32: return {"ToRgb32", 4, AV_PIX_FMT_BGRA, true};
    case Op::kRgb565: return {"ToRgb565", 2, AV_PIX_FMT_RGB565LE, true};
  }
  return {};
}

// A decoded picture as the decoder hands it over: luma pitch width + 32.
struct Source {
  int w, h, pitch;
  std::vector<uint8_t> y, u, v;
  Source(int w_, int h_) : w(w_), h(h_), pitch(w_ + 32) {
    y.resize(static_cast<size_t>(pitch) * h);
    u.resize(static_cast<size_t>(pitch / 2) * (h / 2));
    v.resize(u.size());
    std::mt19937 rng(42);
    for (auto* p : {&y, &u, &v})
      for (auto& b : *p) b = static_cast<uint8_t>(rng() % 220 + 16);
  }
  YuvPlanes planes() const { return {y.data(), u.data(), v.data()}; }
};

void BM_Swscale(benchmark::State& state, Op op, int w, int h) {
  const OpInfo info = Info(op);
  const Source src(w, h);
  SwsContext* ctx = op == Op::kYuy2 ? MakeYuy2Reference(w, h)
                                    : sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, info.sws_format, SWS_BILINEAR,
                                                     nullptr, nullptr, nullptr);
  if (ctx == nullptr) {
    state.SkipWithError("sws_getContext failed");
    return;
  }
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * info.bpp + 64);
  const uint8_t* const in_planes[3] = {src.y.data(), src.u.data(), src.v.data()};
  const int in_strides[3] = {src.pitch, src.pitch / 2, src.pitch / 2};
  const int row = w * info.bpp;
  uint8_t* const out_planes[1] = {info.bottom_up ? out.data() + static_cast<size_t>(h - 1) * row : out.data()};
  const int out_strides[1] = {info.bottom_up ? -row : row};
  for (auto _ : state) {
    sws_scale(ctx, in_planes, in_strides, 0, h, out_planes, out_strides);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  sws_freeContext(ctx);
}

// The floor: a copy of as many bytes as the conversion writes.
void BM_Memcpy(benchmark::State& state, Op op, int w, int h) {
  const size_t bytes = static_cast<size_t>(w) * h * Info(op).bpp;
  const std::vector<uint8_t> from(bytes, 0x5A);
  std::vector<uint8_t> to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}

template <typename Converter>
int32_t Convert(Converter& c, Op op, const Source& src, uint8_t** out) {
  const YuvPlanes planes = src.planes();
  switch (op) {
    case Op::kYuy2: return c.ToYuy2(src.w, src.h, &planes, out, src.pitch);
    case Op::kRgb24: return c.ToRgb24(src.w, src.h, &planes, out, src.pitch);
    case Op::kRgb32: return c.ToRgb32(src.w, src.h, &planes, out, src.pitch);
    case Op::kRgb565: return c.ToRgb565(src.w, src.h, &planes, out, src.pitch);
  }
  return 0;
}

void BM_Chromix(benchmark::State& state, Op op, int w, int h) {
  const Source src(w, h);
  IYuvRgbConverter* conv = nullptr;
  if (CreateConverterYH(&conv) == 0 || conv->Create(w, h, Info(op).bpp) == 0) {
    state.SkipWithError("converter not created");
    return;
  }
  uint8_t* out = nullptr;
  for (auto _ : state) {
    if (Convert(*conv, op, src, &out) == 0) state.SkipWithError("conversion refused");
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  conv->FreeBuffers();
  conv->Release();
}

void BM_ChromixPath(benchmark::State& state, Op op, int w, int h, chromix::Path path) {
  const Source src(w, h);
  CYuvRgbConverter conv;
  if (!conv.SetPath(path) || conv.Create(w, h, Info(op).bpp) == 0) {
    state.SkipWithError("path not available");
    return;
  }
  uint8_t* out = nullptr;
  for (auto _ : state) {
    Convert(conv, op, src, &out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}

// RatioReporter with a second column, "vs_memcpy": the time of the group's
// "memcpy" row divided by each row's own, on the same clock.
class FloorReporter : public RatioReporter {
 public:
  FloorReporter() : RatioReporter("swscale", false) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> patched = runs;
    for (Run& r : patched) {
      const std::string& name = r.run_name.function_name;
      const size_t slash = name.rfind('/');
      if (slash == std::string::npos) continue;
      const std::string key = name.substr(0, slash) + "|" + r.aggregate_name;
      const double per_iter = r.iterations > 0 ? r.cpu_accumulated_time / static_cast<double>(r.iterations) : 0;
      if (name.compare(slash + 1, std::string::npos, "memcpy") == 0) floor_[key] = per_iter;
      const auto it = floor_.find(key);
      if (it != floor_.end() && per_iter > 0) r.counters["vs_memcpy"] = it->second / per_iter;
    }
    RatioReporter::ReportRuns(patched);
  }

 private:
  std::map<std::string, double> floor_;
};

}  // namespace

int main(int argc, char** argv) {
  const struct {
    int w, h;
  } sizes[] = {{720, 576}, {352, 288}};
  for (Op op : {Op::kYuy2, Op::kRgb24, Op::kRgb32, Op::kRgb565}) {
    for (const auto& s : sizes) {
      const std::string base = std::string(Info(op).name) + "/" + std::to_string(s.w) + "x" + std::to_string(s.h);
      benchmark::RegisterBenchmark((base + "/swscale").c_str(), BM_Swscale, op, s.w, s.h)
          ->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark((base + "/memcpy").c_str(), BM_Memcpy, op, s.w, s.h)
          ->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark((base + "/chromix").c_str(), BM_Chromix, op, s.w, s.h)
          ->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark((base + "/chromix_ssse3").c_str(), BM_ChromixPath, op, s.w, s.h,
                                   chromix::Path::kSsse3)
          ->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark((base + "/chromix_sse2").c_str(), BM_ChromixPath, op, s.w, s.h, chromix::Path::kSse2)
          ->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark((base + "/chromix_plain").c_str(), BM_ChromixPath, op, s.w, s.h,
                                   chromix::Path::kPlain)
          ->Unit(benchmark::kMicrosecond);
    }
  }
  // The reference and the floor of each group run before its other rows.
  benchmark::Initialize(&argc, argv);
  FloorReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
