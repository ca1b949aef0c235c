// Audio devices: the default output and input at 8,000 Hz, mono, 16-bit.
//
// Both directions work on blocks the caller owns, the way wave-out and
// wave-in headers work: the caller prepares a block for the device, hands
// it over (Write / AddBuffer) and gets it back through a completion callback
// when the device is done with it. Until then the block belongs to the
// device and the caller must not touch it.
//
// What every implementation must do (the PortAudio back-end and the fake
// both do, and the tests rely on it):
//  - Open() may fail; every other call is safe on a device that never
//    opened or was closed, and then fails (returns false) or does nothing.
//  - Prepare() fails when the device is not open.
//  - Every block accepted by Write / AddBuffer comes back through the
//    completion callback exactly once: after it was played or filled, or
//    when Reset / Close returns it unplayed or part-filled.
//  - The callback runs on a thread of the device (or, for the blocks that
//    Reset / Close return, on the thread calling them), never inside Write
//    or AddBuffer. It must be short and must not call into the device.
//  - Unprepare fails only for a block the device still holds.
//  - Reset() returns every block the device holds (through the callback)
//    before it returns; Close() does the same and, once it has returned, the
//    callback never runs again. Neither may be called from the callback.
//  - Calls other than the callback's come from the owner's threads; the
//    implementation serialises them itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

inline constexpr int kAudioSampleRate = 8000;
inline constexpr int kAudioBlockAlign = 2;  // mono 16-bit
inline constexpr int kAudioBytesPerSecond = kAudioSampleRate * kAudioBlockAlign;

// One block of samples. The owner fills capacity and length; the device
// fills recorded_bytes (input) and the flags.
struct AudioBlock {
  int16_t* samples = nullptr;
  size_t capacity_bytes = 0;  // size of the samples array
  size_t length_bytes = 0;    // bytes to play, or bytes to record (<= capacity)
  size_t recorded_bytes = 0;  // input: bytes filled when returned
  bool prepared = false;      // set by Prepare, cleared by Unprepare
  bool queued = false;        // held by the device
  void* user = nullptr;       // free for the owner
  AudioBlock* device_next = nullptr;  // the device's own queue link
};

using AudioBlockDoneFn = void (*)(AudioBlock* block, void* user);

class IAudioOutput {
 public:
  virtual ~IAudioOutput() = default;
  // Opens the default output; done runs for every returned block.
  virtual bool Open(AudioBlockDoneFn done, void* user) = 0;
  virtual bool IsOpen() const = 0;
  // Playback rate as 16.16 fixed point; 0x10000 is normal speed, the only
  // rate a device must support.
  virtual bool SetPitch(uint32_t pitch) = 0;
  virtual bool Prepare(AudioBlock* block) = 0;
  virtual bool Unprepare(AudioBlock* block) = 0;
  // Queues a prepared block (length_bytes of samples) for playing.
  virtual bool Write(AudioBlock* block) = 0;
  virtual void Reset() = 0;
  virtual void Close() = 0;
};

class IAudioInput {
 public:
  virtual ~IAudioInput() = default;
  // Opens the default input; filled runs for every returned block.
  virtual bool Open(AudioBlockDoneFn filled, void* user) = 0;
  virtual bool IsOpen() const = 0;
  virtual bool Prepare(AudioBlock* block) = 0;
  virtual bool Unprepare(AudioBlock* block) = 0;
  // Queues a prepared block to be filled with length_bytes of samples.
  virtual bool AddBuffer(AudioBlock* block) = 0;
  // Starts and stops capturing. Stop returns the block being filled with
  // what it holds; queued empty blocks stay queued.
  virtual bool Start() = 0;
  virtual bool Stop() = 0;
  virtual void Reset() = 0;
  virtual void Close() = 0;
};

// The PortAudio back-ends on the default devices.
std::unique_ptr<IAudioOutput> CreateDefaultAudioOutput();
std::unique_ptr<IAudioInput> CreateDefaultAudioInput();
