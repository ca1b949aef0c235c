// Processor detection, the plain (full-range JFIF) path, the scalar form of
// the lane equations and the buffer-owning converter.
#include "chromix/converter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#if CHROMIX_X86_PATHS
#include <cpuid.h>
#endif

namespace {

CpuFlags DetectCpuFlags() {
  CpuFlags f;
  f.detected = 1;
#if CHROMIX_X86_PATHS
  unsigned a, b, c, d;
  if (__get_cpuid(0, &a, &b, &c, &d) == 0) return f;
  const unsigned max_leaf = a;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return f;
  f.mmx = (d >> 23) & 1;
  f.sse = (d >> 25) & 1;
  f.sse2 = (d >> 26) & 1;
  f.ssse3 = (c >> 9) & 1;
  const bool osxsave = (c >> 27) & 1;
  const bool avx = (c >> 28) & 1;
  if (__get_cpuid(0x80000000, &a, &b, &c, &d) != 0 && a >= 0x80000001 &&
      __get_cpuid(0x80000001, &a, &b, &c, &d) != 0) {
    f.amd_3dnow = (d >> 31) & 1;
    f.amd_3dnow_ext = (d >> 30) & 1;
    f.mmx_ext = (d >> 22) & 1;
  }
  if (f.sse) f.mmx_ext = 1;
  if (max_leaf >= 7 && osxsave && avx) {
    // The 256-bit registers are usable only when the system saves them
    // (XCR0 bits 1 and 2).
    unsigned xcr0_lo, xcr0_hi;
    __asm__ volatile("xgetbv" : "=a"(xcr0_lo), "=d"(xcr0_hi) : "c"(0));
    if ((xcr0_lo & 6) == 6 && __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) f.avx2 = (b >> 5) & 1;
  }
#endif
  return f;
}

// Plain-path tables: JFIF coefficients 1.40200, 1.77200, -0.71414 and
// -0.34414 scaled by 65536 and centred on 128. The green terms stay
// unshifted; the rounding half (32768) is folded into the Cb->G table.
struct PlainTables {
  int32_t cr_r[256], cb_b[256], cr_g[256], cb_g[256];
  PlainTables() {
    for (int32_t i = 0; i < 256; ++i) {
      cr_r[i] = (91881 * i - 11728000) >> 16;
      cb_b[i] = (116130 * i - 14831872) >> 16;
      cr_g[i] = 5990656 - 46802 * i;
      cb_g[i] = 2919680 - 22554 * i;
    }
  }
};

const PlainTables& Tables() {
  static const PlainTables tables;
  return tables;
}

inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline void PutPixel(chromix::Format format, uint8_t* row, int x, uint8_t r, uint8_t g, uint8_t b) {
  switch (format) {
    case chromix::Format::kRgb565: {
      const uint16_t p = static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
      row[2 * x] = static_cast<uint8_t>(p);
      row[2 * x + 1] = static_cast<uint8_t>(p >> 8);
      break;
    }
    case chromix::Format::kRgb24:
      row[3 * x] = b;
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
      break;
    case chromix::Format::kRgb32:  // X is 0 on every path, whatever the buffer held
      row[4 * x] = b;
      row[4 * x + 1] = g;
      row[4 * x + 2] = r;
      row[4 * x + 3] = 0;
      break;
    case chromix::Format::kYuy2:
      break;
  }
}

// YUY2 bytes of pixel x: its luma, then U for an even x and V for an odd x
// (a trailing odd pixel thus carries U only).
inline void PutYuy2(uint8_t* row, int x, uint8_t y, uint8_t u, uint8_t v) {
  row[2 * x] = y;
  row[2 * x + 1] = (x & 1) ? v : u;
}

inline int16_t SatAdd16(int32_t a, int32_t b) {
  return static_cast<int16_t>(std::clamp(a + b, -32768, 32767));
}
inline int16_t MulHi(int32_t a, int32_t k) { return static_cast<int16_t>((a * k) >> 16); }

}  // namespace

CMMXSupport::CMMXSupport() { (void)Flags(); }

const CpuFlags& CMMXSupport::Flags() {
  static const CpuFlags flags = DetectCpuFlags();
  return flags;
}

