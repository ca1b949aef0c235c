#include "decode/video_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "decode/h264_decoder.h"
#include "decode/h264_dll_decoder.h"
#include "decode/mpeg4_decoder.h"
#include "mediagen/mediagen.h"
#include "mediagen/reference.h"
#include "platform/notice.h"
#include "streaming/frame_header.h"

namespace {

using mediagen::ClipRecipe;
using mediagen::EncodedClip;
using mediagen::PictureSize;
using mediagen_test::Yuy2CbPsnr;
using mediagen_test::Yuy2LumaPsnr;

constexpr double kMinPsnrDb = 30.0;

EncodedClip Generate(int platform, PictureSize size, bool pal, int frames, int gop, bool artifact = false) {
  ClipRecipe recipe;
  recipe.platform_code = platform;
  recipe.size = size;
  recipe.pal = pal;
  recipe.frame_count = frames;
  recipe.gop = gop;
  recipe.bitrate_bps = 2'000'000;
  recipe.interlace_artifact = artifact;
  recipe.keep_source = true;
  EncodedClip clip = mediagen::GenerateClip(recipe);
  EXPECT_TRUE(clip.ok()) << clip.error;
  return clip;
}

DecodedPicture* DecodeFrame(CVideoDecoder* dec, const EncodedClip& clip, size_t i) {
  return dec->Decode(clip.Record(i), static_cast<uint32_t>(clip.frames[i].record_size_bytes), 0);
}

void ExpectCloseToSource(const DecodedPicture* pic, const EncodedClip& clip, size_t i) {
  ASSERT_NE(pic, nullptr);
  ASSERT_EQ(pic->width, clip.width);
  ASSERT_EQ(pic->height, clip.height);
  EXPECT_GT(Yuy2LumaPsnr(pic->buffer, clip.SourceLuma(i), clip.width, clip.height), kMinPsnrDb);
  EXPECT_GT(Yuy2CbPsnr(pic->buffer, clip.SourceLuma(i), clip.width, clip.height), kMinPsnrDb);
}

// Mean |line - average of its neighbours| over the odd lines of the box
// the generator draws with interlace_artifact.
double CombEnergy(const DecodedPicture* pic) {
  const int w = pic->width, h = pic->height;
  const int x0 = (w / 8) & ~1, y0 = (h / 8) & ~1, bw = (w / 4) & ~1, bh = (h / 4) & ~1;
  double sum = 0;
  int n = 0;
  for (int y = y0 + 1; y < y0 + bh - 1; y += 2) {
    for (int x = x0 + 4; x < x0 + bw - 4; ++x) {
      auto luma = [&](int yy) { return double(pic->buffer[(static_cast<size_t>(yy) * w + x) * 2]); };
      sum += std::abs(luma(y) - (luma(y - 1) + luma(y + 1)) / 2);
      ++n;
    }
  }
  return sum / n;
}

class Silence : public testing::Test {
 protected:
  void SetUp() override {
    av_log_set_level(AV_LOG_QUIET);  // damaged input makes libavcodec talk
    platform::SetNoticeSink(&notices_);
  }
  void TearDown() override {
    platform::SetNoticeSink(nullptr);
    EXPECT_TRUE(notices_.Texts().empty());
  }
  platform::RecordingNoticeSink notices_;
};

// platform code, size, PAL
class EveryFormat : public Silence, public testing::WithParamInterface<std::tuple<int, PictureSize, bool>> {};

TEST_P(EveryFormat, EachRecordYieldsItsPictureCloseToTheSource) {
  const auto [platform, size, pal] = GetParam();
  const EncodedClip clip = Generate(platform, size, pal, 5, 3);
  auto dec = CreateDecoderForPlatform(platform);
  for (size_t i = 0; i < clip.frames.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    ExpectCloseToSource(DecodeFrame(dec.get(), clip, i), clip, i);
  }
  EXPECT_EQ(dec->GetPicture()->width, clip.width);
  EXPECT_EQ(dec->GetFlag(), 0);
}

INSTANTIATE_TEST_SUITE_P(Decoders, EveryFormat,
                         testing::Combine(testing::Values(160, 161, 162, 163, 164),
                                          testing::Values(PictureSize::kD1, PictureSize::kHalfD1, PictureSize::kCif,
                                                          PictureSize::kQcif),
                                          testing::Bool()));

TEST(CreateDecoderForPlatform, ChoosesTheDecoderByPlatformCode) {
  EXPECT_NE(dynamic_cast<CH264DllDecoder*>(CreateDecoderForPlatform(162).get()), nullptr);
  EXPECT_NE(dynamic_cast<CH264Decoder*>(CreateDecoderForPlatform(163).get()), nullptr);
  EXPECT_NE(dynamic_cast<CH264Decoder*>(CreateDecoderForPlatform(164).get()), nullptr);
  for (int code : {160, 161, 0, 165}) EXPECT_NE(dynamic_cast<CMpeg4Decoder*>(CreateDecoderForPlatform(code).get()), nullptr);
}

class EveryDecoder : public Silence, public testing::WithParamInterface<int> {};

// A stream joined in the middle shows nothing until its next key picture;
// then the pictures are right.
TEST_P(EveryDecoder, NothingBeforeTheFirstKeyPicture) {
  const EncodedClip clip = Generate(GetParam(), PictureSize::kCif, false, 7, 4);
  auto dec = CreateDecoderForPlatform(GetParam());
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(DecodeFrame(dec.get(), clip, i), nullptr) << i;
  for (size_t i = 4; i < 7; ++i) ExpectCloseToSource(DecodeFrame(dec.get(), clip, i), clip, i);
}

// Reset forgets the size. The libavcodec decoder waits for a key picture
// again, the MPEG-4 decoder for the next VOL (which comes with the key
// picture); our library's decoder keeps running.
TEST_P(EveryDecoder, ResetForgetsThePictureSize) {
  const int platform = GetParam();
  const EncodedClip clip = Generate(platform, PictureSize::kCif, false, 7, 4);
  auto dec = CreateDecoderForPlatform(platform);
  ASSERT_NE(DecodeFrame(dec.get(), clip, 0), nullptr);
  ASSERT_NE(DecodeFrame(dec.get(), clip, 1), nullptr);
  EXPECT_EQ(dec->Reset(), -1);
  EXPECT_EQ(dec->GetPicture()->width, -1);
  EXPECT_EQ(dec->GetPicture()->height, -1);
  DecodedPicture* after_reset = DecodeFrame(dec.get(), clip, 2);
  if (platform == 162) {
    ExpectCloseToSource(after_reset, clip, 2);
  } else {
    EXPECT_EQ(after_reset, nullptr);
    EXPECT_EQ(DecodeFrame(dec.get(), clip, 3), nullptr);
  }
  ExpectCloseToSource(DecodeFrame(dec.get(), clip, 4), clip, 4);
}

// CIF NTSC, then D1 PAL, then CIF PAL (standard change only): the picture
// size follows the stream at each switch.
TEST_P(EveryDecoder, PictureSizeFollowsResolutionAndStandardChanges) {
  const int platform = GetParam();
  const EncodedClip parts[] = {Generate(platform, PictureSize::kCif, false, 3, 3),
                               Generate(platform, PictureSize::kD1, true, 3, 3),
                               Generate(platform, PictureSize::kCif, true, 3, 3)};
  auto dec = CreateDecoderForPlatform(platform);
  for (const EncodedClip& clip : parts) {
    for (size_t i = 0; i < clip.frames.size(); ++i) {
      SCOPED_TRACE(std::to_string(clip.width) + "x" + std::to_string(clip.height) + " frame " + std::to_string(i));
      ExpectCloseToSource(DecodeFrame(dec.get(), clip, i), clip, i);
    }
  }
}

// Pictures larger than the display path holds (720 x 576) are never
// written anywhere; the decoders give no picture.
TEST_P(EveryDecoder, PictureLargerThanTheBufferYieldsNothing) {
  ClipRecipe recipe;
  recipe.platform_code = GetParam();
  recipe.size = PictureSize::kD1;
  recipe.pal = true;
  recipe.custom_size = {736, 576};
  recipe.frame_count = 3;
  const EncodedClip big = mediagen::GenerateClip(recipe);
  ASSERT_TRUE(big.ok()) << big.error;
  auto dec = CreateDecoderForPlatform(GetParam());
  for (size_t i = 0; i < big.frames.size(); ++i) EXPECT_EQ(DecodeFrame(dec.get(), big, i), nullptr);
  // The MPEG-4 decoder does not even set XviD up for such a layer.
  if (GetParam() == 160) {
    EXPECT_EQ(dec->GetPicture()->width, -1);
  }
  // A stream that fits decodes again from its first key picture.
  const EncodedClip next = Generate(GetParam(), PictureSize::kCif, true, 2, 2);
  for (size_t i = 0; i < next.frames.size(); ++i) ExpectCloseToSource(DecodeFrame(dec.get(), next, i), next, i);
}

// Cut, scrambled and mislabelled records give no picture or a picture of
// a sane size, never a crash; a key picture afterwards decodes correctly.
TEST_P(EveryDecoder, DamagedRecordsAreSurvived) {
  const int platform = GetParam();
  const EncodedClip clip = Generate(platform, PictureSize::kCif, false, 6, 3);
  auto dec = CreateDecoderForPlatform(platform);
  EXPECT_EQ(dec->Decode(nullptr, 100, 0), nullptr);
  std::mt19937 rng(7);
  for (size_t i = 0; i < 3; ++i) {
    const uint8_t* r = clip.Record(i);
    const size_t n = clip.frames[i].record_size_bytes;
    for (size_t cut : {size_t{0}, size_t{1}, size_t{31}, size_t{32}, size_t{33}, size_t{79}, size_t{131}, size_t{132},
                       n / 2, n - 1}) {
      std::vector<uint8_t> part(r, r + cut);  // exactly cut bytes, so reads past the end show under ASan
      DecodedPicture* pic = dec->Decode(part.data(), static_cast<uint32_t>(cut), 0);
      if (cut < streaming::kFrameHeaderSize || (platform == 162 && cut < kDllMinRecordBytes)) {
        EXPECT_EQ(pic, nullptr) << cut;
      }
      if (pic) {
        EXPECT_LE(int64_t{pic->width} * pic->height * 2, int64_t{kPictureBufferBytes});
      }
    }
    std::vector<uint8_t> scrambled(r, r + n);
    for (size_t k = 40; k < n; ++k) scrambled[k] = static_cast<uint8_t>(rng());
    DecodedPicture* pic = dec->Decode(scrambled.data(), static_cast<uint32_t>(n), 0);
    if (pic) {
      EXPECT_LE(int64_t{pic->width} * pic->height * 2, int64_t{kPictureBufferBytes});
    }
  }
  if (platform != 160) {
    // The H.264 decoders read the header: a stream id that is neither
    // video nor audio makes the record invalid.
    std::vector<uint8_t> bad(clip.Record(3), clip.Record(3) + clip.frames[3].record_size_bytes);
    bad[3] = 0xD0;
    EXPECT_EQ(dec->Decode(bad.data(), static_cast<uint32_t>(bad.size()), 0), nullptr);
  }
  ExpectCloseToSource(DecodeFrame(dec.get(), clip, 3), clip, 3);
}

INSTANTIATE_TEST_SUITE_P(Platforms, EveryDecoder, testing::Values(160, 162, 163));

// Both H.264 decoders: pictures of 480 lines and more pass the comb filter,
// shorter ones do not.
class CombFilter : public Silence, public testing::WithParamInterface<int> {};

TEST_P(CombFilter, AppliedOnlyToPicturesOf480LinesAndMore) {
  for (auto [size, pal] : {std::pair{PictureSize::kD1, false}, std::pair{PictureSize::kD1, true},
                           std::pair{PictureSize::kHalfD1, false}, std::pair{PictureSize::kCif, true}}) {
    const EncodedClip clip = Generate(GetParam(), size, pal, 1, 1, /*artifact=*/true);
    auto dec = CreateDecoderForPlatform(GetParam());
    const DecodedPicture* pic = DecodeFrame(dec.get(), clip, 0);
    ASSERT_NE(pic, nullptr);
    SCOPED_TRACE(std::to_string(pic->width) + "x" + std::to_string(pic->height));
    if (pic->height >= 480) {
      EXPECT_LT(CombEnergy(pic), 15.0);
    } else {
      EXPECT_GT(CombEnergy(pic), 60.0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(H264, CombFilter, testing::Values(162, 163));

// --- MPEG-4 (XviD) specifics -------------------------------------------

// Offset of the first start code 00 00 01 xx with lo <= xx <= hi.
size_t FindCode(const uint8_t* d, size_t n, uint8_t lo, uint8_t hi, size_t from = 0) {
  for (size_t i = from; i + 3 < n; ++i) {
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] >= lo && d[i + 3] <= hi) return i;
  }
  return n;
}

// A record of key frame 0 with its VOL header repeated: XviD reports each
// VOL on a call of its own, so the VOP is decoded on call vols + 1.
std::vector<uint8_t> WithVols(const EncodedClip& clip, int vols) {
  const uint8_t* d = clip.Data(0);
  const size_t n = clip.frames[0].data_size_bytes;
  const size_t vol = FindCode(d, n, 0x20, 0x2F);
  const size_t after = FindCode(d, n, 0x00, 0xFF, vol + 4);
  EXPECT_LT(after, n);
  std::vector<uint8_t> data(d, d + vol);
  for (int k = 0; k < vols; ++k) data.insert(data.end(), d + vol, d + after);
  data.insert(data.end(), d + after, d + n);
  mediagen::RecordFields f;
  f.platform_code = 160;
  std::vector<uint8_t> record;
  mediagen::AppendFrameRecord(&record, f, data.data(), data.size());
  return record;
}

TEST_F(Silence, Mpeg4PictureOnTheFourthCallOfAFrameIsNotReturned) {
  const EncodedClip clip = Generate(160, PictureSize::kCif, false, 2, 2);
  for (int vols = 1; vols <= 3; ++vols) {
    SCOPED_TRACE(std::to_string(vols) + " VOL headers");
    CMpeg4Decoder dec;
    const std::vector<uint8_t> record = WithVols(clip, vols);
    DecodedPicture* pic = dec.Decode(record.data(), static_cast<uint32_t>(record.size()), 0);
    if (vols < 3) {
      ExpectCloseToSource(pic, clip, 0);
    } else {
      EXPECT_EQ(pic, nullptr);
      EXPECT_EQ(dec.GetPicture()->width, clip.width);  // the VOLs were read
    }
  }
}

TEST_F(Silence, Mpeg4VolAloneSetsTheSizeAndTheVopFollows) {
  const EncodedClip clip = Generate(160, PictureSize::kCif, true, 2, 2);
  const uint8_t* d = clip.Data(0);
  const size_t n = clip.frames[0].data_size_bytes;
  const size_t vop = std::min(FindCode(d, n, 0xB3, 0xB3), FindCode(d, n, 0xB6, 0xB6));  // GOP or VOP
  mediagen::RecordFields f;
  f.platform_code = 160;
  std::vector<uint8_t> headers, picture;
  mediagen::AppendFrameRecord(&headers, f, d, vop);
  mediagen::AppendFrameRecord(&picture, f, d + vop, n - vop);

  CMpeg4Decoder dec;
  EXPECT_EQ(dec.Decode(headers.data(), static_cast<uint32_t>(headers.size()), 0), nullptr);
  EXPECT_EQ(dec.GetPicture()->width, 352);
  EXPECT_EQ(dec.GetPicture()->height, 288);
  ExpectCloseToSource(dec.Decode(picture.data(), static_cast<uint32_t>(picture.size()), 0), clip, 0);
  ExpectCloseToSource(DecodeFrame(&dec, clip, 1), clip, 1);
}

// A layer whose area fits the buffer but which is taller than the display
// path shows is refused like a larger one: XviD is not set up for it (no
// camera sends such shapes, and some make XviD read outside its pictures),
// and a stream that fits decodes afterwards.
TEST_F(Silence, Mpeg4LayerTallerThanShownYieldsNothing) {
  ClipRecipe recipe;
  recipe.platform_code = 160;
  recipe.size = PictureSize::kCif;
  recipe.custom_size = {176, 1024};
  recipe.frame_count = 2;
  const EncodedClip tall = mediagen::GenerateClip(recipe);
  ASSERT_TRUE(tall.ok()) << tall.error;
  ASSERT_LE(176 * 1024 * 2, static_cast<int>(kPictureBufferBytes));
  CMpeg4Decoder dec;
  for (size_t i = 0; i < tall.frames.size(); ++i) EXPECT_EQ(DecodeFrame(&dec, tall, i), nullptr);
  EXPECT_EQ(dec.GetPicture()->width, -1);
  const EncodedClip next = Generate(160, PictureSize::kCif, true, 2, 2);
  for (size_t i = 0; i < next.frames.size(); ++i) ExpectCloseToSource(DecodeFrame(&dec, next, i), next, i);
}

// --- libzelvadec decoder specifics --------------------------------------

// A record carrying two pictures: only the first is decoded and returned.
TEST_F(Silence, DllDecoderReturnsOnlyTheFirstPictureOfARecord) {
  ClipRecipe recipe;
  recipe.platform_code = 162;
  recipe.frame_count = 2;
  recipe.gop = 2;
  recipe.h264_slices = 2;
  recipe.first_picture_index = 20;
  recipe.keep_source = true;
  const EncodedClip clip = mediagen::GenerateClip(recipe);
  ASSERT_TRUE(clip.ok());
  std::vector<uint8_t> both(clip.Data(0), clip.Data(0) + clip.frames[0].data_size_bytes);
  both.insert(both.end(), clip.Data(1), clip.Data(1) + clip.frames[1].data_size_bytes);
  mediagen::RecordFields f;
  f.platform_code = 162;
  std::vector<uint8_t> record;
  ASSERT_GT(mediagen::AppendFrameRecord(&record, f, both.data(), both.size()), 0u);

  CH264DllDecoder dec;
  const DecodedPicture* pic = dec.Decode(record.data(), static_cast<uint32_t>(record.size()), 0);
  ExpectCloseToSource(pic, clip, 0);
  EXPECT_GT(Yuy2LumaPsnr(pic->buffer, clip.SourceLuma(0), clip.width, clip.height),
            Yuy2LumaPsnr(pic->buffer, clip.SourceLuma(1), clip.width, clip.height) + 3);
}

// The marker block is the client's to write: a record whose marker was
// damaged decodes, and the caller's record is left as it was.
TEST_F(Silence, DllDecoderWritesTheMarkerIntoItsOwnCopy) {
  const EncodedClip clip = Generate(162, PictureSize::kCif, false, 1, 1);
  std::vector<uint8_t> record(clip.Record(0), clip.Record(0) + clip.frames[0].record_size_bytes);
  ASSERT_GT(record.size(), kDllMinRecordBytes);
  for (size_t k = kDllPayloadOffset + 20; k < kDllPayloadOffset + 52; ++k) record[k] = 'x';
  const std::vector<uint8_t> before = record;
  CH264DllDecoder dec;
  ExpectCloseToSource(dec.Decode(record.data(), static_cast<uint32_t>(record.size()), 0), clip, 0);
  EXPECT_EQ(record, before);
}

// --- FindNalUnit ---------------------------------------------------------

TEST(FindNalUnit, CutsAtStartCodesAndKeepsLeadingBytesWithTheFirstUnit) {
  const std::vector<uint8_t> data = {0xFF, 0xFF, 0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xCE, 0, 0, 0, 1, 0x65, 0x88};
  EXPECT_EQ(FindNalUnit(data.data(), data.size()), 8u);      // junk + 4-byte start code + SPS
  EXPECT_EQ(FindNalUnit(data.data() + 8, data.size() - 8), 5u);  // 3-byte start code + PPS
  EXPECT_EQ(FindNalUnit(data.data() + 13, data.size() - 13), 6u);  // last unit runs to the end
  EXPECT_EQ(FindNalUnit(data.data(), 5), 0u);  // 00 00 00 without the 01
  EXPECT_EQ(FindNalUnit(nullptr, 10), 0u);
}

// Every buffer of up to 9 bytes over {0, 1, 2}, each in an allocation of
// exactly its size: the result never exceeds the length, is 0 exactly when
// no start code is present, and otherwise ends where a start code begins.
TEST(FindNalUnit, StaysInsideEveryShortBuffer) {
  for (size_t len = 0; len <= 9; ++len) {
    size_t combos = 1;
    for (size_t k = 0; k < len; ++k) combos *= 3;
    for (size_t c = 0; c < combos; ++c) {
      std::unique_ptr<uint8_t[]> buf(new uint8_t[len == 0 ? 1 : len]);
      size_t v = c;
      for (size_t k = 0; k < len; ++k, v /= 3) buf[k] = static_cast<uint8_t>(v % 3);
      const uint8_t* d = len == 0 ? buf.get() + 1 : buf.get();
      const size_t got = FindNalUnit(d, len);
      bool has_code = false;
      for (size_t k = 0; k + 2 < len; ++k) has_code |= d[k] == 0 && d[k + 1] == 0 && d[k + 2] == 1;
      ASSERT_LE(got, len);
      ASSERT_EQ(got == 0, !has_code) << "len " << len << " combo " << c;
      if (got > 0 && got < len) {
        ASSERT_TRUE(got + 2 < len && d[got] == 0 && d[got + 1] == 0 &&
                    (d[got + 2] == 1 || (got + 3 < len && d[got + 2] == 0 && d[got + 3] == 1)));
      }
    }
  }
}

}  // namespace
