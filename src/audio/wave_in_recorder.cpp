#include "audio/wave_in_recorder.h"

#include <algorithm>
#include <cstring>

int TalkCodecForPlatform(int platform_code) {
  if (platform_code == 164) return kTalkCodecVoice;
  if (platform_code == 162) return kTalkCodecNone;
  return kTalkCodecG726;
}

CWaveInRecorder::CWaveInRecorder() : CWaveInRecorder(CreateDefaultAudioInput()) {}

CWaveInRecorder::CWaveInRecorder(std::unique_ptr<IAudioInput> device) : device_(std::move(device)) {}

CWaveInRecorder::~CWaveInRecorder() { CWaveInRecorder::Close(); }

int CWaveInRecorder::OnBlock(AudioBlock*) { return 1; }

void CWaveInRecorder::SetStopping() { stopping_ = true; }

int CWaveInRecorder::Open(int buffer_size) {
  Close();
  buffer_size_ = std::max(buffer_size, 1);
  stopping_ = false;
  {
    std::lock_guard<std::mutex> lock(queue_lock_);
    quit_ = false;
    messages_.clear();
  }
  thread_ = std::thread([this] { CaptureThread(); });
  if (!device_->Open(&CWaveInRecorder::OnDeviceBlock, this)) {
    last_error_ = kOpenFailed;
    return 0;
  }
  return 1;
}

int CWaveInRecorder::AddBuffers(int count) {
  if (!device_->IsOpen()) {
    last_error_ = kNotOpen;
    return 0;
  }
  buffer_count_ = count;
  const size_t bytes = static_cast<size_t>(buffer_size_) * kAudioBlockAlign;
  for (int i = 0; i < count; ++i) {
    auto* block = new AudioBlock{};
    block->samples = new int16_t[static_cast<size_t>(buffer_size_)]();
    block->capacity_bytes = bytes;
    block->length_bytes = bytes;
    {
      std::lock_guard<std::mutex> lock(buffers_lock_);
      buffers_.push_back(block);
    }
    if (!device_->Prepare(block)) {
      last_error_ = kPrepareFailed;
      return 0;
    }
    if (!device_->AddBuffer(block)) {
      last_error_ = kAddFailed;
      return 0;
    }
  }
  if (!device_->Start()) {
    last_error_ = kStartFailed;
    return 0;
  }
  return 1;
}

void CWaveInRecorder::OnDeviceBlock(AudioBlock* block, void* user) {
  auto* self = static_cast<CWaveInRecorder*>(user);
  {
    std::lock_guard<std::mutex> lock(self->queue_lock_);
    self->messages_.push_back(block);
  }
  self->queue_cv_.notify_one();
}

void CWaveInRecorder::CaptureThread() {
  for (;;) {
    AudioBlock* block;
    {
      std::unique_lock<std::mutex> lock(queue_lock_);
      queue_cv_.wait(lock, [this] { return quit_ || !messages_.empty(); });
      if (quit_) return;
      block = messages_.front();
      messages_.pop_front();
    }
    if (block == nullptr || stopping_.load()) continue;
    const bool unprepared = device_->Unprepare(block);
    block->length_bytes = std::min(talk_codec_.load() == kTalkCodecVoice ? kTalkBlockBytesVoice : kTalkBlockBytesG726,
                                   block->capacity_bytes);
    if (unprepared) OnBlock(block);
    bool ours;
    {
      std::lock_guard<std::mutex> lock(buffers_lock_);
      ours = std::find(buffers_.begin(), buffers_.end(), block) != buffers_.end();
    }
    if (ours && !stopping_.load()) {
      block->recorded_bytes = 0;
      if (device_->Prepare(block)) device_->AddBuffer(block);
    }
  }
}

void CWaveInRecorder::StopThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(queue_lock_);
    quit_ = true;
  }
  queue_cv_.notify_all();
  thread_.join();
}

void CWaveInRecorder::Close() {
  if (device_->IsOpen()) {
    stopping_ = true;
    device_->Stop();
    device_->Reset();
  }
  StopThread();
  device_->Close();
  std::vector<AudioBlock*> buffers;
  {
    std::lock_guard<std::mutex> lock(buffers_lock_);
    buffers.swap(buffers_);
  }
  for (AudioBlock* b : buffers) {
    delete[] b->samples;
    delete b;
  }
  std::lock_guard<std::mutex> lock(queue_lock_);
  messages_.clear();
}

CTalkSender::CTalkSender(void* owner, TalkBlockFn callback) : owner_(owner), callback_(callback) {}

CTalkSender::CTalkSender(void* owner, TalkBlockFn callback, std::unique_ptr<IAudioInput> device)
    : CWaveInRecorder(std::move(device)), owner_(owner), callback_(callback) {}

// The capture thread calls OnBlock of this class: it must end before the
// members it uses do.
CTalkSender::~CTalkSender() { Close(); }

int CTalkSender::OnBlock(AudioBlock* header) {
  const size_t samples = header->length_bytes / kAudioBlockAlign;
  if (copy_.size() < samples) copy_.resize(samples);
  std::memcpy(copy_.data(), header->samples, samples * kAudioBlockAlign);
  AudioBlock copy = *header;
  copy.samples = copy_.data();
  copy.capacity_bytes = copy_.size() * kAudioBlockAlign;
  copy.device_next = nullptr;
  if (callback_ != nullptr) callback_(owner_, &copy);
  return 1;
}