namespace chromix {

bool PathSupported(Path path) {
#if CHROMIX_X86_PATHS
  const CpuFlags& f = CMMXSupport::Flags();
  switch (path) {
    case Path::kPlain:
      return true;
    case Path::kSse2:
      return f.sse2 != 0;
    case Path::kSsse3:
      return f.sse2 != 0 && f.ssse3 != 0;
    case Path::kAvx2:
      return f.avx2 != 0 && f.ssse3 != 0;
  }
  return false;
#else
  return path == Path::kPlain;
#endif
}

Path DefaultPath() {
  if (PathSupported(Path::kAvx2)) return Path::kAvx2;
  if (PathSupported(Path::kSsse3)) return Path::kSsse3;
  if (PathSupported(Path::kSse2)) return Path::kSse2;
  return Path::kPlain;
}

void ConvertPlain(Format format, const Job& job) {
  const PlainTables& t = Tables();
  // Pixel pairs 2i, 2i + 1 share chroma sample i, which every row holds for
  // i < width / 2; the last pixel of an odd width takes the row's last sample.
  const int pairs_x = job.width / 2;
  const int odd_c = job.chroma_width - 1;
  for (int pair = 0; pair < job.pairs; ++pair) {
    const uint8_t* u = job.u + pair * job.chroma_pitch;
    const uint8_t* v = job.v + pair * job.chroma_pitch;
    for (int half = 0; half < 2; ++half) {
      const ptrdiff_t s = 2 * pair + half;
      const uint8_t* y = job.y + s * job.luma_pitch;
      uint8_t* out = job.out + s * job.out_pitch;
      if (format == Format::kYuy2) {
        for (int i = 0; i < pairs_x; ++i) {
          out[4 * i] = y[2 * i];
          out[4 * i + 1] = u[i];
          out[4 * i + 2] = y[2 * i + 1];
          out[4 * i + 3] = v[i];
        }
        if (job.width & 1) PutYuy2(out, job.width - 1, y[job.width - 1], u[odd_c], v[odd_c]);
        continue;
      }
      auto put = [&](int x, int c) {
        const int32_t l = y[x], cr_r = t.cr_r[v[c]], cb_b = t.cb_b[u[c]];
        const int32_t g = (t.cb_g[u[c]] + t.cr_g[v[c]]) >> 16;
        PutPixel(format, out, x, Clamp255(l + cr_r), Clamp255(l + g), Clamp255(l + cb_b));
      };
      for (int i = 0; i < pairs_x; ++i) {
        put(2 * i, i);
        put(2 * i + 1, i);
      }
      if (job.width & 1) put(job.width - 1, odd_c);
    }
  }
}

void LanePixelRows(Format format, const Job& job, int pair, int x_begin) {
  const LaneCoeffs& k = format == Format::kRgb32 ? kCoeffsB : kCoeffsA;
  const int last_c = job.chroma_width - 1;
  const uint8_t* u = job.u + pair * job.chroma_pitch;
  const uint8_t* v = job.v + pair * job.chroma_pitch;
  for (int half = 0; half < 2; ++half) {
    const ptrdiff_t s = 2 * pair + half;
    const uint8_t* y = job.y + s * job.luma_pitch;
    uint8_t* out = job.out + s * job.out_pitch;
    for (int x = x_begin; x < job.width; ++x) {
      const int c = std::min(x / 2, last_c);
      if (format == Format::kYuy2) {
        PutYuy2(out, x, y[x], u[c], v[c]);
        continue;
      }
      const int32_t yl = MulHi(std::max(y[x] - 16, 0) * 8, k.ky);
      const int32_t ul = (u[c] - 128) * 8, vl = (v[c] - 128) * 8;
      const int32_t r = SatAdd16(yl, MulHi(vl, k.kr));
      const int32_t g = SatAdd16(yl, SatAdd16(MulHi(ul, k.kgu), MulHi(vl, k.kgv)));
      const int32_t b = SatAdd16(yl, MulHi(ul, k.kb));
      PutPixel(format, out, x, Clamp255(r), Clamp255(g), Clamp255(b));
    }
  }
}

}  // namespace chromix

CYuvRgbConverter::CYuvRgbConverter() : path_(chromix::DefaultPath()) { (void)Tables(); }

CYuvRgbConverter::~CYuvRgbConverter() { FreeBuffers(); }

