// Every conversion on every path against the model of its equations, the
// listed colour and geometry cases, and the buffer rules.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "chromix/converter.h"
#include "chromix_model.h"

namespace {

using chromix::Path;
using chromix_test::Expected;
using chromix_test::Fmt;
using chromix_test::Picture;

int32_t ConvertWith(CYuvRgbConverter& c, Fmt f, const Picture& pic, uint8_t** out) {
  const YuvPlanes planes{pic.y.data(), pic.u.data(), pic.v.data()};
  switch (f) {
    case Fmt::kRgb565: return c.ToRgb565(pic.w, pic.h, &planes, out, pic.pitch);
    case Fmt::kRgb24: return c.ToRgb24(pic.w, pic.h, &planes, out, pic.pitch);
    case Fmt::kRgb32: return c.ToRgb32(pic.w, pic.h, &planes, out, pic.pitch);
    case Fmt::kYuy2: return c.ToYuy2(pic.w, pic.h, &planes, out, pic.pitch);
  }
  return 0;
}

class PathTest : public ::testing::TestWithParam<Path> {
 protected:
  void SetUp() override {
    if (!chromix::PathSupported(GetParam())) GTEST_SKIP() << "path not supported by this processor";
    ASSERT_TRUE(conv_.SetPath(GetParam()));
  }
  bool lanes() const { return GetParam() != Path::kPlain; }

  // Converts into a fresh buffer of exactly the picture's size and returns it.
  std::vector<uint8_t> Convert(Fmt f, const Picture& pic) {
    EXPECT_EQ(conv_.Create(pic.w, pic.h, chromix_test::BytesPerPixel(f)), 1);
    uint8_t* out = nullptr;
    EXPECT_EQ(ConvertWith(conv_, f, pic, &out), 1);
    uint8_t* buffer = nullptr;
    conv_.GetBuffer(&buffer);
    EXPECT_EQ(out, buffer);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(out) % 16, 0u);
    return std::vector<uint8_t>(out, out + conv_.buffer_size());
  }

  CYuvRgbConverter conv_;
};

// Widths around the vector steps (16 and 32 pixels) and odd ones, odd
// heights, and pitches equal to, one above and well above the width.
TEST_P(PathTest, EveryFormatMatchesItsEquationsOnRandomPlanes) {
  const int sizes[][2] = {{1, 2}, {2, 1}, {3, 3}, {15, 2}, {16, 4}, {17, 5}, {31, 2},
                          {32, 2}, {33, 7}, {47, 4}, {48, 2}, {63, 3}, {100, 6}, {721, 3}};
  uint32_t seed = 1;
  for (Fmt f : {Fmt::kRgb565, Fmt::kRgb24, Fmt::kRgb32, Fmt::kYuy2}) {
    for (const auto& s : sizes) {
      for (int extra : {0, 1, 32}) {
        const Picture pic(s[0], s[1], s[0] + extra, seed++);
        const bool lanes_eq = lanes() && f != Fmt::kYuy2;
        ASSERT_EQ(Convert(f, pic), Expected(f, lanes_eq, pic))
            << "format " << static_cast<int>(f) << " size " << s[0] << "x" << s[1] << " pitch " << pic.pitch;
      }
    }
  }
}

// A pitch equal to an odd width puts chroma rows (w - 1) / 2 samples apart:
// the last pixel of a row takes its own row's last sample, not the next
// row's first, and on the last row nothing past the plane.
TEST_P(PathTest, OddPitchKeepsChromaReadsInsideTheirRow) {
  const Picture pic(35, 4, 35, 9);
  ASSERT_EQ(pic.u.size(), 34u);  // two rows of 17 samples
  const auto yuy2 = Convert(Fmt::kYuy2, pic);
  EXPECT_EQ(yuy2[2 * 34 + 1], pic.u[16]);
  EXPECT_EQ(yuy2[2 * 35 * 2 + 2 * 34 + 1], pic.u[33]);
  Picture grey(35, 2, 35, 0);
  grey.Fill(128, 128, 128);
  grey.u[16] = grey.v[16] = 16;  // the last sample colours pixels 32 to 34 alike
  const auto rgb = Convert(Fmt::kRgb32, grey);
  for (int x = 33; x < 35; ++x)
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(rgb[4 * x + ch], rgb[4 * 32 + ch]) << x;
}

