// The SIMD paths: SSE2 and SSSE3 (16 pixels per step) and AVX2 (32 pixels
// per step). All compute the lane equations in signed 16-bit lanes:
//   y = mulhi(max(Y - 16, 0) * 8, Ky), u = (U - 128) * 8, v = (V - 128) * 8
//   R = clamp(y + mulhi(v, Kr))
//   G = clamp(y + (mulhi(u, Kgu) + mulhi(v, Kgv)))
//   B = clamp(y + mulhi(u, Kb))
// with saturating additions and clamp = clip negatives, saturate to 255
// (exactly what packus does). The chroma terms are computed once per row
// pair and serve both rows. Pixels left over after the last whole step go
// through the scalar form of the same equations, so every pixel of a row is
// converted identically whatever its position. The vector steps read chroma
// samples below width / 2 only, which every row holds; the last sample of an
// odd width is left to the scalar form, which keeps it inside its row.
#include "chromix/converter.h"

#if CHROMIX_X86_PATHS
#include <immintrin.h>

#define CHROMIX_SSE2 __attribute__((target("sse2")))
#define CHROMIX_AVX2 __attribute__((target("avx2")))

namespace chromix {
namespace {

// ---------------------------------------------------------------- SSE2

struct Sse2Consts {
  __m128i ky, kr, kgu, kgv, kb, c16, c128;
};

CHROMIX_SSE2 inline Sse2Consts MakeSse2Consts(const LaneCoeffs& k) {
  return {_mm_set1_epi16(k.ky),  _mm_set1_epi16(k.kr),  _mm_set1_epi16(k.kgu), _mm_set1_epi16(k.kgv),
          _mm_set1_epi16(k.kb),  _mm_set1_epi8(16),     _mm_set1_epi16(128)};
}

// Chroma terms of 8 chroma samples (16 pixels), each lane doubled so that
// lo covers pixels 0-7 and hi pixels 8-15.
struct Sse2Chroma {
  __m128i r_lo, r_hi, g_lo, g_hi, b_lo, b_hi;
};

CHROMIX_SSE2 inline Sse2Chroma ChromaSse2(const uint8_t* u, const uint8_t* v, const Sse2Consts& k) {
  const __m128i zero = _mm_setzero_si128();
  __m128i cu = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u)), zero);
  __m128i cv = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v)), zero);
  cu = _mm_slli_epi16(_mm_sub_epi16(cu, k.c128), 3);
  cv = _mm_slli_epi16(_mm_sub_epi16(cv, k.c128), 3);
  const __m128i r = _mm_mulhi_epi16(cv, k.kr);
  const __m128i g = _mm_adds_epi16(_mm_mulhi_epi16(cu, k.kgu), _mm_mulhi_epi16(cv, k.kgv));
  const __m128i b = _mm_mulhi_epi16(cu, k.kb);
  return {_mm_unpacklo_epi16(r, r), _mm_unpackhi_epi16(r, r), _mm_unpacklo_epi16(g, g),
          _mm_unpackhi_epi16(g, g), _mm_unpacklo_epi16(b, b), _mm_unpackhi_epi16(b, b)};
}

struct Sse2Rgb {
  __m128i r, g, b;  // 16 pixels, one byte each
};

CHROMIX_SSE2 inline Sse2Rgb RgbSse2(const uint8_t* y, const Sse2Chroma& c, const Sse2Consts& k) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i ys = _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)), k.c16);
  const __m128i yl = _mm_mulhi_epi16(_mm_slli_epi16(_mm_unpacklo_epi8(ys, zero), 3), k.ky);
  const __m128i yh = _mm_mulhi_epi16(_mm_slli_epi16(_mm_unpackhi_epi8(ys, zero), 3), k.ky);
  return {_mm_packus_epi16(_mm_adds_epi16(yl, c.r_lo), _mm_adds_epi16(yh, c.r_hi)),
          _mm_packus_epi16(_mm_adds_epi16(yl, c.g_lo), _mm_adds_epi16(yh, c.g_hi)),
          _mm_packus_epi16(_mm_adds_epi16(yl, c.b_lo), _mm_adds_epi16(yh, c.b_hi))};
}

