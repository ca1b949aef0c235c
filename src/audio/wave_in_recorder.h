// Talk capture: CWaveInRecorder records the default input (8,000 Hz, mono,
// 16-bit) into a ring of buffers on a capture thread of its own;
// CTalkSender hands every captured block to its owner's callback.
//
// The device returns each filled buffer to the capture thread through a
// message queue. For every buffer the thread, unless the recorder is
// stopping: unprepares it, sets its length to 640 bytes (talk codec 150) or
// 512 bytes (any other), calls OnBlock when unpreparing succeeded, then
// prepares it again and gives it back to the device. Buffers are made with
// buffer size x 2 bytes, so the first round passes on the first 640 or 512
// bytes of a longer recording; later rounds record exactly that much.
//
// Close sets stopping (blocks that arrive from then on are ignored), stops
// and resets the device, wakes the capture thread with a quit flag set under
// the queue's lock (it cannot be lost), joins it, closes the device and only
// then frees the buffers.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/audio_device.h"

inline constexpr int kTalkCodecG726 = 148;
inline constexpr int kTalkCodecNone = 149;
inline constexpr int kTalkCodecVoice = 150;

inline constexpr int kWaveInBufferCount = 5;
inline constexpr int kWaveInBufferSamples = 1024;
inline constexpr size_t kTalkBlockBytesVoice = 640;  // 320 samples, 40 ms
inline constexpr size_t kTalkBlockBytesG726 = 512;   // 256 samples, 32 ms

// The talk codec a DVR platform uses.
int TalkCodecForPlatform(int platform_code);

class CWaveInRecorder {
 public:
  // Records from the default input device.
  CWaveInRecorder();
  explicit CWaveInRecorder(std::unique_ptr<IAudioInput> device);
  virtual ~CWaveInRecorder();
  CWaveInRecorder(const CWaveInRecorder&) = delete;
  CWaveInRecorder& operator=(const CWaveInRecorder&) = delete;

  // One captured block, on the capture thread. The base does nothing.
  virtual int OnBlock(AudioBlock* header);
  virtual void Close();
  // Requires an open device: makes count buffers, queues them and starts
  // capturing. 1 on success, 0 with last_error() set.
  virtual int AddBuffers(int count);
  // Closes, then starts the capture thread and opens the device with
  // buffers of buffer_size samples. 1 on success, 0 with last_error() set.
  virtual int Open(int buffer_size);
  virtual void SetStopping();

  void set_talk_codec(int codec) { talk_codec_ = codec; }
  int talk_codec() const { return talk_codec_.load(); }
  int buffer_size() const { return buffer_size_; }
  int last_error() const { return last_error_.load(); }
  bool stopping() const { return stopping_.load(); }

  // Texts of last_error() codes.
  enum Error { kNoError = 0, kOpenFailed = 1, kNotOpen = 2, kPrepareFailed = 3, kAddFailed = 4, kStartFailed = 5 };

 private:
  static void OnDeviceBlock(AudioBlock* block, void* user);
  void CaptureThread();
  void StopThread();

  std::unique_ptr<IAudioInput> device_;
  int buffer_count_ = kWaveInBufferCount;
  int buffer_size_ = kWaveInBufferSamples;
  std::atomic<int> last_error_{kNoError};
  std::atomic<bool> stopping_{false};
  std::atomic<int> talk_codec_{kTalkCodecG726};

  std::mutex buffers_lock_;
  std::vector<AudioBlock*> buffers_;

  std::thread thread_;
  std::mutex queue_lock_;
  std::condition_variable queue_cv_;
  std::deque<AudioBlock*> messages_;
  bool quit_ = false;
};

// The owner's callback: the captured block is a copy that lives only for the
// duration of the call (its samples hold length_bytes bytes).
using TalkBlockFn = void (*)(void* owner, const AudioBlock* block);

class CTalkSender : public CWaveInRecorder {
 public:
  CTalkSender(void* owner, TalkBlockFn callback);
  CTalkSender(void* owner, TalkBlockFn callback, std::unique_ptr<IAudioInput> device);
  ~CTalkSender() override;

  int OnBlock(AudioBlock* header) override;

 private:
  void* owner_;
  TalkBlockFn callback_;
  std::vector<int16_t> copy_;  // reused for every block; grows once
};
