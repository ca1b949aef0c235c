// The comb filter. For every byte of lines 1, 3, 5, ... (each with the even
// lines above and below it) the comb metric is computed in 16-bit lanes:
//   a = above >> 1, c = current >> 1, b = below >> 1
//   metric = (a - c) * (b - c) - (((a - b)^2 >> 3) * weight)
// with wrapping 16-bit products and differences (the low halves of the lane
// multiplications). Where metric > threshold (signed 16-bit compare) the byte
// becomes (above + below + 1) >> 1, else it stays. The SSE2 variant works on
// 16 bytes at a time but keeps the 8-byte step of the pitch coverage (16
// bytes for the packed layout); bytes after the last whole step are left
// alone. The scalar model computes the same lanes one at a time and serves
// processors without SSE2.
#include "decode/comb_filter.h"

#include <atomic>
#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <emmintrin.h>
#define TAVREL_COMB_SSE2 1
#endif

namespace {

// Process-wide settings. Every decoder writes the same values, so relaxed
// atomics are enough to keep concurrent writers and readers well defined.
std::atomic<int> g_mode{1};
std::atomic<int> g_weight{1};
std::atomic<int> g_threshold{73};

struct Settings {
  bool packed;
  int16_t weight;     // replicated into 16-bit lanes: the low 16 bits count
  int16_t threshold;
};

Settings Current() {
  return {g_mode.load(std::memory_order_relaxed) == 2, static_cast<int16_t>(g_weight.load(std::memory_order_relaxed)),
          static_cast<int16_t>(g_threshold.load(std::memory_order_relaxed))};
}

inline int16_t Wrap16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

inline uint8_t FilterByte(uint8_t above, uint8_t cur, uint8_t below, int16_t weight, int16_t threshold) {
  const int16_t a = above >> 1, c = cur >> 1, b = below >> 1;
  const int16_t cross = Wrap16(Wrap16(a - c) * Wrap16(b - c));
  const int16_t d = Wrap16(a - b);
  const int16_t spread = static_cast<int16_t>(static_cast<uint16_t>(Wrap16(d * d)) >> 3);
  const int16_t metric = Wrap16(cross - Wrap16(spread * weight));
  return metric > threshold ? static_cast<uint8_t>((above + below + 1) >> 1) : cur;
}

// Bytes of a line the filter covers and the distance between lines.
struct Coverage {
  ptrdiff_t stride;
  ptrdiff_t bytes;
  ptrdiff_t step;  // 1 for planar (every byte), 2 for packed (low bytes)
};

Coverage CoverageOf(const Settings& s, int pitch) {
  if (s.packed) {
    const ptrdiff_t stride = ptrdiff_t{pitch} * 2;
    return {stride, stride / 16 * 16, 2};
  }
  return {pitch, ptrdiff_t{pitch} / 8 * 8, 1};
}

void ApplyScalar(const Settings& s, int pitch, int height, uint8_t* plane) {
  const Coverage cov = CoverageOf(s, pitch);
  for (int line = 1; line + 2 < height; line += 2) {
    uint8_t* cur = plane + line * cov.stride;
    const uint8_t* above = cur - cov.stride;
    const uint8_t* below = cur + cov.stride;
    for (ptrdiff_t i = 0; i < cov.bytes; i += cov.step) cur[i] = FilterByte(above[i], cur[i], below[i], s.weight, s.threshold);
  }
}

#ifdef TAVREL_COMB_SSE2

// Lane mask (all ones where metric > threshold) for eight 16-bit lanes that
// already hold above >> 1, current >> 1 and below >> 1.
__attribute__((target("sse2"))) inline __m128i CombMask(__m128i a, __m128i c, __m128i b, __m128i weight,
                                                        __m128i threshold) {
  const __m128i cross = _mm_mullo_epi16(_mm_sub_epi16(a, c), _mm_sub_epi16(b, c));
  const __m128i d = _mm_sub_epi16(a, b);
  const __m128i spread = _mm_srli_epi16(_mm_mullo_epi16(d, d), 3);
  const __m128i metric = _mm_sub_epi16(cross, _mm_mullo_epi16(spread, weight));
  return _mm_cmpgt_epi16(metric, threshold);
}

// 16 planar bytes (after an 8-byte load only the low 8 are stored).
__attribute__((target("sse2"))) inline __m128i PlanarStep(__m128i above, __m128i cur, __m128i below, __m128i weight,
                                                          __m128i threshold) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i m_lo = CombMask(_mm_srli_epi16(_mm_unpacklo_epi8(above, zero), 1),
                                _mm_srli_epi16(_mm_unpacklo_epi8(cur, zero), 1),
                                _mm_srli_epi16(_mm_unpacklo_epi8(below, zero), 1), weight, threshold);
  const __m128i m_hi = CombMask(_mm_srli_epi16(_mm_unpackhi_epi8(above, zero), 1),
                                _mm_srli_epi16(_mm_unpackhi_epi8(cur, zero), 1),
                                _mm_srli_epi16(_mm_unpackhi_epi8(below, zero), 1), weight, threshold);
  const __m128i mask = _mm_packs_epi16(m_lo, m_hi);
  const __m128i avg = _mm_avg_epu8(above, below);
  return _mm_or_si128(_mm_and_si128(mask, avg), _mm_andnot_si128(mask, cur));
}