TEST_P(PathTest, GreyLevelsFollowTheRangeOfThePath) {
  Picture pic(40, 2, 40, 0);
  pic.Fill(16, 128, 128);
  for (Fmt f : {Fmt::kRgb24, Fmt::kRgb32}) {
    const auto out = Convert(f, pic);
    const int bpp = chromix_test::BytesPerPixel(f);
    for (int x = 0; x < 40; ++x)
      for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(out[bpp * x + ch], lanes() ? 0 : 16) << x;
  }
  EXPECT_EQ(Convert(Fmt::kRgb565, pic)[0], lanes() ? 0 : 0x82);  // plain: G 16 -> 4 << 5, B 16 -> 2
  pic.Fill(235, 128, 128);
  const auto white = Convert(Fmt::kRgb24, pic);
  for (uint8_t b : white) ASSERT_EQ(b, lanes() ? 255 : 235);
}

TEST_P(PathTest, Cif24BitIsBottomUpAndPackedWithoutPadding) {
  Picture pic(352, 288, 352, 7);
  for (int r = 0; r < 288; ++r) std::memset(&pic.y[r * 352], r % 200 + 20, 352);
  const auto out = Convert(Fmt::kRgb24, pic);
  ASSERT_EQ(out.size(), 304128u);
  const auto expected = Expected(Fmt::kRgb24, lanes(), pic);
  EXPECT_EQ(out, expected);
  // Output row 0 is the bottom source row: compare it with a one-row-pair
  // picture made of source rows 286 and 287.
  Picture bottom(352, 2, 352, 0);
  std::memcpy(bottom.y.data(), &pic.y[286 * 352], 2 * 352);
  std::memcpy(bottom.u.data(), &pic.u[143 * 176], 176);
  std::memcpy(bottom.v.data(), &pic.v[143 * 176], 176);
  const auto b = Expected(Fmt::kRgb24, lanes(), bottom);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 352 * 3, b.begin()));
}

TEST_P(PathTest, D1Yuy2WithWidePitchIsTopDown) {
  const Picture pic(720, 576, 752, 11);
  const auto out = Convert(Fmt::kYuy2, pic);
  ASSERT_EQ(out.size(), 829440u);
  EXPECT_EQ(out, Expected(Fmt::kYuy2, false, pic));
  EXPECT_EQ(out[0], pic.y[0]);
  EXPECT_EQ(out[1], pic.u[0]);
  EXPECT_EQ(out[3], pic.v[0]);
  EXPECT_EQ(out[1440], pic.y[752]);   // row 1 from source row 1
  EXPECT_EQ(out[1441], pic.u[0]);     // sharing chroma row 0
  EXPECT_EQ(out[2 * 1440 + 1], pic.u[376]);
  uint8_t* buffer = nullptr;
  conv_.GetBuffer(&buffer);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(buffer[829440 + i], 0) << "slack byte " << i;
}