CHROMIX_SSE2 inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// 5-6-5 from bytes: high byte RRRRRGGG, low byte GGGBBBBB.
CHROMIX_SSE2 inline void StoreRgb565Sse2(uint8_t* out, const Sse2Rgb& p) {
  const __m128i hi = _mm_or_si128(_mm_and_si128(p.r, _mm_set1_epi8(static_cast<char>(0xF8))),
                                  _mm_and_si128(_mm_srli_epi16(p.g, 5), _mm_set1_epi8(0x07)));
  const __m128i lo = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(p.g, 3), _mm_set1_epi8(static_cast<char>(0xE0))),
                                  _mm_and_si128(_mm_srli_epi16(p.b, 3), _mm_set1_epi8(0x1F)));
  Store(out, _mm_unpacklo_epi8(lo, hi));
  Store(out + 16, _mm_unpackhi_epi8(lo, hi));
}

CHROMIX_SSE2 inline void StoreRgb32Sse2(uint8_t* out, const Sse2Rgb& p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bg_lo = _mm_unpacklo_epi8(p.b, p.g), bg_hi = _mm_unpackhi_epi8(p.b, p.g);
  const __m128i rx_lo = _mm_unpacklo_epi8(p.r, zero), rx_hi = _mm_unpackhi_epi8(p.r, zero);
  Store(out, _mm_unpacklo_epi16(bg_lo, rx_lo));
  Store(out + 16, _mm_unpackhi_epi16(bg_lo, rx_lo));
  Store(out + 32, _mm_unpacklo_epi16(bg_hi, rx_hi));
  Store(out + 48, _mm_unpackhi_epi16(bg_hi, rx_hi));
}

// Four BGRX pixels squeezed to 12 bytes of BGR (the top 4 bytes zero).
CHROMIX_SSE2 inline __m128i Squeeze4(__m128i bgrx) {
  const __m128i low3 = _mm_set1_epi64x(0x0000000000FFFFFFLL);
  const __m128i next3 = _mm_set1_epi64x(0x0000FFFFFF000000LL);
  const __m128i q = _mm_or_si128(_mm_and_si128(bgrx, low3), _mm_and_si128(_mm_srli_epi64(bgrx, 8), next3));
  const __m128i lo_qword = _mm_set_epi64x(0, -1);
  return _mm_or_si128(_mm_and_si128(q, lo_qword), _mm_srli_si128(_mm_andnot_si128(lo_qword, q), 2));
}

CHROMIX_SSE2 inline void StoreRgb24Sse2(uint8_t* out, const Sse2Rgb& p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bg_lo = _mm_unpacklo_epi8(p.b, p.g), bg_hi = _mm_unpackhi_epi8(p.b, p.g);
  const __m128i rx_lo = _mm_unpacklo_epi8(p.r, zero), rx_hi = _mm_unpackhi_epi8(p.r, zero);
  const __m128i q0 = Squeeze4(_mm_unpacklo_epi16(bg_lo, rx_lo));
  const __m128i q1 = Squeeze4(_mm_unpackhi_epi16(bg_lo, rx_lo));
  const __m128i q2 = Squeeze4(_mm_unpacklo_epi16(bg_hi, rx_hi));
  const __m128i q3 = Squeeze4(_mm_unpackhi_epi16(bg_hi, rx_hi));
  Store(out, _mm_or_si128(q0, _mm_slli_si128(q1, 12)));
  Store(out + 16, _mm_or_si128(_mm_srli_si128(q1, 4), _mm_slli_si128(q2, 8)));
  Store(out + 32, _mm_or_si128(_mm_srli_si128(q2, 8), _mm_slli_si128(q3, 4)));
}

