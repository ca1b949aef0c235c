#include "audio/wave_out_player.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "platform/notice.h"

void CWaveOutPlayer::HeaderList::PushBack(Header* h) {
  h->next = nullptr;
  h->prev = tail_;
  if (tail_ != nullptr) {
    tail_->next = h;
  } else {
    head_ = h;
  }
  tail_ = h;
  ++size_;
}

void CWaveOutPlayer::HeaderList::PushFront(Header* h) {
  h->prev = nullptr;
  h->next = head_;
  if (head_ != nullptr) {
    head_->prev = h;
  } else {
    tail_ = h;
  }
  head_ = h;
  ++size_;
}

CWaveOutPlayer::Header* CWaveOutPlayer::HeaderList::PopFront() {
  Header* h = head_;
  if (h != nullptr) Remove(h);
  return h;
}

void CWaveOutPlayer::HeaderList::Remove(Header* h) {
  if (h->prev != nullptr) {
    h->prev->next = h->next;
  } else {
    head_ = h->next;
  }
  if (h->next != nullptr) {
    h->next->prev = h->prev;
  } else {
    tail_ = h->prev;
  }
  h->prev = h->next = nullptr;
  --size_;
}

CWaveOutPlayer::CWaveOutPlayer() : CWaveOutPlayer(CreateDefaultAudioOutput()) {}

CWaveOutPlayer::CWaveOutPlayer(std::unique_ptr<IAudioOutput> device) : CWaveOutPlayer(std::move(device), Options{}) {}

CWaveOutPlayer::CWaveOutPlayer(std::unique_ptr<IAudioOutput> device, const Options& options)
    : options_(options), device_(std::move(device)) {
  // The open result is not checked here: a device that did not open refuses
  // to prepare headers, which the pool preparation reports.
  device_->Open(&CWaveOutPlayer::OnBlockDone, this);
  device_->SetPitch(kWaveOutPitchNormal);
  PreparePool();
}

void CWaveOutPlayer::PreparePool() {
  std::lock_guard<std::mutex> lock(lock_);
  headers_.reserve(static_cast<size_t>(std::max(options_.header_count, 0)));
  for (int i = 0; i < options_.header_count; ++i) {
    void* memory = options_.zero_alloc(1, sizeof(Header));
    if (memory == nullptr) platform::FatalExit(kHeapAllocErrorText);
    auto* h = new (memory) Header{};
    h->block.samples = static_cast<int16_t*>(options_.zero_alloc(1, kWaveOutBufferBytes));
    if (h->block.samples == nullptr) platform::FatalExit(kHeapAllocErrorText);
    h->block.capacity_bytes = kWaveOutBufferBytes;
    h->block.length_bytes = kWaveOutBufferBytes;
    h->block.user = h;
    if (!device_->Prepare(&h->block)) {
      platform::ShowNotice(kAudioDeviceOpenErrorText);
      FreeHeader(h);
      break;
    }
    headers_.push_back(h);
    free_.PushBack(h);
  }
  pool_size_ = headers_.size();
}

void CWaveOutPlayer::FreeHeader(Header* h) {
  std::free(h->block.samples);
  h->~Header();
  std::free(h);
}

CWaveOutPlayer::~CWaveOutPlayer() {
  {
    std::unique_lock<std::mutex> lock(lock_);
    closing_ = true;
    returned_.notify_all();
    drained_.wait(lock, [this] { return active_plays_ == 0; });
  }
  device_->Reset();
  {
    std::unique_lock<std::mutex> lock(lock_);
    drained_.wait(lock, [this] { return pending_.Empty(); });
  }
  device_->Close();
  for (Header* h : headers_) {
    device_->Unprepare(&h->block);
    FreeHeader(h);
  }
}

void CWaveOutPlayer::OnBlockDone(AudioBlock* block, void* user) {
  auto* self = static_cast<CWaveOutPlayer*>(user);
  auto* h = static_cast<Header*>(block->user);
  {
    std::lock_guard<std::mutex> lock(self->lock_);
    self->pending_.Remove(h);
    self->free_.PushBack(h);
    if (self->pending_.Empty()) self->drained_.notify_all();
  }
  self->returned_.notify_one();
}

int CWaveOutPlayer::Play(const int16_t* samples, int count, uint8_t codec, bool wait) {
  if (count <= 0 || samples == nullptr) return 0;
  if (muted_.load()) return 1;

  Header* h = nullptr;
  {
    std::unique_lock<std::mutex> lock(lock_);
    if (closing_) return 0;
    // Counted from here on, waiting included: destruction waits for every
    // Play inside before it touches the device or the lists.
    ++active_plays_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.wait_limit_ms);
    while ((h = free_.PopFront()) == nullptr) {
      if (!wait || closing_ || pool_size_ == 0 ||
          returned_.wait_until(lock, deadline) == std::cv_status::timeout) {
        h = closing_ ? nullptr : free_.PopFront();
        if (h == nullptr) {
          if (--active_plays_ == 0) drained_.notify_all();
          return 0;
        }
        break;
      }
    }
    pending_.PushBack(h);
  }

  const bool per_sample = codec == 17 || codec == 18 || codec == 19;
  const size_t wanted = per_sample ? static_cast<size_t>(count) : 2 * static_cast<size_t>(count);
  const size_t n = std::min(wanted, kWaveOutBufferSamples);
  const float factor = volume_.load();
  for (size_t i = 0; i < n; ++i) h->block.samples[i] = static_cast<int16_t>(static_cast<float>(samples[i]) * factor);
  h->block.length_bytes = n * 2;

  const bool written = device_->Write(&h->block);
  std::lock_guard<std::mutex> lock(lock_);
  if (!written) {
    pending_.Remove(h);
    free_.PushFront(h);
    if (pending_.Empty()) drained_.notify_all();
    returned_.notify_one();
  }
  if (--active_plays_ == 0) drained_.notify_all();
  return written ? 1 : 0;
}

void CWaveOutPlayer::SetMuted(int flag) { muted_ = flag != 0; }

void CWaveOutPlayer::SetVolume(uint16_t v) {
  volume_ = static_cast<float>(static_cast<double>(v) * 65537.0 / 4294967296.0);
}

uint16_t CWaveOutPlayer::GetVolume() const { return static_cast<uint16_t>(volume_.load() * 65535.0f); }

bool CWaveOutPlayer::WaitUntilPlayed(long timeout_ms) {
  std::unique_lock<std::mutex> lock(lock_);
  return drained_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [this] { return pending_.Empty() && active_plays_ == 0; });
}

size_t CWaveOutPlayer::free_count() const {
  std::lock_guard<std::mutex> lock(lock_);
  return free_.size();
}
