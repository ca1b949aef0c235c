// Fake audio devices for unit tests: no sound, everything observable. The
// test plays the device's part: it completes written blocks and feeds
// samples into queued input blocks, from its own thread, when it chooses.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "audio/audio_device.h"

class FakeAudioOutput final : public IAudioOutput {
 public:
  struct Options {
    bool open_ok = true;   // Open succeeds
    bool write_ok = true;  // Write accepts blocks
  };
  FakeAudioOutput() = default;
  explicit FakeAudioOutput(Options options) : options_(options) {}
  ~FakeAudioOutput() override { Close(); }

  bool Open(AudioBlockDoneFn done, void* user) override;
  bool IsOpen() const override;
  bool SetPitch(uint32_t pitch) override;
  bool Prepare(AudioBlock* block) override;
  bool Unprepare(AudioBlock* block) override;
  bool Write(AudioBlock* block) override;
  void Reset() override;
  void Close() override;

  // The device side: returns the oldest n held blocks as played (fewer when
  // it holds fewer); returns how many it returned.
  size_t CompleteOldest(size_t n);
  size_t HeldCount() const;
  // Samples of every accepted write, in order.
  std::vector<std::vector<int16_t>> Writes() const;
  uint32_t pitch() const;
  void set_write_ok(bool ok);

 private:
  // Calls the callback for blocks taken off the queue (counted in
  // returning_ when they were taken).
  void Return(std::deque<AudioBlock*> blocks);
  // Reset and Close wait here until no callback runs.
  void WaitIdle();

  Options options_;
  mutable std::mutex lock_;
  std::condition_variable idle_;
  int returning_ = 0;  // blocks taken off the queue whose callback has not finished
  bool open_ = false;
  uint32_t pitch_ = 0;
  AudioBlockDoneFn done_ = nullptr;
  void* user_ = nullptr;
  std::deque<AudioBlock*> held_;
  std::vector<std::vector<int16_t>> writes_;
};

class FakeAudioInput final : public IAudioInput {
 public:
  explicit FakeAudioInput(bool open_ok = true) : open_ok_(open_ok) {}
  ~FakeAudioInput() override { Close(); }

  bool Open(AudioBlockDoneFn filled, void* user) override;
  bool IsOpen() const override;
  bool Prepare(AudioBlock* block) override;
  bool Unprepare(AudioBlock* block) override;
  bool AddBuffer(AudioBlock* block) override;
  bool Start() override;
  bool Stop() override;
  void Reset() override;
  void Close() override;

  // The device side: while started, copies samples into the queued blocks
  // in order, returning each block as it fills; returns the samples taken.
  // Samples beyond the queued room are dropped, as a real device overruns.
  size_t Feed(const int16_t* samples, size_t count);
  size_t QueuedCount() const;
  bool started() const;

 private:
  void Return(std::deque<AudioBlock*> blocks);
  void WaitIdle();

  bool open_ok_;
  mutable std::mutex lock_;
  std::condition_variable idle_;
  int returning_ = 0;  // blocks taken off the queue whose callback has not finished
  bool open_ = false;
  bool started_ = false;
  AudioBlockDoneFn filled_ = nullptr;
  void* user_ = nullptr;
  std::deque<AudioBlock*> queued_;
};
