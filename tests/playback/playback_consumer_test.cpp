// The playback frame consumer on records built here: the panel states that
// drop records, the playback display flag and the time the panel follows.
#include <gtest/gtest.h>

#include <vector>

#include "decode/video_decoder.h"
#include "playback/playback_consumer.h"
#include "playback/playback_session.h"
#include "streaming/frame_header.h"

namespace {

class FakeDecoder : public CVideoDecoder {
 public:
  FakeDecoder() {
    picture_.buffer = pixels_;
    picture_.width = 4;
    picture_.height = 2;
  }
  DecodedPicture* Decode(const uint8_t*, uint32_t, int32_t) override {
    ++calls;
    return &picture_;
  }
  int calls = 0;

 private:
  uint8_t pixels_[16] = {};
};

struct Sink : IPictureSink {
  bool IsSuspended() override { return false; }
  int SoleChannel() override { return -1; }
  uint16_t PaneChannelMask() override { return 0xFFFF; }
  void SetRate(int, int) override {}
  void SetFrameRate(int, int) override {}
  void SetChannelTime(int channel, const std::tm& t) override { times.push_back({channel, t.tm_hour}); }
  void ShowPicture(int channel, int, int, int, const uint8_t*) override { pictures.push_back(channel); }
  void SetChannelName(int, const char*) override {}
  std::vector<int> pictures;
  std::vector<std::pair<int, int>> times;
};

struct Times : IPlaybackTimeObserver {
  void OnPlaybackTime(int channel, const PlaybackTime& t) override { seen.push_back({channel, t}); }
  std::vector<std::pair<int, PlaybackTime>> seen;
};

std::vector<uint8_t> VideoRecord(int channel, uint32_t capture_time, uint32_t size = 100) {
  std::vector<uint8_t> r(size, 0);
  streaming::FrameHeaderFields f;
  f.channel_index = static_cast<uint8_t>(channel);
  f.record_size_bytes = size;
  f.capture_time = capture_time;
  streaming::BuildFrameHeader(r.data(), f);
  return r;
}

struct ConsumerHarness {
  CPlaybackSession session;
  CPlaybackConsumer consumer;
  Sink sink;
  Times times;
  FakeDecoder* decoder = new FakeDecoder();
  ConsumerHarness() {
    session.SetVideoDecoder(0, decoder);
    consumer.SetSession(&session);
    consumer.SetPictureSink(&sink);
    consumer.SetTimeObserver(&times);
    consumer.SetChannelCount(4);
  }
  void Feed(const std::vector<uint8_t>& r) { consumer.Consume(r.data(), static_cast<int>(r.size())); }
};

TEST(PlaybackConsumer, StatesAndTheDisplayFlagDecideWhatReachesTheGrid) {
  ConsumerHarness h;
  h.consumer.SetPlatformCode(164);
  h.consumer.SetTimeZone(true, 9 * 3600);
  const uint32_t t = 1796601600 + 3600;  // 2026-12-07 01:00 UTC, 10:00 in the DVR's zone
  // Stopped (the start) and closed drop everything.
  h.Feed(VideoRecord(0, t));
  h.consumer.SetPanelState(kPanelClosed);
  h.Feed(VideoRecord(0, t));
  EXPECT_EQ(h.consumer.FramesReceived(0), 0u);
  EXPECT_TRUE(h.times.seen.empty());

  // Playing without the display flag: counted and followed by the panel,
  // nothing decoded or shown.
  h.consumer.SetPanelState(kPanelFastBackward);
  h.Feed(VideoRecord(0, t));
  EXPECT_EQ(h.consumer.FramesReceived(0), 1u);
  EXPECT_EQ(h.consumer.KeyFramesReceived(0), 1u);
  ASSERT_EQ(h.times.seen.size(), 1u);
  EXPECT_EQ(h.times.seen[0].second, (PlaybackTime{2026, 12, 7, 10, 0, 0}));
  EXPECT_EQ(h.decoder->calls, 0);
  EXPECT_TRUE(h.sink.times.empty());

  // With the flag: pictures and times reach the sink; an unchanged capture
  // time is reported once; a channel beyond the count is dropped.
  h.consumer.SetPlaybackDisplay(true);
  h.Feed(VideoRecord(0, t));
  h.Feed(VideoRecord(0, t + 1));
  h.Feed(VideoRecord(4, t + 2));
  EXPECT_EQ(h.decoder->calls, 2);
  EXPECT_EQ(h.sink.pictures, (std::vector<int>{0, 0}));
  EXPECT_EQ(h.sink.times, (std::vector<std::pair<int, int>>{{0, 10}}));
  EXPECT_EQ(h.times.seen.size(), 2u);
  // A header that claims more bytes than were collected is not decoded.
  auto cut = VideoRecord(0, t + 3, 200);
  h.consumer.Consume(cut.data(), 100);
  EXPECT_EQ(h.decoder->calls, 2);
}

}  // namespace
