// PortAudio back-ends of the audio device interface, on the default ALSA
// output and input.
//
// Each device runs one worker thread that moves samples between the queued
// blocks and a blocking PortAudio stream (Pa_WriteStream / Pa_ReadStream) in
// chunks of kChunkFrames, so a Reset or Stop waits at most one chunk. The
// device's lock guards only the queue and flags and is never held across a
// PortAudio call; completion callbacks run without it. Nothing is written
// to the device while no block is queued, so an idle output leaves the
// device idle instead of padding it with silence.
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <portaudio.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "audio/audio_device.h"

namespace {

constexpr unsigned long kChunkFrames = 256;  // 32 ms at 8 kHz

// --- PortAudio start-up ---------------------------------------------------
//
// Initialising PortAudio probes every ALSA card and the JACK server; on a
// machine without them both libraries print a screenful of messages that
// report nothing wrong. They are silenced while probing only, so errors
// reported later (opening, playing) still reach standard error.

std::mutex g_pa_lock;
int g_pa_users = 0;
std::atomic<bool> g_probing{false};

void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

void JackMessage(const char* text) {
  if (!g_probing.load()) std::fprintf(stderr, "%s\n", text);
}

// libjack comes in with PortAudio's JACK host API when it has one; its
// message hooks are looked up rather than linked, so a PortAudio without
// JACK works too.
void InstallJackMessageFilter() {
  using SetFn = void (*)(void (*)(const char*));
  if (auto set_error = reinterpret_cast<SetFn>(dlsym(RTLD_DEFAULT, "jack_set_error_function"))) set_error(JackMessage);
  if (auto set_info = reinterpret_cast<SetFn>(dlsym(RTLD_DEFAULT, "jack_set_info_function"))) set_info(JackMessage);
}

bool AcquirePortAudio() {
  std::lock_guard<std::mutex> lock(g_pa_lock);
  if (g_pa_users > 0) {
    ++g_pa_users;
    return true;
  }
  InstallJackMessageFilter();
  g_probing = true;
  snd_lib_error_set_handler(SilentAlsaError);
  const PaError err = Pa_Initialize();
  snd_lib_error_set_handler(nullptr);
  g_probing = false;
  if (err != paNoError) return false;
  g_pa_users = 1;
  return true;
}

void ReleasePortAudio() {
  std::lock_guard<std::mutex> lock(g_pa_lock);
  if (g_pa_users > 0 && --g_pa_users == 0) Pa_Terminate();
}

// Opens a blocking mono 16-bit stream on the default device of one
// direction; nullptr when there is none or it refuses the format. Streams
// are opened and closed under the start-up lock, so a player and a talk
// sender starting at once do not meet inside PortAudio.
PaStream* OpenDefaultStream(bool input) {
  std::lock_guard<std::mutex> lock(g_pa_lock);
  const PaDeviceIndex device = input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
  if (device == paNoDevice) return nullptr;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  if (info == nullptr) return nullptr;
  PaStreamParameters params{};
  params.device = device;
  params.channelCount = 1;
  params.sampleFormat = paInt16;
  params.suggestedLatency = input ? info->defaultHighInputLatency : info->defaultHighOutputLatency;
  PaStream* stream = nullptr;
  const PaError err = Pa_OpenStream(&stream, input ? &params : nullptr, input ? nullptr : &params, kAudioSampleRate,
                                    paFramesPerBufferUnspecified, paNoFlag, nullptr, nullptr);
  return err == paNoError ? stream : nullptr;
}

// --- The block queue shared by both directions ----------------------------

class BlockQueue {
 public:
  void Push(AudioBlock* b) {
    b->device_next = nullptr;
    if (tail_ != nullptr) {
      tail_->device_next = b;
    } else {
      head_ = b;
    }
    tail_ = b;
  }
  AudioBlock* Pop() {
    AudioBlock* b = head_;
    if (b != nullptr) {
      head_ = b->device_next;
      if (head_ == nullptr) tail_ = nullptr;
      b->device_next = nullptr;
    }
    return b;
  }
  AudioBlock* TakeAll() {
    AudioBlock* all = head_;
    head_ = tail_ = nullptr;
    return all;
  }
  bool Empty() const { return head_ == nullptr; }

