// libchromix's four conversions against libswscale doing the same conversion
// at the same size in the same run: yuv420p to yuyv422, bgr24, bgra and
// rgb565le. The RGB outputs of libchromix are bottom-up, so swscale writes
// its RGB output flipped through a negative destination stride.
//
// Rows are named <operation>/<size>/<who>. "chromix" is the shared library
// through CreateConverterYH, on the path it picks for this processor;
// "chromix_ssse3", "chromix_sse2" and "chromix_plain" force a path through chromix_core. The
// ratio counter is swscale's processor time per picture divided by the row's
// own.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "chromix/chromix.h"
#include "ratio_reporter.h"
#include "chromix/converter.h"

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
  SwsContext* ctx = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, info.sws_format, SWS_BILINEAR, nullptr, nullptr,
                                   nullptr);
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
  return RunWithRatios(argc, argv, "swscale");
}
