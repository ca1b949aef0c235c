// CWaveOutPlayer on the fake output device.
#include "audio/wave_out_player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/fake_audio_device.h"
#include "platform/clock.h"
#include "platform/notice.h"

namespace {

struct PlayerOnFake {
  explicit PlayerOnFake(FakeAudioOutput::Options device_options = {}, CWaveOutPlayer::Options options = {}) {
    auto d = std::make_unique<FakeAudioOutput>(device_options);
    device = d.get();
    platform::SetNoticeSink(&notices);
    player = std::make_unique<CWaveOutPlayer>(std::move(d), options);
  }
  ~PlayerOnFake() {
    player.reset();
    platform::SetNoticeSink(nullptr);
  }
  platform::RecordingNoticeSink notices;
  FakeAudioOutput* device;
  std::unique_ptr<CWaveOutPlayer> player;
};

std::vector<int16_t> Ramp(size_t n, int16_t step = 1) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<int16_t>(static_cast<int>(i % 30000) * step);
  return v;
}

TEST(WaveOutPlayer, StartsMutedAtHalfVolumeWithTheFullPoolAtNormalPitch) {
  PlayerOnFake f;
  EXPECT_TRUE(f.player->muted());
  EXPECT_EQ(f.player->pool_size(), 1000u);
  EXPECT_EQ(f.player->free_count(), 1000u);
  EXPECT_EQ(f.device->pitch(), 0x10000u);
  EXPECT_TRUE(f.notices.Texts().empty());

  // Muted: played as far as the caller knows, nothing reaches the device.
  const auto samples = Ramp(320);
  EXPECT_EQ(f.player->Play(samples.data(), 320, 17, false), 1);
  EXPECT_TRUE(f.device->Writes().empty());
}

TEST(WaveOutPlayer, SampleCountsPerCodecAndTheOneBufferLimit) {
  PlayerOnFake f;
  f.player->SetMuted(0);
  f.player->SetVolume(0xFFFF);
  const auto samples = Ramp(9000);
  for (uint8_t codec : {17, 18, 19}) EXPECT_EQ(f.player->Play(samples.data(), 320, codec, false), 1);
  // G.721 reports input bytes: 80 bytes are 160 samples, a 320-byte write.
  EXPECT_EQ(f.player->Play(samples.data(), 80, 20, false), 1);
  EXPECT_EQ(f.player->Play(samples.data(), 9000, 18, false), 1);
  EXPECT_EQ(f.player->Play(samples.data(), 4500, 0x95, false), 1);
  EXPECT_EQ(f.player->Play(samples.data(), 0, 17, false), 0);
  EXPECT_EQ(f.player->Play(samples.data(), -1, 18, false), 0);

  const auto writes = f.device->Writes();
  ASSERT_EQ(writes.size(), 6u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(writes[static_cast<size_t>(i)].size() * 2, 640u);
  EXPECT_EQ(writes[3].size() * 2, 320u);
  EXPECT_EQ(writes[4].size(), 8000u) << "never more than one 16,000-byte buffer";
  EXPECT_EQ(writes[5].size(), 8000u);
  // Volume 0xFFFF is a factor just below 1: every sample but 0 loses one
  // step to truncation toward zero at most.
  for (size_t i = 0; i < 320; ++i) EXPECT_LE(std::abs(writes[0][i] - samples[i]), 1) << i;
}

TEST(WaveOutPlayer, VolumeFactorTruncatesTowardZero) {
  PlayerOnFake f;
  f.player->SetMuted(0);
  f.player->SetVolume(0x8000);
  EXPECT_NEAR(f.player->volume_factor(), 0.5, 1e-4);
  const int16_t samples[4] = {1000, -1000, 3, -3};
  ASSERT_EQ(f.player->Play(samples, 4, 17, false), 1);
  f.player->SetVolume(0);
  ASSERT_EQ(f.player->Play(samples, 4, 17, false), 1);
  const auto writes = f.device->Writes();
  EXPECT_EQ(writes[0], (std::vector<int16_t>{500, -500, 1, -1}));
  EXPECT_EQ(writes[1], (std::vector<int16_t>{0, 0, 0, 0}));
  EXPECT_EQ(f.player->GetVolume(), 0);
  f.player->SetVolume(0xFFFF);
  EXPECT_EQ(f.player->GetVolume(), 0xFFFF);
}

TEST(WaveOutPlayer, ExhaustedPoolDropsOrWaitsForAReturnedBuffer) {
  CWaveOutPlayer::Options options;
  options.wait_limit_ms = 100;
  PlayerOnFake f({}, options);
  f.player->SetMuted(0);
  const auto samples = Ramp(160);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(f.player->Play(samples.data(), 160, 17, false), 1) << i;
  EXPECT_EQ(f.player->free_count(), 0u);
  EXPECT_EQ(f.player->Play(samples.data(), 160, 17, false), 0) << "no wait: dropped at once";

  // With the wait flag a bounded wait ends in a drop when nothing comes back.
  const int64_t start = platform::MonotonicMs();
  EXPECT_EQ(f.player->Play(samples.data(), 160, 17, true), 0);
  EXPECT_GE(platform::MonotonicMs() - start, 90);

  // ... and in a write when the device returns a buffer meanwhile (or
  // before: the buffer then waits in the free list).
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = f.player->Play(samples.data(), 160, 17, true); });
  f.device->CompleteOldest(1);
  waiter.join();
  EXPECT_EQ(result.load(), 1);
  EXPECT_EQ(f.device->HeldCount(), 1000u);

  f.device->CompleteOldest(1000);
  EXPECT_EQ(f.player->free_count(), 1000u);
  EXPECT_TRUE(f.player->WaitUntilPlayed(0));
}