template <Format F>
CHROMIX_SSE2 void RgbRowsSse2(const Job& job) {
  constexpr int kBpp = F == Format::kRgb24 ? 3 : (F == Format::kRgb32 ? 4 : 2);
  const Sse2Consts k = MakeSse2Consts(F == Format::kRgb32 ? kCoeffsB : kCoeffsA);
  for (int pair = 0; pair < job.pairs; ++pair) {
    const uint8_t* y0 = job.y + 2 * pair * job.luma_pitch;
    const uint8_t* y1 = y0 + job.luma_pitch;
    const uint8_t* u = job.u + pair * job.chroma_pitch;
    const uint8_t* v = job.v + pair * job.chroma_pitch;
    uint8_t* o0 = job.out + 2 * pair * job.out_pitch;
    uint8_t* o1 = o0 + job.out_pitch;
    int x = 0;
    for (; x + 16 <= job.width; x += 16) {
      const Sse2Chroma c = ChromaSse2(u + x / 2, v + x / 2, k);
      const Sse2Rgb p0 = RgbSse2(y0 + x, c, k);
      const Sse2Rgb p1 = RgbSse2(y1 + x, c, k);
      if constexpr (F == Format::kRgb565) {
        StoreRgb565Sse2(o0 + x * kBpp, p0);
        StoreRgb565Sse2(o1 + x * kBpp, p1);
      } else if constexpr (F == Format::kRgb24) {
        StoreRgb24Sse2(o0 + x * kBpp, p0);
        StoreRgb24Sse2(o1 + x * kBpp, p1);
      } else {
        StoreRgb32Sse2(o0 + x * kBpp, p0);
        StoreRgb32Sse2(o1 + x * kBpp, p1);
      }
    }
    if (x < job.width) LanePixelRows(F, job, pair, x);
  }
}

// ---------------------------------------------------------------- SSSE3
// The SSE2 path with one difference: the 24-bit pixels are packed with byte
// shuffles instead of shifts and masks, which is more than twice as fast.

// Masks that gather, for each 16-byte third of the 48 BGR bytes of 16
// pixels, the bytes taken from the B, G or R vector (-128 gives zero).
struct Bgr24Masks {
  alignas(32) int8_t m[3][3][32];  // [third][channel], repeated in both 16-byte lanes
  constexpr Bgr24Masks() : m{} {
    for (int third = 0; third < 3; ++third)
      for (int ch = 0; ch < 3; ++ch)
        for (int i = 0; i < 16; ++i) {
          const int j = 16 * third + i;
          m[third][ch][i] = m[third][ch][i + 16] = (j % 3 == ch) ? static_cast<int8_t>(j / 3) : int8_t{-128};
        }
  }
};
constexpr Bgr24Masks kBgr24Masks;

#define CHROMIX_SSSE3 __attribute__((target("ssse3")))

CHROMIX_SSSE3 inline __m128i Mask128(int third, int ch) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kBgr24Masks.m[third][ch]));
}

CHROMIX_SSSE3 inline void StoreRgb24Ssse3(uint8_t* out, const Sse2Rgb& p) {
  for (int third = 0; third < 3; ++third) {
    Store(out + 16 * third,
          _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(p.b, Mask128(third, 0)), _mm_shuffle_epi8(p.g, Mask128(third, 1))),
                       _mm_shuffle_epi8(p.r, Mask128(third, 2))));
  }
}

CHROMIX_SSSE3 void Rgb24RowsSsse3(const Job& job) {
  const Sse2Consts k = MakeSse2Consts(kCoeffsA);
  for (int pair = 0; pair < job.pairs; ++pair) {
    const uint8_t* y0 = job.y + 2 * pair * job.luma_pitch;
    const uint8_t* y1 = y0 + job.luma_pitch;
    const uint8_t* u = job.u + pair * job.chroma_pitch;
    const uint8_t* v = job.v + pair * job.chroma_pitch;
    uint8_t* o0 = job.out + 2 * pair * job.out_pitch;
    uint8_t* o1 = o0 + job.out_pitch;
    int x = 0;
    for (; x + 16 <= job.width; x += 16) {
      const Sse2Chroma c = ChromaSse2(u + x / 2, v + x / 2, k);
      StoreRgb24Ssse3(o0 + 3 * x, RgbSse2(y0 + x, c, k));
      StoreRgb24Ssse3(o1 + 3 * x, RgbSse2(y1 + x, c, k));
    }
    if (x < job.width) LanePixelRows(Format::kRgb24, job, pair, x);
  }
}

CHROMIX_SSE2 void Yuy2RowsSse2(const Job& job) {
  const int vector_end = job.width & ~15;
  for (int pair = 0; pair < job.pairs; ++pair) {
    const uint8_t* u = job.u + pair * job.chroma_pitch;
    const uint8_t* v = job.v + pair * job.chroma_pitch;
    for (int half = 0; half < 2; ++half) {
      const ptrdiff_t s = 2 * pair + half;
      const uint8_t* y = job.y + s * job.luma_pitch;
      uint8_t* o = job.out + s * job.out_pitch;
      for (int x = 0; x < vector_end; x += 16) {
        const __m128i uv = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2)));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        Store(o + 2 * x, _mm_unpacklo_epi8(l, uv));
        Store(o + 2 * x + 16, _mm_unpackhi_epi8(l, uv));
      }
    }
    if (vector_end < job.width) LanePixelRows(Format::kYuy2, job, pair, vector_end);
  }
}

