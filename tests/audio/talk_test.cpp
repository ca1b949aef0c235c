// Talk capture on the fake input device, and talk packets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/fake_audio_device.h"
#include "audio/talk_packet.h"
#include "audio/wave_in_recorder.h"
#include "decode/g726.h"
#include "platform/bytes.h"
#include "streaming/frame_header.h"
#include "voiceengine/voiceengine.h"

namespace {

// Collects the blocks a CTalkSender hands to its owner.
struct Owner {
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<std::vector<int16_t>> blocks;
  static void OnBlock(void* owner, const AudioBlock* block) {
    auto* self = static_cast<Owner*>(owner);
    std::lock_guard<std::mutex> guard(self->lock);
    self->blocks.emplace_back(block->samples, block->samples + block->length_bytes / 2);
    self->arrived.notify_all();
  }
  size_t Count() {
    std::lock_guard<std::mutex> guard(lock);
    return blocks.size();
  }
};

// Waits (at most 2 s) until the capture thread has handed over n blocks.
bool WaitForBlocks(Owner* owner, size_t n) {
  std::unique_lock<std::mutex> guard(owner->lock);
  return owner->arrived.wait_for(guard, std::chrono::seconds(2), [&] { return owner->blocks.size() >= n; });
}

// Waits until the capture thread has queued n buffers again.
bool WaitForQueued(FakeAudioInput* input, size_t n) {
  for (int i = 0; i < 2000 && input->QueuedCount() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return input->QueuedCount() >= n;
}

std::vector<int16_t> Counting(size_t n, int start = 0) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<int16_t>(start + static_cast<int>(i));
  return v;
}

class TalkSenderOnFake : public testing::TestWithParam<int> {};

TEST_P(TalkSenderOnFake, FirstRoundPassesTheHeadOfEachBufferLaterRoundsRecordExactly) {
  const int codec = GetParam();
  const size_t block_samples = (codec == kTalkCodecVoice ? kTalkBlockBytesVoice : kTalkBlockBytesG726) / 2;
  auto device = std::make_unique<FakeAudioInput>();
  FakeAudioInput* input = device.get();
  Owner owner;
  CTalkSender sender(&owner, &Owner::OnBlock, std::move(device));
  sender.set_talk_codec(codec);
  ASSERT_EQ(sender.Open(1024), 1);
  ASSERT_EQ(sender.AddBuffers(5), 1);
  EXPECT_TRUE(input->started());
  EXPECT_EQ(input->QueuedCount(), 5u);

  // First round: five 2,048-byte recordings, of which the head is passed on.
  const auto first = Counting(5 * 1024);
  ASSERT_EQ(input->Feed(first.data(), first.size()), first.size());
  ASSERT_TRUE(WaitForBlocks(&owner, 5));
  ASSERT_TRUE(WaitForQueued(input, 5));
  for (size_t b = 0; b < 5; ++b) {
    EXPECT_EQ(owner.blocks[b], std::vector<int16_t>(first.begin() + static_cast<long>(b * 1024),
                                                    first.begin() + static_cast<long>(b * 1024 + block_samples)));
  }
  // Later rounds record exactly one talk block per buffer, nothing lost.
  const auto later = Counting(10 * block_samples, 7000);
  ASSERT_EQ(input->Feed(later.data(), 5 * block_samples), 5 * block_samples);
  ASSERT_TRUE(WaitForQueued(input, 5));
  ASSERT_EQ(input->Feed(later.data() + 5 * block_samples, 5 * block_samples), 5 * block_samples);
  ASSERT_TRUE(WaitForBlocks(&owner, 15));
  std::vector<int16_t> joined;
  for (size_t b = 5; b < 15; ++b) joined.insert(joined.end(), owner.blocks[b].begin(), owner.blocks[b].end());
  EXPECT_EQ(joined, later);
}

INSTANTIATE_TEST_SUITE_P(Codecs, TalkSenderOnFake, testing::Values(kTalkCodecG726, kTalkCodecVoice));

TEST(TalkSender, CloseWhileCapturingStopsCallbacksAndFreesAfterTheThread) {
  for (int round = 0; round < 20; ++round) {
    auto device = std::make_unique<FakeAudioInput>();
    FakeAudioInput* input = device.get();
    Owner owner;
    auto sender = std::make_unique<CTalkSender>(&owner, &Owner::OnBlock, std::move(device));
    ASSERT_EQ(sender->Open(1024), 1);
    ASSERT_EQ(sender->AddBuffers(5), 1);
    std::atomic<bool> feeding{true};
    std::atomic<int> feeds{0};
    // The device side keeps delivering while Close runs on another thread.
    std::thread feeder([&] {
      const auto chunk = Counting(256);
      while (feeding.load()) {
        input->Feed(chunk.data(), chunk.size());
        ++feeds;
      }
    });
    EXPECT_TRUE(WaitForBlocks(&owner, static_cast<size_t>(round % 7)));
    sender->SetStopping();
    sender->Close();
    const size_t after_close = owner.Count();
    EXPECT_FALSE(input->IsOpen());
    // The feeder goes on feeding the closed device for a while.
    const int feeds_at_close = feeds.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (feeds.load() < feeds_at_close + 50 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    feeding = false;
    feeder.join();
    EXPECT_EQ(owner.Count(), after_close) << "no block after Close";
    sender.reset();
  }
}

TEST(TalkSender, OpenAndAddBuffersFailuresAreReported) {
  Owner owner;
  CTalkSender closed(&owner, &Owner::OnBlock, std::make_unique<FakeAudioInput>(false));
  EXPECT_EQ(closed.Open(1024), 0);
  EXPECT_EQ(closed.last_error(), CWaveInRecorder::kOpenFailed);
  EXPECT_EQ(closed.AddBuffers(5), 0);
  EXPECT_EQ(closed.last_error(), CWaveInRecorder::kNotOpen);
  closed.Close();
  closed.Close();  // twice is harmless
}

AudioBlock BlockOf(std::vector<int16_t>* samples, size_t bytes) {
  AudioBlock b;
  b.samples = samples->data();
  b.capacity_bytes = samples->size() * 2;
  b.length_bytes = bytes;
  return b;
}

TEST(TalkPacket, LayoutSizesAndTimeStampsPerCodec) {
  CTalkPacketizer packetizer(1234500);
  std::vector<int16_t> samples(1024, 0);
  uint8_t packet[kTalkPacketMaxBytes];

  // Codec 148: 32 ms of audio, a 132-byte payload.
  ASSERT_EQ(packetizer.Packetize(kTalkCodecG726, BlockOf(&samples, 512), packet, sizeof packet), 132u);
  EXPECT_EQ(platform::GetU32BE(packet), 12345u);
  streaming::FrameInfo info;
  ASSERT_TRUE(streaming::ParseFrameHeaderQuiet(packet + 4, &info));
  EXPECT_EQ(info.medium, streaming::kMediumAudio);
  EXPECT_EQ(info.record_size_bytes, 96u + 32u);
  EXPECT_EQ(info.time_stamp, 1234500u);
  EXPECT_EQ(streaming::AudioChannelFlagOf(info), 1);
  EXPECT_EQ(platform::GetU16BE(packet + 4 + 4), 96 + 26);
  EXPECT_EQ(packetizer.time_stamp(), 1234500u + 50000u);

  // Codec 150: 40 ms of audio, a 200-byte payload holding a voice frame.
  ASSERT_EQ(packetizer.Packetize(kTalkCodecVoice, BlockOf(&samples, 640), packet, sizeof packet), 200u);
  EXPECT_EQ(platform::GetU32BE(packet), 12845u);
  EXPECT_EQ(packet[36 + 1], 0x01);
  EXPECT_EQ(packet[36 + 2], 80);

  // No audio for codec 149, nor for a block of the other codec's size.
  EXPECT_EQ(packetizer.Packetize(kTalkCodecNone, BlockOf(&samples, 512), packet, sizeof packet), 0u);
  EXPECT_EQ(packetizer.Packetize(kTalkCodecNone, BlockOf(&samples, 640), packet, sizeof packet), 0u);
  EXPECT_EQ(packetizer.Packetize(kTalkCodecG726, BlockOf(&samples, 640), packet, sizeof packet), 0u);
  EXPECT_EQ(packetizer.Packetize(kTalkCodecVoice, BlockOf(&samples, 2048), packet, sizeof packet), 0u);
  EXPECT_EQ(packetizer.time_stamp(), 1234500u + 100000u);
  EXPECT_EQ(packetizer.Packetize(kTalkCodecG726, BlockOf(&samples, 512), packet, 131), 0u) << "too small";
}

}  // namespace
