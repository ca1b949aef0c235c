// The comb filter: the SSE2 variant against its scalar model on random
// planes, hand-worked metric cases, and which rows and bytes are covered.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decode/comb_filter.h"

namespace {

std::vector<uint8_t> RandomPlane(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> p(n);
  for (auto& b : p) b = static_cast<uint8_t>(rng());
  return p;
}

// Lines alternate 0 (even) and 200 (odd): every covered odd byte is a comb.
std::vector<uint8_t> CombPlane(int stride, int height) {
  std::vector<uint8_t> p(static_cast<size_t>(stride) * height);
  for (int r = 0; r < height; ++r) std::fill_n(p.begin() + r * stride, stride, r % 2 ? 200 : 0);
  return p;
}

TEST(CombFilter, Sse2MatchesTheScalarModel) {
  struct Setting {
    int mode, weight, threshold;
  };
  // Large weights and negative thresholds exercise the 16-bit wrap-around.
  const Setting settings[] = {{1, 1, 73}, {0, 0, 0}, {1, 17, 73}, {1, 3000, -500}, {1, -7, 30000},
                              {2, 1, 73}, {2, 40000, -32768}, {2, 5, 200}};
  const int pitches[] = {7, 8, 9, 16, 23, 24, 31, 40, 360, 752};
  uint32_t seed = 0;
  for (const Setting& s : settings) {
    ASSERT_EQ(InitCombFilter(s.mode, s.weight, s.threshold), 0);
    for (int pitch : pitches) {
      for (int height : {2, 3, 4, 5, 6, 7, 48}) {
        const size_t bytes = static_cast<size_t>(pitch) * height * (s.mode == 2 ? 2 : 1);
        auto simd = RandomPlane(bytes, ++seed);
        // Smooth areas as well, so that both outcomes of the compare occur.
        for (size_t i = 0; i < bytes / 3; ++i) simd[i] = static_cast<uint8_t>(100 + i % 7);
        auto model = simd;
        ApplyCombFilter(pitch, height, simd.data());
        ApplyCombFilterScalar(pitch, height, model.data());
        ASSERT_EQ(simd, model) << "mode " << s.mode << " weight " << s.weight << " pitch " << pitch << " height "
                               << height;
      }
    }
  }
}

TEST(CombFilter, MetricCasesWorkedByHand) {
  ASSERT_EQ(InitCombFilter(1, 1, 73), 0);
  for (auto apply : {&ApplyCombFilter, &ApplyCombFilterScalar}) {
    // above 0, current 200, below 0: (0 - 100)(0 - 100) = 10000 > 73, so the
    // byte becomes (0 + 0 + 1) >> 1 = 0.
    auto comb = CombPlane(16, 4);
    apply(16, 4, comb.data());
    EXPECT_EQ(comb[16], 0);
    // A vertical ramp 10, 20, 30: (5 - 10)(15 - 10) - (100 >> 3) = -37, kept.
    std::vector<uint8_t> ramp(16 * 4, 30);
    std::fill_n(ramp.begin(), 16, 10);
    std::fill_n(ramp.begin() + 16, 16, 20);
    apply(16, 4, ramp.data());
    EXPECT_EQ(ramp[16], 20);
    // Rounding of the average: above 255, current 0, below 0 with weight 0:
    // metric 0 - 0 = 0 is not above 73, kept; with above 254, below 1 and
    // weight 17 the spread term (2016 x 17 = 34272) wraps to -31264 in 16
    // bits, so the metric is +31264 and the byte becomes (254 + 1 + 1) >> 1.
    ASSERT_EQ(InitCombFilter(1, 17, 73), 0);
    std::vector<uint8_t> wrap(16 * 4, 0);
    std::fill_n(wrap.begin(), 16, 254);
    std::fill_n(wrap.begin() + 32, 16, 1);
    apply(16, 4, wrap.data());
    EXPECT_EQ(wrap[16], 128);
    ASSERT_EQ(InitCombFilter(1, 1, 73), 0);
  }
}

TEST(CombFilter, RowsAndPlanarPitchCoverage) {
  ASSERT_EQ(InitCombFilter(0, 1, 73), 0);
  // Height 7: lines 1 and 3 are filtered; line 5 is past height - 3 and stays.
  // Pitch 23: whole 8-byte steps cover bytes 0-15; 16-22 stay.
  for (auto apply : {&ApplyCombFilter, &ApplyCombFilterScalar}) {
    auto p = CombPlane(23, 7);
    apply(23, 7, p.data());
    for (int r = 0; r < 7; ++r) {
      for (int x = 0; x < 23; ++x) {
        const bool filtered = (r == 1 || r == 3) && x < 16;
        ASSERT_EQ(p[r * 23 + x], r % 2 && !filtered ? 200 : 0) << "row " << r << " byte " << x;
      }
    }
    auto few = CombPlane(7, 8);  // a pitch below one step: nothing changes
    const auto before = few;
    apply(7, 8, few.data());
    EXPECT_EQ(few, before);
  }
}

TEST(CombFilter, PackedModeFiltersOnlyLumaInWholeSteps) {
  ASSERT_EQ(InitCombFilter(2, 1, 73), 0);
  // Pitch 13 pixels = 26 bytes: one 16-byte step covers pixels 0-7.
  for (auto apply : {&ApplyCombFilter, &ApplyCombFilterScalar}) {
    auto p = CombPlane(26, 4);
    apply(13, 4, p.data());
    for (int x = 0; x < 26; ++x) {
      const bool filtered = x % 2 == 0 && x < 16;
      ASSERT_EQ(p[26 + x], filtered ? 0 : 200) << "byte " << x;
    }
  }
  // A rejected mode changes nothing: the packed variant stays selected.
  EXPECT_EQ(InitCombFilter(3, 1, 73), 1);
  EXPECT_EQ(InitCombFilter(-1, 1, 73), 1);
  auto p = CombPlane(32, 4);
  ApplyCombFilter(16, 4, p.data());
  EXPECT_EQ(p[32], 0);
  EXPECT_EQ(p[33], 200);
  InitCombFilter(1, 1, 73);
}

#if defined(__x86_64__)
TEST(CombFilter, Sse2IsReportedOnX86_64) { EXPECT_EQ(DetectCpuFeatures() & kCpuFeatureSse2, kCpuFeatureSse2); }
#endif

}  // namespace