// ---------------------------------------------------------------- AVX2
// Lane layout: the 16-bit halves of 32 pixels hold pixels [0-7 | 16-23] and
// [8-15 | 24-31], which is what in-lane unpacking of bytes gives and what
// doubling 16 chroma terms in-lane gives, so packus restores natural order.

struct Avx2Consts {
  __m256i ky, kr, kgu, kgv, kb, c16, c128;
};

CHROMIX_AVX2 inline Avx2Consts MakeAvx2Consts(const LaneCoeffs& k) {
  return {_mm256_set1_epi16(k.ky),  _mm256_set1_epi16(k.kr), _mm256_set1_epi16(k.kgu), _mm256_set1_epi16(k.kgv),
          _mm256_set1_epi16(k.kb),  _mm256_set1_epi8(16),    _mm256_set1_epi16(128)};
}

struct Avx2Chroma {
  __m256i r_lo, r_hi, g_lo, g_hi, b_lo, b_hi;
};

CHROMIX_AVX2 inline Avx2Chroma ChromaAvx2(const uint8_t* u, const uint8_t* v, const Avx2Consts& k) {
  __m256i cu = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u)));
  __m256i cv = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v)));
  cu = _mm256_slli_epi16(_mm256_sub_epi16(cu, k.c128), 3);
  cv = _mm256_slli_epi16(_mm256_sub_epi16(cv, k.c128), 3);
  const __m256i r = _mm256_mulhi_epi16(cv, k.kr);
  const __m256i g = _mm256_adds_epi16(_mm256_mulhi_epi16(cu, k.kgu), _mm256_mulhi_epi16(cv, k.kgv));
  const __m256i b = _mm256_mulhi_epi16(cu, k.kb);
  return {_mm256_unpacklo_epi16(r, r), _mm256_unpackhi_epi16(r, r), _mm256_unpacklo_epi16(g, g),
          _mm256_unpackhi_epi16(g, g), _mm256_unpacklo_epi16(b, b), _mm256_unpackhi_epi16(b, b)};
}

struct Avx2Rgb {
  __m256i r, g, b;  // 32 pixels in natural order, one byte each
};

CHROMIX_AVX2 inline Avx2Rgb RgbAvx2(const uint8_t* y, const Avx2Chroma& c, const Avx2Consts& k) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ys = _mm256_subs_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y)), k.c16);
  const __m256i yl = _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_unpacklo_epi8(ys, zero), 3), k.ky);
  const __m256i yh = _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_unpackhi_epi8(ys, zero), 3), k.ky);
  return {_mm256_packus_epi16(_mm256_adds_epi16(yl, c.r_lo), _mm256_adds_epi16(yh, c.r_hi)),
          _mm256_packus_epi16(_mm256_adds_epi16(yl, c.g_lo), _mm256_adds_epi16(yh, c.g_hi)),
          _mm256_packus_epi16(_mm256_adds_epi16(yl, c.b_lo), _mm256_adds_epi16(yh, c.b_hi))};
}

CHROMIX_AVX2 inline void Store(uint8_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

CHROMIX_AVX2 inline void StoreRgb565Avx2(uint8_t* out, const Avx2Rgb& p) {
  const __m256i hi = _mm256_or_si256(_mm256_and_si256(p.r, _mm256_set1_epi8(static_cast<char>(0xF8))),
                                     _mm256_and_si256(_mm256_srli_epi16(p.g, 5), _mm256_set1_epi8(0x07)));
  const __m256i lo =
      _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(p.g, 3), _mm256_set1_epi8(static_cast<char>(0xE0))),
                      _mm256_and_si256(_mm256_srli_epi16(p.b, 3), _mm256_set1_epi8(0x1F)));
  const __m256i a = _mm256_unpacklo_epi8(lo, hi), b = _mm256_unpackhi_epi8(lo, hi);
  Store(out, _mm256_permute2x128_si256(a, b, 0x20));
  Store(out + 32, _mm256_permute2x128_si256(a, b, 0x31));
}

