#include "mediagen/mediagen.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>

#include "mediagen/reference.h"
#include "streaming/frame_header.h"
#include "zelvadec/zelvadec.h"

namespace mediagen {
namespace {

using mediagen_test::Psnr;
using mediagen_test::ReferenceDecoder;

bool HasStartCode(const uint8_t* d, size_t n, uint8_t lo, uint8_t hi) {
  for (size_t i = 0; i + 3 < n; ++i) {
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] >= lo && d[i + 3] <= hi) return true;
  }
  return false;
}

// platform code, size, PAL
class ClipFormat : public testing::TestWithParam<std::tuple<int, PictureSize, bool>> {};

// Headers, back-links, stamps and layout of every record, and the pictures
// FFmpeg decodes from the elementary stream against the rendered source.
TEST_P(ClipFormat, RecordsCarryCorrectHeadersAndDecodableData) {
  const auto [platform, size, pal] = GetParam();
  ClipRecipe recipe;
  recipe.platform_code = platform;
  recipe.size = size;
  recipe.pal = pal;
  recipe.channel_index = 5;
  recipe.frame_count = 6;
  recipe.gop = 4;
  recipe.bitrate_bps = 1'500'000;
  recipe.start_capture_time = 1'700'000'000;
  recipe.start_time_stamp = 1000;
  recipe.keep_source = true;
  const EncodedClip clip = GenerateClip(recipe);
  ASSERT_TRUE(clip.ok()) << clip.error;
  const Dimensions d = DimensionsOf(size, pal);
  ASSERT_EQ(clip.width, d.width);
  ASSERT_EQ(clip.height, d.height);
  ASSERT_EQ(clip.frames.size(), 6u);

  const int fps = pal ? 25 : 30;
  const uint32_t ticks = StampTicksPerSecond(platform);
  ReferenceDecoder reference(CodecForPlatform(platform));
  size_t expected_offset = 0;
  uint32_t previous_size = 0;
  for (size_t i = 0; i < clip.frames.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const ClipFrame& f = clip.frames[i];
    EXPECT_EQ(f.record_offset, expected_offset);
    expected_offset += f.record_size_bytes;

    streaming::FrameInfo info;
    ASSERT_TRUE(streaming::ParseFrameHeaderQuiet(clip.Record(i), f.record_size_bytes, &info));
    EXPECT_EQ(info.medium, streaming::kMediumVideo);
    EXPECT_EQ(info.channel_index, 5);
    EXPECT_EQ(info.record_size_bytes, f.record_size_bytes);
    EXPECT_EQ(info.back_link_bytes, previous_size);
    previous_size = info.record_size_bytes;
    EXPECT_EQ(info.picture_type, i % 4 == 0 ? 1 : 2);
    EXPECT_EQ(f.key, i % 4 == 0);
    EXPECT_EQ(info.resolution, ResolutionCodeOf(size));
    EXPECT_EQ(info.pal, pal ? 1 : 0);
    EXPECT_EQ(info.capture_time, 1'700'000'000u + i / fps);
    EXPECT_EQ(info.time_stamp, 1000u + static_cast<uint32_t>(i * ticks / fps));
    EXPECT_EQ(f.data_offset, DataOffsetForPlatform(platform));

    const uint8_t* data = clip.Data(i);
    if (platform == 162) {
      const uint8_t* desc = clip.Record(i) + streaming::kFrameHeaderSize;
      EXPECT_EQ(std::memcmp(desc, "ZVFD", 4), 0);
      const uint8_t* payload = desc + kZvFrameDescriptorBytes;
      EXPECT_EQ(payload[0], kZvReservedFill);
      EXPECT_EQ(std::memcmp(payload + kZvMarkerOffset, kZvMarkerBlock, kZvMarkerBytes), 0);
    }
    if (CodecForPlatform(platform) == Codec::kH264) {
      EXPECT_TRUE(data[0] == 0 && data[1] == 0 && (data[2] == 1 || (data[2] == 0 && data[3] == 1)));
    } else if (f.key) {
      // Every key frame starts the stream again: VOL (00 00 01 2x) and VOP.
      EXPECT_TRUE(HasStartCode(data, f.data_size_bytes, 0x20, 0x2F));
      EXPECT_TRUE(HasStartCode(data, f.data_size_bytes, 0xB6, 0xB6));
    }

    ASSERT_TRUE(reference.Decode(data, f.data_size_bytes));
    const AVFrame* pic = reference.frame();
    ASSERT_EQ(pic->width, d.width);
    ASSERT_EQ(pic->height, d.height);
    EXPECT_GT(Psnr(pic->data[0], pic->linesize[0], clip.SourceLuma(i), d.width, d.width, d.height), 30.0);
    const uint8_t* src_u = clip.SourceLuma(i) + static_cast<size_t>(d.width) * d.height;
    EXPECT_GT(Psnr(pic->data[1], pic->linesize[1], src_u, d.width / 2, d.width / 2, d.height / 2), 30.0);
  }
  EXPECT_EQ(expected_offset, clip.bytes.size());
}

INSTANTIATE_TEST_SUITE_P(EveryPlatformAndSize, ClipFormat,
                         testing::Combine(testing::Values(160, 161, 162, 163, 164),
                                          testing::Values(PictureSize::kD1, PictureSize::kHalfD1, PictureSize::kCif,
                                                          PictureSize::kQcif),
                                          testing::Bool()));

// What makes the pictures useful to look at and to test with: channels
// differ in colour, consecutive pictures differ (moving bar, counter), the
// same recipe gives the same bytes.
TEST(Clip, ContentDependsOnChannelAndTimeAndIsDeterministic) {
  ClipRecipe recipe;
  recipe.frame_count = 2;
  recipe.keep_source = true;
  const EncodedClip a = GenerateClip(recipe);
  const EncodedClip again = GenerateClip(recipe);
  recipe.channel_index = 1;
  const EncodedClip b = GenerateClip(recipe);
  ASSERT_TRUE(a.ok() && again.ok() && b.ok());
  EXPECT_EQ(a.bytes, again.bytes);

  const size_t luma = static_cast<size_t>(a.width) * a.height;
  const uint8_t* a0 = a.SourceLuma(0);
  EXPECT_NE(std::memcmp(a0, a.SourceLuma(1), luma), 0);
  // Channel colour fields differ in chroma over most of the picture.
  const uint8_t* ca = a0 + luma;
  const uint8_t* cb = b.SourceLuma(0) + luma;
  double diff = 0;
  for (size_t i = 0; i < luma / 2; ++i) diff += std::abs(ca[i] - cb[i]);
  EXPECT_GT(diff / (luma / 2), 20.0);
}

TEST(Clip, CameraLikeContentIsNoisyAndHitsTheBitRate) {
  ClipRecipe recipe;
  recipe.size = PictureSize::kCif;
  recipe.camera_like = true;
  recipe.frame_count = 25;
  recipe.gop = 25;
  recipe.bitrate_bps = 800'000;
  recipe.frame_rate = 25;
  recipe.keep_source = true;
  const EncodedClip clip = GenerateClip(recipe);
  ASSERT_TRUE(clip.ok()) << clip.error;
  // One second of video near the requested rate, not the few kilobytes a
  // flat synthetic picture needs.
  EXPECT_GT(clip.bytes.size() * 8, 400'000u);
  EXPECT_LT(clip.bytes.size() * 8, 1'600'000u);
  // Sensor noise: the same scene point differs between pictures even
  // where nothing moves, so consecutive pictures are never equal.
  EXPECT_LT(Psnr(clip.SourceLuma(0), clip.width, clip.SourceLuma(1), clip.width, clip.width, clip.height), 40.0);
}

TEST(Clip, RejectsRecipesThatCannotBeEncoded) {
  ClipRecipe recipe;
  recipe.frame_count = 0;
  EXPECT_FALSE(GenerateClip(recipe).ok());
  recipe.frame_count = 1;
  recipe.gop = 0;
  EXPECT_FALSE(GenerateClip(recipe).ok());
}

TEST(Records, AppendRefusesRecordsAboveTheLargestSizeAndRestampKeepsOtherFields) {
  std::vector<uint8_t> out;
  RecordFields f;
  f.platform_code = 162;
  std::vector<uint8_t> data(streaming::kMaxRecordSize - DataOffsetForPlatform(162) + 1, 0);
  EXPECT_EQ(AppendFrameRecord(&out, f, data.data(), data.size()), 0u);
  EXPECT_TRUE(out.empty());
  data.pop_back();
  EXPECT_EQ(AppendFrameRecord(&out, f, data.data(), data.size()), streaming::kMaxRecordSize);

  out.clear();
  f.platform_code = 163;
  f.channel_index = 9;
  f.key = false;
  f.resolution_code = 1;
  f.pal = true;
  f.capture_time = 10;
  f.time_stamp = 20;
  f.back_link_bytes = 30;
  const uint8_t payload[5] = {0, 0, 1, 0x65, 0x88};
  ASSERT_EQ(AppendFrameRecord(&out, f, payload, sizeof payload), 37u);
  RestampRecord(out.data(), 111, 222, 333);
  streaming::FrameInfo info;
  ASSERT_TRUE(streaming::ParseFrameHeaderQuiet(out.data(), out.size(), &info));
  EXPECT_EQ(info.capture_time, 111u);
  EXPECT_EQ(info.time_stamp, 222u);
  EXPECT_EQ(info.back_link_bytes, 333u);
  EXPECT_EQ(info.channel_index, 9);
  EXPECT_EQ(info.picture_type, 2);
  EXPECT_EQ(info.resolution, 1);
  EXPECT_EQ(info.pal, 1);
  EXPECT_EQ(info.record_size_bytes, 37u);
  EXPECT_EQ(std::memcmp(out.data() + 32, payload, sizeof payload), 0);
}

}  // namespace
}  // namespace mediagen
