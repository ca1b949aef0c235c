#include "audio/fake_audio_device.h"

#include <algorithm>
#include <cstring>

bool FakeAudioOutput::Open(AudioBlockDoneFn done, void* user) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!options_.open_ok || open_) return false;
  open_ = true;
  done_ = done;
  user_ = user;
  return true;
}

bool FakeAudioOutput::IsOpen() const {
  std::lock_guard<std::mutex> lock(lock_);
  return open_;
}

bool FakeAudioOutput::SetPitch(uint32_t pitch) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!open_) return false;
  pitch_ = pitch;
  return true;
}

bool FakeAudioOutput::Prepare(AudioBlock* block) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!open_ || block == nullptr) return false;
  block->prepared = true;
  return true;
}

bool FakeAudioOutput::Unprepare(AudioBlock* block) {
  std::lock_guard<std::mutex> lock(lock_);
  if (block == nullptr || block->queued) return false;
  block->prepared = false;
  return true;
}

bool FakeAudioOutput::Write(AudioBlock* block) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!open_ || !options_.write_ok || block == nullptr || !block->prepared || block->queued ||
      block->length_bytes > block->capacity_bytes) {
    return false;
  }
  block->queued = true;
  held_.push_back(block);
  writes_.emplace_back(block->samples, block->samples + block->length_bytes / 2);
  return true;
}

void FakeAudioOutput::Reset() {
  std::deque<AudioBlock*> blocks;
  {
    std::lock_guard<std::mutex> lock(lock_);
    blocks.swap(held_);
    returning_ += static_cast<int>(blocks.size());
  }
  Return(std::move(blocks));
  WaitIdle();
}

void FakeAudioOutput::WaitIdle() {
  std::unique_lock<std::mutex> lock(lock_);
  idle_.wait(lock, [this] { return returning_ == 0; });
}

void FakeAudioOutput::Close() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    open_ = false;
  }
  Reset();
}

size_t FakeAudioOutput::CompleteOldest(size_t n) {
  std::deque<AudioBlock*> blocks;
  {
    std::lock_guard<std::mutex> lock(lock_);
    n = std::min(n, held_.size());
    blocks.assign(held_.begin(), held_.begin() + static_cast<long>(n));
    held_.erase(held_.begin(), held_.begin() + static_cast<long>(n));
    returning_ += static_cast<int>(n);
  }
  Return(std::move(blocks));
  return n;
}

size_t FakeAudioOutput::HeldCount() const {
  std::lock_guard<std::mutex> lock(lock_);
  return held_.size();
}

std::vector<std::vector<int16_t>> FakeAudioOutput::Writes() const {
  std::lock_guard<std::mutex> lock(lock_);
  return writes_;
}

uint32_t FakeAudioOutput::pitch() const {
  std::lock_guard<std::mutex> lock(lock_);
  return pitch_;
}

void FakeAudioOutput::set_write_ok(bool ok) {
  std::lock_guard<std::mutex> lock(lock_);
  options_.write_ok = ok;
}

void FakeAudioOutput::Return(std::deque<AudioBlock*> blocks) {
  for (AudioBlock* b : blocks) {
    AudioBlockDoneFn done;
    void* user;
    {
      std::lock_guard<std::mutex> lock(lock_);
      b->queued = false;
      done = done_;
      user = user_;
    }
    if (done != nullptr) done(b, user);
    std::lock_guard<std::mutex> lock(lock_);
    if (--returning_ == 0) idle_.notify_all();
  }
}

bool FakeAudioInput::Open(AudioBlockDoneFn filled, void* user) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!open_ok_ || open_) return false;
  open_ = true;
  filled_ = filled;
  user_ = user;
  return true;
}

bool FakeAudioInput::IsOpen() const {
  std::lock_guard<std::mutex> lock(lock_);
  return open_;
}

bool FakeAudioInput::Prepare(AudioBlock* block) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!open_ || block == nullptr) return false;
  block->prepared = true;
  return true;
}

bool FakeAudioInput::Unprepare(AudioBlock* block) {
  std::lock_guard<std::mutex> lock(lock_);
  if (block == nullptr || block->queued) return false;
  block->prepared = false;
  return true;
}

bool FakeAudioInput::AddBuffer(AudioBlock* block) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!open_ || block == nullptr || !block->prepared || block->queued ||
      block->length_bytes > block->capacity_bytes) {
    return false;
  }
  block->queued = true;
  block->recorded_bytes = 0;
  queued_.push_back(block);
  return true;
}

bool FakeAudioInput::Start() {
  std::lock_guard<std::mutex> lock(lock_);
  if (!open_) return false;
  started_ = true;
  return true;
}

bool FakeAudioInput::Stop() {
  std::lock_guard<std::mutex> lock(lock_);
  if (!open_) return false;
  started_ = false;
  return true;
}

void FakeAudioInput::Reset() {
  std::deque<AudioBlock*> blocks;
  {
    std::lock_guard<std::mutex> lock(lock_);
    started_ = false;
    blocks.swap(queued_);
    returning_ += static_cast<int>(blocks.size());
  }
  Return(std::move(blocks));
  WaitIdle();
}

void FakeAudioInput::WaitIdle() {
  std::unique_lock<std::mutex> lock(lock_);
  idle_.wait(lock, [this] { return returning_ == 0; });
}

void FakeAudioInput::Close() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    open_ = false;
  }
  Reset();
}

size_t FakeAudioInput::Feed(const int16_t* samples, size_t count) {
  size_t taken = 0;
  while (taken < count) {
    AudioBlock* full = nullptr;
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (!started_ || queued_.empty()) break;
      AudioBlock* b = queued_.front();
      const size_t room = (b->length_bytes - b->recorded_bytes) / 2;
      const size_t n = std::min(room, count - taken);
      std::memcpy(reinterpret_cast<uint8_t*>(b->samples) + b->recorded_bytes, samples + taken, n * 2);
      b->recorded_bytes += n * 2;
      taken += n;
      if (b->recorded_bytes >= b->length_bytes) {
        queued_.pop_front();
        full = b;
        ++returning_;
      }
    }
    if (full != nullptr) Return({full});
  }
  return taken;
}

size_t FakeAudioInput::QueuedCount() const {
  std::lock_guard<std::mutex> lock(lock_);
  return queued_.size();
}

bool FakeAudioInput::started() const {
  std::lock_guard<std::mutex> lock(lock_);
  return started_;
}

void FakeAudioInput::Return(std::deque<AudioBlock*> blocks) {
  for (AudioBlock* b : blocks) {
    AudioBlockDoneFn filled;
    void* user;
    {
      std::lock_guard<std::mutex> lock(lock_);
      b->queued = false;
      filled = filled_;
      user = user_;
    }
    if (filled != nullptr) filled(b, user);
    std::lock_guard<std::mutex> lock(lock_);
    if (--returning_ == 0) idle_.notify_all();
  }
}