int32_t CYuvRgbConverter::Create(int32_t width, int32_t height, int32_t bytes_per_pixel) {
  FreeBuffers();
  if (width <= 0 || height <= 0 || bytes_per_pixel <= 0) return 0;
  // Sizes in 64 bits: width x height cannot overflow, and the cap is checked
  // before the multiplication by the bytes per pixel.
  const int64_t pixels = int64_t{width} * height;
  if (pixels > chromix::kMaxBufferBytes / bytes_per_pixel) return 0;
  const int64_t size = pixels * bytes_per_pixel;
  // 16 bytes of slack as before, rounded up to the 64-byte alignment so that
  // whole cache lines belong to the buffer.
  const size_t alloc = (static_cast<size_t>(size) + 16 + 63) & ~size_t{63};
  auto* p = static_cast<uint8_t*>(std::aligned_alloc(64, alloc));
  if (p == nullptr) return 0;
  std::memset(p, 0, alloc);
  buffer_ = p;
  size_ = static_cast<size_t>(size);
  return 1;
}

int32_t CYuvRgbConverter::FreeBuffers() {
  std::free(buffer_);
  buffer_ = nullptr;
  size_ = 0;
  return 1;
}

int32_t CYuvRgbConverter::GetBuffer(uint8_t** buffer) const {
  if (buffer == nullptr) return 0;
  *buffer = buffer_;
  return buffer_ != nullptr ? 1 : 0;
}

bool CYuvRgbConverter::SetPath(chromix::Path path) {
  if (!chromix::PathSupported(path)) return false;
  path_ = path;
  return true;
}

int32_t CYuvRgbConverter::ToRgb565(int32_t w, int32_t h, const YuvPlanes* p, uint8_t** out, int32_t pitch) {
  return Convert(chromix::Format::kRgb565, w, h, p, out, pitch);
}
int32_t CYuvRgbConverter::ToRgb24(int32_t w, int32_t h, const YuvPlanes* p, uint8_t** out, int32_t pitch) {
  return Convert(chromix::Format::kRgb24, w, h, p, out, pitch);
}
int32_t CYuvRgbConverter::ToRgb32(int32_t w, int32_t h, const YuvPlanes* p, uint8_t** out, int32_t pitch) {
  return Convert(chromix::Format::kRgb32, w, h, p, out, pitch);
}
int32_t CYuvRgbConverter::ToYuy2(int32_t w, int32_t h, const YuvPlanes* p, uint8_t** out, int32_t pitch) {
  return Convert(chromix::Format::kYuy2, w, h, p, out, pitch);
}

int32_t CYuvRgbConverter::Convert(chromix::Format format, int32_t width, int32_t height, const YuvPlanes* planes,
                                  uint8_t** out, int32_t luma_pitch) {
  using chromix::Format;
  const int bpp = format == Format::kRgb24 ? 3 : (format == Format::kRgb32 ? 4 : 2);
  if (buffer_ == nullptr || out == nullptr || planes == nullptr || planes->y == nullptr || planes->u == nullptr ||
      planes->v == nullptr || width <= 0 || height <= 0 || luma_pitch < width)
    return 0;
  if (int64_t{width} * height > static_cast<int64_t>(size_ / bpp)) return 0;

  const ptrdiff_t out_pitch = ptrdiff_t{width} * bpp;
  chromix::Job job;
  job.y = planes->y;
  job.u = planes->u;
  job.v = planes->v;
  job.luma_pitch = luma_pitch;
  job.chroma_pitch = luma_pitch / 2;
  job.width = width;
  job.pairs = height / 2;  // an odd height leaves its last source row unconverted
  job.chroma_width = chromix::ChromaWidth(width, job.chroma_pitch);
  if (format == Format::kYuy2) {
    job.out = buffer_;
    job.out_pitch = out_pitch;
  } else {
    // Bottom-up: source row s lands in output row height - 1 - s.
    job.out = buffer_ + (height - 1) * out_pitch;
    job.out_pitch = -out_pitch;
  }
  switch (path_) {
    case chromix::Path::kAvx2:
      chromix::ConvertAvx2(format, job);
      break;
    case chromix::Path::kSsse3:
      chromix::ConvertSsse3(format, job);
      break;
    case chromix::Path::kSse2:
      chromix::ConvertSse2(format, job);
      break;
    case chromix::Path::kPlain:
      chromix::ConvertPlain(format, job);
      break;
  }
  *out = buffer_;
  return 1;
}