 private:
  AudioBlock* head_ = nullptr;
  AudioBlock* tail_ = nullptr;
};

// The worker, queue and lifetime logic of both directions; the subclass
// supplies the transfer of one chunk.
class PortAudioDevice {
 protected:
  ~PortAudioDevice() = default;

  bool OpenStream(bool input, AudioBlockDoneFn done, void* user) {
    std::lock_guard<std::mutex> owner(owner_lock_);
    if (stream_ != nullptr) return false;
    if (!AcquirePortAudio()) return false;
    PaStream* stream = OpenDefaultStream(input);
    if (stream == nullptr) {
      ReleasePortAudio();
      return false;
    }
    {
      std::lock_guard<std::mutex> lock(lock_);
      done_ = done;
      user_ = user;
      stop_ = false;
      running_ = !input;  // output runs at once; input waits for Start
      abandon_ = false;
    }
    stream_ = stream;
    if (!input && Pa_StartStream(stream_) != paNoError) {
      CloseStreamLocked();
      return false;
    }
    open_ = true;
    worker_ = std::thread([this] { Run(); });
    return true;
  }

  bool IsOpenNow() const { return open_.load(); }

  bool PrepareBlock(AudioBlock* b) {
    if (!open_.load() || b == nullptr || b->samples == nullptr || b->length_bytes > b->capacity_bytes) return false;
    b->prepared = true;
    return true;
  }

  bool UnprepareBlock(AudioBlock* b) {
    std::lock_guard<std::mutex> lock(lock_);
    if (b == nullptr || b->queued) return false;
    b->prepared = false;
    return true;
  }

  bool Enqueue(AudioBlock* b) {
    if (b == nullptr || !b->prepared || b->length_bytes > b->capacity_bytes) return false;
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (!open_.load() || stop_ || b->queued) return false;
      b->queued = true;
      b->recorded_bytes = 0;
      queue_.Push(b);
    }
    wake_.notify_all();
    return true;
  }

  // Starts or pauses the worker (input only).
  bool SetRunning(bool running) {
    std::lock_guard<std::mutex> owner(owner_lock_);
    if (stream_ == nullptr) return false;
    if (running) {
      if (!Pa_IsStreamActive(stream_) && Pa_StartStream(stream_) != paNoError) return false;
      {
        std::lock_guard<std::mutex> lock(lock_);
        running_ = true;
      }
      wake_.notify_all();
      return true;
    }
    PauseWorker();
    return Pa_IsStreamStopped(stream_) == 1 || Pa_StopStream(stream_) == paNoError;
  }

  // Output keeps running after a reset (later writes play); input stops.
  void ResetDevice(bool keep_running) {
    std::lock_guard<std::mutex> owner(owner_lock_);
    ResetLocked(keep_running);
  }

