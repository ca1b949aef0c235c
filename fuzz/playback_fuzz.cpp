// Feeds messages, as a DVR would send them on a playback connection, to the
// playback session's message handling with the playback consumer as its
// frame callback, and checks what the consumer hands on: pictures only of
// channels below the count, times the calendar can hold, and a session that
// stops at 0x4114 and never reports playing after it.
//
// Input: a platform byte and a state byte, then messages, each a 16-bit
// command, a 16-bit length and that many payload bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "decode/video_decoder.h"
#include "playback/playback_consumer.h"
#include "playback/playback_session.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "playback_fuzz: %s\n", what);
    std::abort();
  }
}

constexpr int kChannels = 4;

// Decodes nothing, hands out a fixed small picture for every record it gets.
class EchoDecoder : public CVideoDecoder {
 public:
  EchoDecoder() {
    picture_.buffer = pixels_;
    picture_.width = 2;
    picture_.height = 2;
  }
  DecodedPicture* Decode(const uint8_t* frame, uint32_t length, int32_t) override {
    // Touch the whole record the consumer claims to hand over.
    volatile uint8_t sum = 0;
    for (uint32_t i = 0; i < length; ++i) sum = sum + frame[i];
    return &picture_;
  }

 private:
  uint8_t pixels_[8] = {};
};

struct CheckingSink : IPictureSink {
  bool IsSuspended() override { return false; }
  int SoleChannel() override { return 0; }
  uint16_t PaneChannelMask() override { return 0xF; }
  void SetRate(int channel, int) override { Check(channel >= 0 && channel < kChannels, "rate channel"); }
  void SetFrameRate(int channel, int) override { Check(channel >= 0 && channel < kChannels, "fps channel"); }
  void SetChannelTime(int channel, const std::tm& t) override {
    Check(channel >= 0 && channel < kChannels, "time channel");
    Check(t.tm_mon >= 0 && t.tm_mon < 12 && t.tm_mday >= 1 && t.tm_mday <= 31, "time fields");
  }
  void ShowPicture(int channel, int width, int height, int size, const uint8_t*) override {
    Check(channel >= 0 && channel < kChannels, "picture channel");
    Check(size == width * height * 2, "picture size");
  }
  void SetChannelName(int, const char*) override {}
};

struct CheckingTimes : IPlaybackTimeObserver {
  void OnPlaybackTime(int channel, const PlaybackTime& t) override {
    Check(channel >= 0 && channel < kChannels, "observed channel");
    Check(t.month >= 1 && t.month <= 12 && t.hour < 24 && t.minute < 60 && t.second < 61, "observed time");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  CPlaybackSession session;
  for (int c = 0; c < kChannels; ++c) session.SetVideoDecoder(c, new EchoDecoder());
  CPlaybackConsumer consumer;
  CheckingSink sink;
  CheckingTimes times;
  consumer.SetSession(&session);
  consumer.SetPictureSink(&sink);
  consumer.SetTimeObserver(&times);
  consumer.SetChannelCount(kChannels);
  consumer.SetPlatformCode(160 + data[0] % 5);
  consumer.SetTimeZone((data[0] & 0x80) != 0, (data[0] & 0x40) != 0 ? -50400 : 50400);
  consumer.SetPanelState(data[1] % 7);
  consumer.SetPlaybackDisplay((data[1] & 0x80) == 0);
  session.SetFrameCallback(&CPlaybackConsumer::OnFrame, &consumer);

  size_t pos = 2;
  bool ended = false;
  while (pos + 4 <= size) {
    const uint16_t command = static_cast<uint16_t>((data[pos] << 8) | data[pos + 1]);
    size_t length = static_cast<size_t>((data[pos + 2] << 8) | data[pos + 3]);
    pos += 4;
    if (length > size - pos) length = size - pos;
    const bool goes_on = session.HandleMessage(command, data + pos, static_cast<int>(length));
    pos += length;
    if (!goes_on) {
      Check(command == 0x4114, "only 0x4114 ends playback");
      Check(!session.IsPlaying(), "playing after the end");
      ended = true;
    }
    if (command == 0x4111 && !ended) Check(session.IsPlaying(), "0x4111 not seen as playing");
  }
  Check(session.AnswerQueue().Size() <= session.AnswerQueue().Capacity(), "answer queue over capacity");
  return 0;
}