CHROMIX_AVX2 inline void StoreRgb32Avx2(uint8_t* out, const Avx2Rgb& p) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i bg_lo = _mm256_unpacklo_epi8(p.b, p.g), bg_hi = _mm256_unpackhi_epi8(p.b, p.g);
  const __m256i rx_lo = _mm256_unpacklo_epi8(p.r, zero), rx_hi = _mm256_unpackhi_epi8(p.r, zero);
  const __m256i p0 = _mm256_unpacklo_epi16(bg_lo, rx_lo);  // pixels 0-3 | 16-19
  const __m256i p1 = _mm256_unpackhi_epi16(bg_lo, rx_lo);  // 4-7 | 20-23
  const __m256i p2 = _mm256_unpacklo_epi16(bg_hi, rx_hi);  // 8-11 | 24-27
  const __m256i p3 = _mm256_unpackhi_epi16(bg_hi, rx_hi);  // 12-15 | 28-31
  Store(out, _mm256_permute2x128_si256(p0, p1, 0x20));
  Store(out + 32, _mm256_permute2x128_si256(p2, p3, 0x20));
  Store(out + 64, _mm256_permute2x128_si256(p0, p1, 0x31));
  Store(out + 96, _mm256_permute2x128_si256(p2, p3, 0x31));
}

CHROMIX_AVX2 inline __m256i Mask256(int third, int ch) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(kBgr24Masks.m[third][ch]));
}

CHROMIX_AVX2 inline void StoreRgb24Avx2(uint8_t* out, const Avx2Rgb& p) {
  __m256i t[3];
  for (int third = 0; third < 3; ++third) {
    t[third] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(p.b, Mask256(third, 0)),
                                               _mm256_shuffle_epi8(p.g, Mask256(third, 1))),
                               _mm256_shuffle_epi8(p.r, Mask256(third, 2)));
  }
  // t[k] holds third k of pixels 0-15 in its low lane and of 16-31 in its high lane.
  Store(out, _mm256_permute2x128_si256(t[0], t[1], 0x20));
  Store(out + 32, _mm256_permute2x128_si256(t[2], t[0], 0x30));
  Store(out + 64, _mm256_permute2x128_si256(t[1], t[2], 0x31));
}

template <Format F>
CHROMIX_AVX2 void RgbRowsAvx2(const Job& job) {
  constexpr int kBpp = F == Format::kRgb24 ? 3 : (F == Format::kRgb32 ? 4 : 2);
  const Avx2Consts k = MakeAvx2Consts(F == Format::kRgb32 ? kCoeffsB : kCoeffsA);
  for (int pair = 0; pair < job.pairs; ++pair) {
    const uint8_t* y0 = job.y + 2 * pair * job.luma_pitch;
    const uint8_t* y1 = y0 + job.luma_pitch;
    const uint8_t* u = job.u + pair * job.chroma_pitch;
    const uint8_t* v = job.v + pair * job.chroma_pitch;
    uint8_t* o0 = job.out + 2 * pair * job.out_pitch;
    uint8_t* o1 = o0 + job.out_pitch;
    int x = 0;
    for (; x + 32 <= job.width; x += 32) {
      const Avx2Chroma c = ChromaAvx2(u + x / 2, v + x / 2, k);
      const Avx2Rgb p0 = RgbAvx2(y0 + x, c, k);
      const Avx2Rgb p1 = RgbAvx2(y1 + x, c, k);
      if constexpr (F == Format::kRgb565) {
        StoreRgb565Avx2(o0 + x * kBpp, p0);
        StoreRgb565Avx2(o1 + x * kBpp, p1);
      } else if constexpr (F == Format::kRgb24) {
        StoreRgb24Avx2(o0 + x * kBpp, p0);
        StoreRgb24Avx2(o1 + x * kBpp, p1);
      } else {
        StoreRgb32Avx2(o0 + x * kBpp, p0);
        StoreRgb32Avx2(o1 + x * kBpp, p1);
      }
    }
    if (x + 16 <= job.width) {
      // One SSE2 step of 16 pixels, then the scalar rest.
      const Sse2Consts k2 = MakeSse2Consts(F == Format::kRgb32 ? kCoeffsB : kCoeffsA);
      const Sse2Chroma c = ChromaSse2(u + x / 2, v + x / 2, k2);
      const Sse2Rgb p0 = RgbSse2(y0 + x, c, k2);
      const Sse2Rgb p1 = RgbSse2(y1 + x, c, k2);
      if constexpr (F == Format::kRgb565) {
        StoreRgb565Sse2(o0 + x * kBpp, p0);
        StoreRgb565Sse2(o1 + x * kBpp, p1);
      } else if constexpr (F == Format::kRgb24) {
        StoreRgb24Ssse3(o0 + x * kBpp, p0);
        StoreRgb24Ssse3(o1 + x * kBpp, p1);
      } else {
        StoreRgb32Sse2(o0 + x * kBpp, p0);
        StoreRgb32Sse2(o1 + x * kBpp, p1);
      }
      x += 16;
    }
    if (x < job.width) LanePixelRows(F, job, pair, x);
  }
}