  void CloseDevice() {
    std::lock_guard<std::mutex> owner(owner_lock_);
    if (stream_ == nullptr) return;
    ResetLocked(false);
    {
      std::lock_guard<std::mutex> lock(lock_);
      stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    // Anything queued between the reset and the stop comes back now.
    ReturnAll(TakeQueue());
    open_ = false;
    CloseStreamLocked();
  }

  // Moves one chunk between the stream and the block; false on a device
  // error, which ends the block early.
  virtual bool Transfer(int16_t* samples, unsigned long frames) = 0;
  PaStream* stream() const { return stream_; }

 private:
  void Run() {
    for (;;) {
      AudioBlock* block;
      {
        std::unique_lock<std::mutex> lock(lock_);
        wake_.wait(lock, [this] { return stop_ || (running_ && !queue_.Empty()); });
        if (stop_) return;
        block = queue_.Pop();
        current_ = block;
        abandon_ = false;
      }
      const unsigned long frames = block->length_bytes / kAudioBlockAlign;
      unsigned long done = 0;
      while (done < frames) {
        {
          std::lock_guard<std::mutex> lock(lock_);
          if (abandon_) break;
        }
        const unsigned long n = std::min(kChunkFrames, frames - done);
        if (!Transfer(block->samples + done, n)) break;
        done += n;
      }
      block->recorded_bytes = done * kAudioBlockAlign;
      Complete(block);
      {
        std::lock_guard<std::mutex> lock(lock_);
        current_ = nullptr;
      }
      idle_.notify_all();
    }
  }

  // Makes the worker finish its current block early and wait.
  void PauseWorker() {
    std::unique_lock<std::mutex> lock(lock_);
    running_ = false;
    abandon_ = true;
    idle_.wait(lock, [this] { return current_ == nullptr; });
  }

  void ResetLocked(bool keep_running) {
    if (stream_ == nullptr) return;
    const bool was_running = [this] {
      std::lock_guard<std::mutex> lock(lock_);
      return running_;
    }();
    PauseWorker();
    ReturnAll(TakeQueue());
    if (was_running && keep_running) {
      {
        std::lock_guard<std::mutex> lock(lock_);
        running_ = true;
      }
      wake_.notify_all();
    }
  }

  AudioBlock* TakeQueue() {
    std::lock_guard<std::mutex> lock(lock_);
    return queue_.TakeAll();
  }

  void ReturnAll(AudioBlock* list) {
    while (list != nullptr) {
      AudioBlock* next = list->device_next;
      list->device_next = nullptr;
      list->recorded_bytes = 0;
      Complete(list);
      list = next;
    }
  }

  void Complete(AudioBlock* b) {
    AudioBlockDoneFn done;
    void* user;
    {
      std::lock_guard<std::mutex> lock(lock_);
      b->queued = false;
      done = done_;
      user = user_;
    }
    if (done != nullptr) done(b, user);
  }

  void CloseStreamLocked() {
    if (Pa_IsStreamStopped(stream_) != 1) Pa_StopStream(stream_);
    {
      std::lock_guard<std::mutex> lock(g_pa_lock);
      Pa_CloseStream(stream_);
    }
    stream_ = nullptr;
    ReleasePortAudio();
  }

  std::mutex owner_lock_;  // serialises Open / Start / Stop / Reset / Close
  PaStream* stream_ = nullptr;
  std::thread worker_;
  std::atomic<bool> open_{false};

  std::mutex lock_;  // guards everything below; never held across PortAudio calls
  std::condition_variable wake_;
  std::condition_variable idle_;
  BlockQueue queue_;
  AudioBlock* current_ = nullptr;
  bool running_ = false;
  bool abandon_ = false;
  bool stop_ = false;
  AudioBlockDoneFn done_ = nullptr;
  void* user_ = nullptr;
};

class PortAudioOutput final : public IAudioOutput, private PortAudioDevice {
 public:
  ~PortAudioOutput() override { CloseDevice(); }
  bool Open(AudioBlockDoneFn done, void* user) override { return OpenStream(false, done, user); }
  bool IsOpen() const override { return IsOpenNow(); }
  bool SetPitch(uint32_t pitch) override { return IsOpenNow() && pitch == 0x10000; }
  bool Prepare(AudioBlock* block) override { return PrepareBlock(block); }
  bool Unprepare(AudioBlock* block) override { return UnprepareBlock(block); }
  bool Write(AudioBlock* block) override { return Enqueue(block); }
  void Reset() override { ResetDevice(true); }
  void Close() override { CloseDevice(); }

 private:
  bool Transfer(int16_t* samples, unsigned long frames) override {
    const PaError err = Pa_WriteStream(stream(), samples, frames);
    return err == paNoError || err == paOutputUnderflowed;
  }
};

class PortAudioInput final : public IAudioInput, private PortAudioDevice {
 public:
  ~PortAudioInput() override { CloseDevice(); }
  bool Open(AudioBlockDoneFn filled, void* user) override { return OpenStream(true, filled, user); }
  bool IsOpen() const override { return IsOpenNow(); }
  bool Prepare(AudioBlock* block) override { return PrepareBlock(block); }
  bool Unprepare(AudioBlock* block) override { return UnprepareBlock(block); }
  bool AddBuffer(AudioBlock* block) override { return Enqueue(block); }
  bool Start() override { return SetRunning(true); }
  bool Stop() override { return SetRunning(false); }
  void Reset() override { ResetDevice(false); }
  void Close() override { CloseDevice(); }

 private:
  bool Transfer(int16_t* samples, unsigned long frames) override {
    const PaError err = Pa_ReadStream(stream(), samples, frames);
    return err == paNoError || err == paInputOverflowed;
  }
};

}  // namespace

std::unique_ptr<IAudioOutput> CreateDefaultAudioOutput() { return std::make_unique<PortAudioOutput>(); }
std::unique_ptr<IAudioInput> CreateDefaultAudioInput() { return std::make_unique<PortAudioInput>(); }