std::string PathName(const ::testing::TestParamInfo<Path>& info) {
  const char* names[] = {"Plain", "Sse2", "Ssse3", "Avx2"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Paths, PathTest, ::testing::Values(Path::kPlain, Path::kSse2, Path::kSsse3, Path::kAvx2),
                         PathName);

// A path is offered only when the processor has what it needs; a build
// without the x86 paths reports no processor feature and offers the plain
// path alone, and a converter refuses a path that is not offered.
TEST(ConverterPaths, OfferedPathsFollowTheFlagsAndTheBuild) {
  const CpuFlags& f = CMMXSupport::Flags();
  EXPECT_EQ(f.detected, 1);
  if (!CHROMIX_X86_PATHS) {
    EXPECT_EQ(f.mmx | f.sse | f.sse2 | f.ssse3 | f.mmx_ext | f.amd_3dnow | f.amd_3dnow_ext | f.avx2, 0);
  }
  EXPECT_EQ(chromix::PathSupported(Path::kSse2), CHROMIX_X86_PATHS && f.sse2);
  EXPECT_EQ(chromix::PathSupported(Path::kAvx2), CHROMIX_X86_PATHS && f.avx2 && f.ssse3);
  CYuvRgbConverter c;
  EXPECT_TRUE(chromix::PathSupported(c.path()));
  for (Path p : {Path::kPlain, Path::kSse2, Path::kSsse3, Path::kAvx2}) {
    EXPECT_EQ(c.SetPath(p), chromix::PathSupported(p));
  }
}

TEST(ConverterBuffer, ConversionsNeedABufferLargeEnough) {
  CYuvRgbConverter c;
  const Picture pic(32, 4, 32, 3);
  uint8_t* out = reinterpret_cast<uint8_t*>(&c);  // a sentinel that must stay
  uint8_t* const sentinel = out;
  uint8_t* buffer = sentinel;
  EXPECT_EQ(c.GetBuffer(&buffer), 0);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(c.GetBuffer(nullptr), 0);
  for (Fmt f : {Fmt::kRgb565, Fmt::kRgb24, Fmt::kRgb32, Fmt::kYuy2}) EXPECT_EQ(ConvertWith(c, f, pic, &out), 0);
  EXPECT_EQ(out, sentinel);

  ASSERT_EQ(c.Create(32, 4, 2), 1);
  EXPECT_EQ(c.buffer_size(), 256u);
  EXPECT_EQ(ConvertWith(c, Fmt::kRgb24, pic, &out), 0);  // needs 384 bytes
  EXPECT_EQ(ConvertWith(c, Fmt::kRgb32, pic, &out), 0);
  EXPECT_EQ(out, sentinel);
  c.GetBuffer(&buffer);
  EXPECT_TRUE(std::all_of(buffer, buffer + 256, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(ConvertWith(c, Fmt::kYuy2, pic, &out), 1);
  EXPECT_EQ(out, buffer);

  // Malformed calls write nothing either.
  const YuvPlanes planes{pic.y.data(), pic.u.data(), pic.v.data()};
  const YuvPlanes no_v{pic.y.data(), pic.u.data(), nullptr};
  EXPECT_EQ(c.ToYuy2(32, 4, &planes, &out, 31), 0);  // pitch below the width
  EXPECT_EQ(c.ToYuy2(32, 4, nullptr, &out, 32), 0);
  EXPECT_EQ(c.ToYuy2(32, 4, &no_v, &out, 32), 0);
  EXPECT_EQ(c.ToYuy2(32, 4, &planes, nullptr, 32), 0);
  EXPECT_EQ(c.ToYuy2(0, 4, &planes, &out, 32), 0);

  EXPECT_EQ(c.FreeBuffers(), 1);
  out = sentinel;
  EXPECT_EQ(ConvertWith(c, Fmt::kYuy2, pic, &out), 0);
  EXPECT_EQ(out, sentinel);
}

TEST(ConverterBuffer, CreateRefusesBadOrHugeSizesAndDropsTheOldBuffer) {
  CYuvRgbConverter c;
  uint8_t* buffer = nullptr;
  ASSERT_EQ(c.Create(752, 608, 2), 1);  // what the decoder asks for a D1 picture
  EXPECT_EQ(c.buffer_size(), 752u * 608 * 2);
  EXPECT_EQ(c.Create(1 << 16, 1 << 16, 4), 0);  // 16 GiB
  EXPECT_EQ(c.GetBuffer(&buffer), 0);
  EXPECT_EQ(c.buffer_size(), 0u);
  EXPECT_EQ(c.Create(INT_MAX, INT_MAX, INT_MAX), 0);
  EXPECT_EQ(c.Create(0, 10, 2), 0);
  EXPECT_EQ(c.Create(10, -1, 2), 0);
  EXPECT_EQ(c.Create(10, 10, 0), 0);
  EXPECT_EQ(c.Create(8192, 8192, 4), 1);  // exactly at the cap
  EXPECT_EQ(c.Create(8192, 8193, 4), 0);
}

}  // namespace
