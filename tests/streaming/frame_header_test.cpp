#include "streaming/frame_header.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

namespace streaming {
namespace {

using Header = std::array<uint8_t, kFrameHeaderSize>;

Header Build(const FrameHeaderFields& f) {
  Header h{};
  BuildFrameHeader(h.data(), f);
  return h;
}

// Runs the console-writing parser; returns what it printed.
std::string ParseLoud(const Header& h, bool* ok) {
  FrameInfo info;
  testing::internal::CaptureStdout();
  *ok = ParseFrameHeader(h.data(), &info);
  return testing::internal::GetCapturedStdout();
}

TEST(FrameHeaderCoding, Marker22RoundTripsEveryValue) {
  uint8_t b[3];
  for (uint32_t v = 0; v <= kMarker22Max; ++v) {
    EncodeMarker22(v, b);
    ASSERT_EQ(DecodeMarker22(b), v);
    ASSERT_EQ(b[0] & 0x80, 0x80);
    ASSERT_EQ(b[1] & 0x08, 0x08);
  }
}

TEST(FrameHeaderCoding, TimeStampRoundTripsIncludingTopBits) {
  for (uint32_t t : {0u, 0x7FFFu, 0x8000u, 0x3FFFFFu, 0x40000000u, 0x80000000u, 0xC0000001u, 0xFFFFFFFFu}) {
    uint8_t pts[5], dts[5];
    EncodePts(t, kPtsPrefix, pts);
    EncodePts(t, kDtsPrefix, dts);
    EXPECT_EQ(DecodeTimeStamp(pts), t);
    EXPECT_EQ(DecodeTimeStamp(dts), t);
    EXPECT_EQ(pts[0], 0x31 | ((t >> 29) & 0x0E));  // bit 32 (0x08) stays clear
    EXPECT_EQ(dts[0], 0x11 | ((t >> 29) & 0x0E));
  }
}

TEST(ParseFrameHeader, ReadsVideoFieldsFromFixedBytes) {
  // Channel 3, back-link 0x123456 (A4 6C 56), size 4096 (80 28 00), key frame,
  // CIF, PAL. The PTS field says 0xFFFFFFFF; the DTS field is the one read,
  // and its bit 32 (0x08 in byte 14) is dropped.
  const Header h = {0x00, 0x00, 0x01, 0xE3, 0x0F, 0xFA, 0x87, 0xC1, 0x17, 0x3F, 0xFF,
                    0xFF, 0xFF, 0xFF, 0x1D, 0x91, 0xA3, 0x15, 0x9F, 0x0F, 0x8B, 0xA4,
                    0x6C, 0x56, 0x80, 0x28, 0x00, 0x19, 0x65, 0x43, 0x21, 0x0F};
  FrameInfo info;
  ASSERT_TRUE(ParseFrameHeaderQuiet(h.data(), &info));
  EXPECT_EQ(info, (FrameInfo{3, kMediumVideo, kPictureTypeKey, kResolutionCif, 1, 0x6543210F, 0xA4688ACF, 4096,
                             0x123456}));
}

TEST(ParseFrameHeader, RejectsWithTheSystemConsoleLines) {
  FrameHeaderFields f;
  bool ok = true;
  Header h = Build(f);
  h[3] = 0xD0;
  EXPECT_EQ(ParseLoud(h, &ok), "File(corrupted, Invalid data type=d0\n");
  EXPECT_FALSE(ok);

  f.record_size_bytes = kMaxRecordSize;
  EXPECT_EQ(ParseLoud(Build(f), &ok), "");
  EXPECT_TRUE(ok);
  f.record_size_bytes = kMaxRecordSize + 1;
  EXPECT_EQ(ParseLoud(Build(f), &ok), "File  corrupted, Invalid cur size=262145\n");
  EXPECT_FALSE(ok);
  f.record_size_bytes = kFrameHeaderSize;
  EXPECT_EQ(ParseLoud(Build(f), &ok), "");
  EXPECT_TRUE(ok);
  f.record_size_bytes = kFrameHeaderSize - 1;
  EXPECT_EQ(ParseLoud(Build(f), &ok), "File  corrupted, Invalid cur size=31\n");
  EXPECT_FALSE(ok);

  f.record_size_bytes = 1000;
  f.medium = kMediumAudio;
  f.picture_type = 0;
  EXPECT_EQ(ParseLoud(Build(f), &ok), "File corrupted, Invalid PIC type=0\n");
  EXPECT_FALSE(ok);

  // The quiet parser and a short buffer reject without a word.
  FrameInfo info;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ParseFrameHeaderQuiet(Build(f).data(), &info));
  EXPECT_FALSE(ParseFrameHeader(Build(FrameHeaderFields{}).data(), kFrameHeaderSize - 1, &info));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(BuildFrameHeader, AudioTalkTemplate) {
  const Header expected = {0x00, 0x00, 0x01, 0xC0, 0x00, 0xBA, 0x87, 0xC1, 0x17, 0x31, 0x48,
                           0xD1, 0xAC, 0xF1, 0x11, 0x48, 0xD1, 0xAC, 0xF1, 0x0F, 0x8B, 0x80,
                           0x18, 0x20, 0x80, 0x08, 0xC0, 0x01, 0x11, 0x01, 0xFF, 0xFF};
  Header h{};
  BuildAudioFrameHeader(h.data(), 160, 0x12345678, 1);
  EXPECT_EQ(h, expected);
  BuildAudioFrameHeader(h.data(), 160, 0x12345678, 2);
  EXPECT_EQ(h[29], 2);
  BuildAudioFrameHeader(h.data(), 65510, 0, 1);  // 65536 after the +26 no longer fits
  EXPECT_EQ(h[4] | h[5], 0);
}

TEST(BuildFrameHeader, ParseGivesTheFieldsBack) {
  FrameHeaderFields video;
  video.channel_index = 15;
  video.record_size_bytes = 70000;  // bytes 4-5 overflow to 0
  video.back_link_bytes = kMarker22Max;
  video.picture_type = 3;
  video.resolution = kResolutionHalfD1;
  video.pal = 1;
  video.capture_time = 0xFEDCBA98;
  video.time_stamp = 0xBFFFFFFF;

  FrameHeaderFields audio;
  audio.medium = kMediumAudio;
  audio.channel_index = 9;
  audio.record_size_bytes = 38;  // bytes 4-5 = 32
  audio.audio_codec = 0x12;
  audio.audio_channel_flag = 2;
  audio.time_stamp = 0x80000000;

  const FrameInfo want_video{15, kMediumVideo, 3, kResolutionHalfD1, 1, 0xFEDCBA98, 0xBFFFFFFF, 70000, kMarker22Max};
  const FrameInfo want_audio{9, kMediumAudio, kPictureTypeKey, kResolutionD1, 0, 0x1202FFFF, 0x80000000, 38, 0};

  for (const auto& [fields, want, short_length] : {std::tuple{video, want_video, 0}, std::tuple{audio, want_audio, 32}}) {
    const Header h = Build(fields);
    FrameInfo info;
    ASSERT_TRUE(ParseFrameHeaderQuiet(h.data(), &info));
    EXPECT_EQ(info, want);
    EXPECT_EQ((h[4] << 8) | h[5], short_length);
    EXPECT_EQ(Build(FieldsFromInfo(info)), h);
  }
}

}  // namespace
}  // namespace streaming