CHROMIX_AVX2 void Yuy2RowsAvx2(const Job& job) {
  const int wide_end = job.width & ~31, vector_end = job.width & ~15;
  for (int pair = 0; pair < job.pairs; ++pair) {
    const uint8_t* u = job.u + pair * job.chroma_pitch;
    const uint8_t* v = job.v + pair * job.chroma_pitch;
    for (int half = 0; half < 2; ++half) {
      const ptrdiff_t s = 2 * pair + half;
      const uint8_t* y = job.y + s * job.luma_pitch;
      uint8_t* o = job.out + s * job.out_pitch;
      for (int x = 0; x < wide_end; x += 32) {
        const __m128i cu = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i cv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m256i uv = _mm256_set_m128i(_mm_unpackhi_epi8(cu, cv), _mm_unpacklo_epi8(cu, cv));
        const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + x));
        const __m256i a = _mm256_unpacklo_epi8(l, uv);  // pixels 0-7 | 16-23
        const __m256i b = _mm256_unpackhi_epi8(l, uv);  // 8-15 | 24-31
        Store(o + 2 * x, _mm256_permute2x128_si256(a, b, 0x20));
        Store(o + 2 * x + 32, _mm256_permute2x128_si256(a, b, 0x31));
      }
      if (wide_end < vector_end) {
        const int x = wide_end;
        const __m128i uv = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2)));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        Store(o + 2 * x, _mm_unpacklo_epi8(l, uv));
        Store(o + 2 * x + 16, _mm_unpackhi_epi8(l, uv));
      }
    }
    if (vector_end < job.width) LanePixelRows(Format::kYuy2, job, pair, vector_end);
  }
}

}  // namespace

void ConvertSse2(Format format, const Job& job) {
  switch (format) {
    case Format::kRgb565:
      return RgbRowsSse2<Format::kRgb565>(job);
    case Format::kRgb24:
      return RgbRowsSse2<Format::kRgb24>(job);
    case Format::kRgb32:
      return RgbRowsSse2<Format::kRgb32>(job);
    case Format::kYuy2:
      return Yuy2RowsSse2(job);
  }
}

void ConvertSsse3(Format format, const Job& job) {
  if (format == Format::kRgb24) return Rgb24RowsSsse3(job);
  ConvertSse2(format, job);
}

void ConvertAvx2(Format format, const Job& job) {
  switch (format) {
    case Format::kRgb565:
      return RgbRowsAvx2<Format::kRgb565>(job);
    case Format::kRgb24:
      return RgbRowsAvx2<Format::kRgb24>(job);
    case Format::kRgb32:
      return RgbRowsAvx2<Format::kRgb32>(job);
    case Format::kYuy2:
      return Yuy2RowsAvx2(job);
  }
}

}  // namespace chromix

#else  // no x86 intrinsics: PathSupported offers only the plain path

namespace chromix {
// Should a lane path be called anyway, the scalar form of its equations
// gives the output the vector code would.
namespace {
void LaneRows(Format format, const Job& job) {
  for (int pair = 0; pair < job.pairs; ++pair) LanePixelRows(format, job, pair, 0);
}
}  // namespace

void ConvertSse2(Format format, const Job& job) { LaneRows(format, job); }
void ConvertSsse3(Format format, const Job& job) { LaneRows(format, job); }
void ConvertAvx2(Format format, const Job& job) { LaneRows(format, job); }
}  // namespace chromix

#endif
