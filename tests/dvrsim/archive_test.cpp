// The simulator's recordings: the default pattern as the month and day
// searches report it (split answers, the segment across midnight), and
// playback on a stream connection driven by a clock the test sets: backward
// at key pictures, capture times in the DVR's count, gaps and the end.
#include <gtest/gtest.h>

#include "dvrsim/archive.h"
#include "dvrsim/framing.h"
#include "dvrsim/live_session.h"
#include "platform/bytes.h"
#include "streaming/frame_header.h"

namespace {

using dvrsim::Bytes;

constexpr int64_t kOffset = 9 * 3600;
// 2026-12-08 05:00 in the DVR's zone (+9 h): "today" is December 8.
constexpr int64_t kNow = 1796601600 + 86400 + 5 * 3600 - kOffset;

std::vector<uint8_t> U16s(std::initializer_list<uint16_t> v) {
  std::vector<uint8_t> out;
  for (uint16_t x : v) {
    out.push_back(static_cast<uint8_t>(x >> 8));
    out.push_back(static_cast<uint8_t>(x));
  }
  return out;
}

TEST(DvrsimArchive, SearchAnswersListTheDefaultPatternInParts) {
  dvrsim::SimConfig config;
  config.channels = 16;
  config.timezone_seconds = kOffset;
  config.archive_days = 20;
  const dvrsim::Archive archive = dvrsim::Archive::FromConfig(config, kNow);

  // Twenty days before today and today's early hours: 21 days in 8 + 8 + 5.
  const std::vector<Bytes> month = archive.MonthAnswer();
  ASSERT_EQ(month.size(), 3u);
  std::vector<std::tuple<int, int, int>> days;
  for (size_t i = 0; i < month.size(); ++i) {
    const Bytes& p = month[i];
    EXPECT_EQ(platform::GetU16BE(p.data()), 21);
    const int count = platform::GetU16BE(p.data() + 2);
    EXPECT_EQ(count, i < 2 ? 8 : 5);
    ASSERT_EQ(p.size(), 8u + 8u * count);
    for (int k = 0; k < count; ++k) {
      const uint8_t* item = p.data() + 8 + 8 * k;
      days.emplace_back(platform::GetU16BE(item), platform::GetU16BE(item + 2), platform::GetU16BE(item + 4));
    }
  }
  EXPECT_EQ(days.front(), std::make_tuple(2026, 11, 18));
  EXPECT_EQ(days[12], std::make_tuple(2026, 11, 30));
  EXPECT_EQ(days[13], std::make_tuple(2026, 12, 1));
  EXPECT_EQ(days.back(), std::make_tuple(2026, 12, 8));

  // Yesterday: 8 + 8 + 16 channel items and the two across midnight, 16 a
  // message; times as the DVR counts them (UTC), unclipped.
  const std::vector<Bytes> day = archive.DayAnswer(2026, 12, 7);
  ASSERT_EQ(day.size(), 3u);
  EXPECT_EQ(platform::GetU16BE(day[0].data()), 34);
  EXPECT_EQ(platform::GetU16BE(day[2].data() + 2), 2);
  const int64_t midnight = 1796601600 - kOffset;  // December 7, DVR zone
  const uint8_t* last = day[2].data() + 6 + dvrsim::kDayItemBytes;
  EXPECT_EQ(platform::GetU16BE(last), 1);
  EXPECT_EQ(platform::GetU16BE(last + 2), 2);  // channel 2
  EXPECT_EQ(platform::GetU32BE(last + 34), midnight + 22 * 3600 + 30 * 60);
  EXPECT_EQ(platform::GetU32BE(last + 38), midnight + 25 * 3600);
  // Today holds only the end of those two; tomorrow nothing (one empty part).
  EXPECT_EQ(platform::GetU16BE(archive.DayAnswer(2026, 12, 8)[0].data()), 2);
  EXPECT_EQ(archive.DayAnswer(2026, 12, 9), (std::vector<Bytes>{U16s({0, 0, 0})}));
}

// A playback connection of the simulator: admitted, asked for playback, and
// then driven through the test's clock.
struct PlaybackHarness {
  dvrsim::SimConfig config;
  dvrsim::SessionRegistry registry{8, 2};
  std::unique_ptr<dvrsim::MediaStore> media;
  std::unique_ptr<dvrsim::Archive> archive;
  std::unique_ptr<dvrsim::LiveSession> session;
  std::vector<uint8_t> wire;
  int64_t now = 1000;