__attribute__((target("sse2"))) void ApplySse2(const Settings& s, int pitch, int height, uint8_t* plane) {
  const Coverage cov = CoverageOf(s, pitch);
  const __m128i weight = _mm_set1_epi16(s.weight);
  const __m128i threshold = _mm_set1_epi16(s.threshold);
  const __m128i low_bytes = _mm_set1_epi16(0x00FF);
  for (int line = 1; line + 2 < height; line += 2) {
    uint8_t* cur = plane + line * cov.stride;
    const uint8_t* above = cur - cov.stride;
    const uint8_t* below = cur + cov.stride;
    ptrdiff_t i = 0;
    if (s.packed) {
      for (; i < cov.bytes; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i));
        const __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + i));
        const __m128i mask =
            _mm_and_si128(low_bytes, CombMask(_mm_srli_epi16(_mm_and_si128(va, low_bytes), 1),
                                              _mm_srli_epi16(_mm_and_si128(vc, low_bytes), 1),
                                              _mm_srli_epi16(_mm_and_si128(vb, low_bytes), 1), weight, threshold));
        const __m128i avg = _mm_avg_epu8(va, vb);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cur + i),
                         _mm_or_si128(_mm_and_si128(mask, avg), _mm_andnot_si128(mask, vc)));
      }
      continue;
    }
    for (; i + 16 <= cov.bytes; i += 16) {
      const __m128i r = PlanarStep(_mm_loadu_si128(reinterpret_cast<const __m128i*>(above + i)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + i)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + i)), weight, threshold);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cur + i), r);
    }
    if (i < cov.bytes) {  // one 8-byte step left
      const __m128i r = PlanarStep(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(above + i)),
                                   _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cur + i)),
                                   _mm_loadl_epi64(reinterpret_cast<const __m128i*>(below + i)), weight, threshold);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(cur + i), r);
    }
  }
}

#endif

}  // namespace

uint32_t DetectCpuFeatures() {
  static const uint32_t features = [] {
    uint32_t f = 0;
#ifdef TAVREL_COMB_SSE2
    unsigned a, b, c, d;
    if (__get_cpuid(1, &a, &b, &c, &d) != 0 && ((d >> 26) & 1) != 0) f |= kCpuFeatureSse2;
#endif
    return f;
  }();
  return features;
}

int InitCombFilter(int mode, int weight, int threshold) {
  if (mode < 0 || mode > 2) return 1;
  g_mode.store(mode, std::memory_order_relaxed);
  g_weight.store(weight, std::memory_order_relaxed);
  g_threshold.store(threshold, std::memory_order_relaxed);
  return 0;
}

void ApplyCombFilter(int pitch, int height, uint8_t* plane) {
  if (plane == nullptr || pitch <= 0 || height < 4) return;
#ifdef TAVREL_COMB_SSE2
  if ((DetectCpuFeatures() & kCpuFeatureSse2) != 0) {
    ApplySse2(Current(), pitch, height, plane);
    return;
  }
#endif
  ApplyScalar(Current(), pitch, height, plane);
}

void ApplyCombFilterScalar(int pitch, int height, uint8_t* plane) {
  if (plane == nullptr || pitch <= 0 || height < 4) return;
  ApplyScalar(Current(), pitch, height, plane);
}
