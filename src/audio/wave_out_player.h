// CWaveOutPlayer: the process's one player of decoded DVR audio on the
// default output (8,000 Hz, mono, 16-bit).
//
// A pool of headers, each owning a 16,000-byte buffer, is made at
// construction; Play takes a free header, copies the frame into it with the
// volume applied and writes it to the device; the device's completion
// returns the header to the free list. Nothing is allocated while playing.
//
// Headers live on one of two lists under one lock: free (ready for use) and
// pending (written to the device, not yet returned). The lock is held only
// for list operations, never while calling the device or waiting.
//
// Destruction refuses new Play calls from its first step, lets Play calls
// already inside finish, resets the device, waits until every pending
// header is back, closes the device (after which its callback cannot run)
// and only then frees the headers.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/audio_device.h"

inline constexpr int kWaveOutHeaderCount = 1000;
inline constexpr size_t kWaveOutBufferBytes = 16000;
inline constexpr size_t kWaveOutBufferSamples = kWaveOutBufferBytes / 2;
inline constexpr uint32_t kWaveOutPitchNormal = 0x10000;
inline constexpr char kAudioDeviceOpenErrorText[] = "Audio Device Open Error!";
inline constexpr char kHeapAllocErrorText[] = "Error HeapAlloc()";

class CWaveOutPlayer {
 public:
  struct Options {
    int header_count = kWaveOutHeaderCount;
    // How long a Play with the wait flag waits for a returned buffer before
    // it drops the frame.
    long wait_limit_ms = 2000;
    // Zeroed allocation of headers and buffers (calloc semantics, freed with
    // free); a null result ends the process with "Error HeapAlloc()".
    void* (*zero_alloc)(size_t count, size_t size) = std::calloc;
  };

  // Plays on the default output device.
  CWaveOutPlayer();
  explicit CWaveOutPlayer(std::unique_ptr<IAudioOutput> device);
  CWaveOutPlayer(std::unique_ptr<IAudioOutput> device, const Options& options);
  virtual ~CWaveOutPlayer();
  CWaveOutPlayer(const CWaveOutPlayer&) = delete;
  CWaveOutPlayer& operator=(const CWaveOutPlayer&) = delete;

  // Plays one decoded frame. For codecs 17, 18 and 19 count is the number of
  // samples; for every other codec (G.721, whose decoder reports input
  // bytes) 2 x count samples are played. At most 8,000 samples are played.
  // Returns 1 when played or muted, 0 when dropped (count <= 0, no free
  // buffer, device refused, player shutting down). With wait set, waits at
  // most Options::wait_limit_ms for a buffer to come back.
  int Play(const int16_t* samples, int count, uint8_t codec, bool wait);

  // Non-zero mutes. The player starts muted.
  void SetMuted(int flag);
  bool muted() const { return muted_.load(); }

  // factor = v * 65537 / 2^32 (v / 65535 to within rounding); 0.5 at start.
  void SetVolume(uint16_t v);
  uint16_t GetVolume() const;  // factor * 65535, truncated
  float volume_factor() const { return volume_.load(); }

  // Waits until every written buffer has come back; false on time-out.
  bool WaitUntilPlayed(long timeout_ms);

  size_t pool_size() const { return pool_size_; }
  size_t free_count() const;

 private:
  struct Header {
    AudioBlock block;
    Header* prev = nullptr;
    Header* next = nullptr;
  };
  class HeaderList {
   public:
    void PushBack(Header* h);
    void PushFront(Header* h);
    Header* PopFront();
    void Remove(Header* h);
    bool Empty() const { return head_ == nullptr; }
    size_t size() const { return size_; }

   private:
    Header* head_ = nullptr;
    Header* tail_ = nullptr;
    size_t size_ = 0;
  };

  static void OnBlockDone(AudioBlock* block, void* user);
  void PreparePool();
  void FreeHeader(Header* h);

  const Options options_;
  std::unique_ptr<IAudioOutput> device_;
  HeaderList free_;
  HeaderList pending_;
  mutable std::mutex lock_;
  std::condition_variable returned_;  // a header came back, or shutting down
  std::condition_variable drained_;   // pending emptied, or a Play left
  std::atomic<bool> muted_{true};
  std::atomic<float> volume_{0.5f};
  bool closing_ = false;
  int active_plays_ = 0;
  size_t pool_size_ = 0;
  std::vector<Header*> headers_;  // every header of the pool, for destruction
};