  explicit PlaybackHarness(int platform, const char* segment) {
    config.platform = platform;
    config.channels = 4;
    config.resolution = 3;  // QCIF keeps the encoding quick
    config.loop_frames = 5;  // a key picture every 200 ms of the archive
    config.timezone_seconds = kOffset;
    dvrsim::ArchiveSegment s;
    std::string why;
    EXPECT_TRUE(dvrsim::ParseArchiveSegment(segment, &s, &why)) << why;
    config.archive_segments = {s};
    media = std::make_unique<dvrsim::MediaStore>(config);
    archive = std::make_unique<dvrsim::Archive>(dvrsim::Archive::FromConfig(config, kNow));
    session = std::make_unique<dvrsim::LiveSession>(
        config, registry, *media, nullptr,
        [this](std::span<const uint8_t> b) {
          wire.insert(wire.end(), b.begin(), b.end());
          return true;
        },
        dvrsim::LineSink{}, 7622);
    session->SetArchive(archive.get());
    Send(0x1021, U16s({*registry.Acquire(false)}));
    std::vector<uint8_t> request = U16s({1, 1, 0, 0x0001, 3, 1, 1970, 1, 1, 1, 1, 1});  // channel 1 only
    request.resize(76, 0);
    Send(0x4110, request);
    wire.clear();  // the admission answer
  }
  bool Send(uint16_t code, std::vector<uint8_t> payload) {
    Bytes m = dvrsim::EncodeMessage(code, payload);
    return session->OnReceived(m.data(), m.size(), now);
  }
  void Run(int64_t ms) {
    for (int64_t end = now + ms; now <= end; now += 10) ASSERT_TRUE(session->OnTimer(now));
  }
  // Answer codes and the frames (picture type, capture time) sent so far.
  struct Seen {
    std::vector<uint16_t> codes;
    std::vector<std::pair<int, uint32_t>> frames;
  };
  Seen Take() {
    Seen out;
    dvrsim::FrameReader reader;
    reader.Append(wire.data(), wire.size());
    dvrsim::Message m;
    while (reader.Next(&m) == dvrsim::FrameReader::Result::kMessage) {
      if (m.code != 0x4104) {
        out.codes.push_back(m.code);
      } else if (m.payload[21] == 0) {  // the first fragment holds the header
        streaming::FrameInfo info;
        EXPECT_TRUE(streaming::ParseFrameHeaderQuiet(m.payload.data() + 24, m.payload.size() - 24, &info));
        out.frames.emplace_back(info.picture_type, info.capture_time);
      }
    }
    wire.clear();
    return out;
  }
};

constexpr uint32_t kTenOClock = 1796601600 + 10 * 3600 - kOffset;  // 2026-12-07 10:00 DVR time, in UTC

TEST(DvrsimArchive, PlaysBackwardAtKeyPicturesAndEndsWithTheRecordings) {
  // Platform 161 counts capture times in the DVR's zone.
  PlaybackHarness h(161, "2026-12-07T10:00:00+2");
  ASSERT_TRUE(h.Send(0x4126, U16s({2026, 12, 7, 10, 0, 1})));
  ASSERT_TRUE(h.Send(0x412C, U16s({1, 1, 2})));
  h.Run(1000);
  PlaybackHarness::Seen seen = h.Take();
  // Twice as fast backwards, a key picture per 200 ms of the archive:
  // 10:00:01.0, then 00.8 down to 00.0, and the recordings end there.
  ASSERT_EQ(seen.frames.size(), 6u);
  for (size_t i = 0; i < seen.frames.size(); ++i) {
    EXPECT_EQ(seen.frames[i].first, 1);
    EXPECT_EQ(seen.frames[i].second, kTenOClock + kOffset + (i == 0 ? 1 : 0)) << i;
  }
  EXPECT_EQ(seen.codes, (std::vector<uint16_t>{0x4127, 0x4111, 0x4114}));

  // Forward from a gap before the recording: it starts at the recording.
  ASSERT_TRUE(h.Send(0x4126, U16s({2026, 12, 7, 9, 0, 0})));
  ASSERT_TRUE(h.Send(0x412C, U16s({1, 0, 1})));
  h.Run(3000);
  seen = h.Take();
  ASSERT_EQ(seen.frames.size(), 50u);
  EXPECT_EQ(seen.frames.front(), std::make_pair(1, kTenOClock + static_cast<uint32_t>(kOffset)));
  EXPECT_EQ(seen.codes.back(), 0x4114);
  // The other requests get the answers the client ignores.
  ASSERT_TRUE(h.Send(0x4128, U16s({0})));
  ASSERT_TRUE(h.Send(0x412A, U16s({0})));
  ASSERT_TRUE(h.Send(0x4112, {0}));
  EXPECT_EQ(h.Take().codes, (std::vector<uint16_t>{0x4129, 0x412B, 0x4113}));
}

}  // namespace
