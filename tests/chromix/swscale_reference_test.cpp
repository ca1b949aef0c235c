// The benchmark's reference for ToYuy2 does the same work: libswscale as the
// benchmark sets it up gives ToYuy2's bytes on every path, for the sizes and
// the luma pitch (width + 32) the benchmark uses.
#include <gtest/gtest.h>

#include "chromix/converter.h"
#include "chromix_bench_reference.h"
#include "chromix_model.h"

namespace {

using chromix::Path;

TEST(SwscaleReference, PointSampledYuy2GivesTheBytesOfToYuy2) {
  for (const auto& [w, h] : {std::pair{720, 576}, {352, 288}}) {
    const chromix_test::Picture pic(w, h, w + 32, 42);
    SwsContext* ctx = MakeYuy2Reference(w, h);
    ASSERT_NE(ctx, nullptr);
    std::vector<uint8_t> reference(static_cast<size_t>(w) * h * 2);
    const uint8_t* const in[3] = {pic.y.data(), pic.u.data(), pic.v.data()};
    const int in_strides[3] = {pic.pitch, pic.pitch / 2, pic.pitch / 2};
    uint8_t* const out[1] = {reference.data()};
    const int out_strides[1] = {2 * w};
    ASSERT_EQ(sws_scale(ctx, in, in_strides, 0, h, out, out_strides), h);
    sws_freeContext(ctx);

    for (Path path : {Path::kPlain, Path::kSse2, Path::kSsse3, Path::kAvx2}) {
      CYuvRgbConverter conv;
      if (!conv.SetPath(path)) continue;
      ASSERT_EQ(conv.Create(w, h, 2), 1);
      const YuvPlanes planes{pic.y.data(), pic.u.data(), pic.v.data()};
      uint8_t* ours = nullptr;
      ASSERT_EQ(conv.ToYuy2(w, h, &planes, &ours, pic.pitch), 1);
      EXPECT_TRUE(std::equal(reference.begin(), reference.end(), ours))
          << w << "x" << h << " path " << static_cast<int>(path);
    }
  }
}

}  // namespace