TEST(WaveOutPlayer, RefusedWriteKeepsTheBufferAtTheFrontOfTheFreeList) {
  PlayerOnFake f;
  f.player->SetMuted(0);
  f.device->set_write_ok(false);
  const auto samples = Ramp(100);
  EXPECT_EQ(f.player->Play(samples.data(), 100, 17, true), 0);
  EXPECT_EQ(f.player->free_count(), 1000u);
  EXPECT_TRUE(f.player->WaitUntilPlayed(0));
}

TEST(WaveOutPlayer, DeviceOpenFailureLeavesAnEmptyPoolAfterOneNotice) {
  FakeAudioOutput::Options device;
  device.open_ok = false;
  PlayerOnFake f(device);
  EXPECT_EQ(f.notices.Texts(), std::vector<std::string>{"Audio Device Open Error!"});
  EXPECT_EQ(f.player->pool_size(), 0u);
  f.player->SetMuted(0);
  const auto samples = Ramp(100);
  EXPECT_EQ(f.player->Play(samples.data(), 100, 17, false), 0);
  EXPECT_EQ(f.player->Play(samples.data(), 100, 17, true), 0) << "an empty pool never waits";
}

// Headers and buffers alternate in the allocation order; failing the n-th
// allocation ends the process with the heap notice and status 1.
std::atomic<int> g_allocations_left{0};
void* FailingAlloc(size_t count, size_t size) {
  if (g_allocations_left.fetch_sub(1) <= 0) return nullptr;
  return std::calloc(count, size);
}

TEST(WaveOutPlayerDeathTest, FailedAllocationEndsTheProcessWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int left : {0, 7}) {  // the first header; the buffer of the fourth
    EXPECT_EXIT(
        {
          g_allocations_left = left;
          CWaveOutPlayer::Options options;
          options.zero_alloc = FailingAlloc;
          CWaveOutPlayer player(std::make_unique<FakeAudioOutput>(), options);
        },
        testing::ExitedWithCode(1), "Error HeapAlloc\\(\\)");
  }
}

// The fake output whose Reset, the destructor's first call into the device
// once no Play is inside any more, first waits (bounded) until the test's
// waiting threads have all come back from Play. A thread the scheduler held
// back until destruction had begun is then refused inside a player that is
// still there, instead of calling into a freed one.
class ResetAfterWaiters final : public IAudioOutput {
 public:
  explicit ResetAfterWaiters(int waiters) : waiters_(waiters) {}
  FakeAudioOutput& fake() { return fake_; }
  void Returned() {
    std::lock_guard<std::mutex> lock(lock_);
    ++returned_;
    changed_.notify_all();
  }

  bool Open(AudioBlockDoneFn done, void* user) override { return fake_.Open(done, user); }
  bool IsOpen() const override { return fake_.IsOpen(); }
  bool SetPitch(uint32_t pitch) override { return fake_.SetPitch(pitch); }
  bool Prepare(AudioBlock* block) override { return fake_.Prepare(block); }
  bool Unprepare(AudioBlock* block) override { return fake_.Unprepare(block); }
  bool Write(AudioBlock* block) override { return fake_.Write(block); }
  void Reset() override {
    {
      std::unique_lock<std::mutex> lock(lock_);
      changed_.wait_for(lock, std::chrono::seconds(10), [this] { return returned_ == waiters_; });
    }
    fake_.Reset();
  }
  void Close() override { fake_.Close(); }

 private:
  const int waiters_;
  FakeAudioOutput fake_;
  std::mutex lock_;
  std::condition_variable changed_;
  int returned_ = 0;
};

TEST(WaveOutPlayer, DestructionReleasesWaitingPlaysAndGetsEveryBufferBackBeforeFreeing) {
  // The pool is exhausted and three threads wait in Play for a buffer. The
  // destructor must release them (refused, 0) before it resets the device,
  // get all 1,000 held buffers back and close the device. Under the
  // sanitizers this also shows nothing is touched after it is freed.
  constexpr int kWaiters = 3;
  auto d = std::make_unique<ResetAfterWaiters>(kWaiters);
  ResetAfterWaiters* device = d.get();
  CWaveOutPlayer::Options options;
  options.wait_limit_ms = 20000;
  auto player = std::make_unique<CWaveOutPlayer>(std::move(d), options);
  CWaveOutPlayer* raw = player.get();
  raw->SetMuted(0);
  const auto samples = Ramp(800);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(raw->Play(samples.data(), 800, 18, false), 1);
  ASSERT_EQ(device->fake().HeldCount(), 1000u);

  std::atomic<int> calling{0};
  std::atomic<int> returned{0};
  std::atomic<int> results{0};
  std::vector<std::thread> waiters;
  for (int t = 0; t < kWaiters; ++t) {
    waiters.emplace_back([&] {
      ++calling;
      results += raw->Play(samples.data(), 800, 18, true);
      ++returned;
      device->Returned();
    });
  }
  const int64_t deadline = platform::MonotonicMs() + 5000;
  while (calling.load() < kWaiters && platform::MonotonicMs() < deadline) std::this_thread::yield();
  EXPECT_EQ(calling.load(), kWaiters);
  EXPECT_EQ(returned.load(), 0) << "no buffer came back, so no Play can have ended";
  const int64_t start = platform::MonotonicMs();
  player.reset();
  for (auto& t : waiters) t.join();
  // Well inside the 20 s a Play may wait: the destruction released them.
  EXPECT_LT(platform::MonotonicMs() - start, 5000);
  EXPECT_EQ(returned.load(), kWaiters);
  EXPECT_EQ(results.load(), 0);
}

}  // namespace
