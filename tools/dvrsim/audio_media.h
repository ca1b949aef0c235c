// The simulator's sound: a tone per channel encoded in the DVR's audio
// codec as audio frame records, and the talk recorder that decodes the talk
// packets a client sends back into a WAV file.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "decode/g726.h"
#include "voiceengine/voiceengine.h"

namespace dvrsim {

// Audio codec codes of frame records.
inline constexpr int kAudioCodecIma = 17;
inline constexpr int kAudioCodecG726 = 18;
inline constexpr int kAudioCodecVoice = 19;
inline constexpr int kAudioCodecG721 = 20;

inline constexpr int kAudioFrameSamples = 320;  // 40 ms at 8 kHz
inline constexpr int kAudioFramesPerSecond = 25;

// The frequency of channel c's tone.
inline double ToneHz(int channel) { return 400.0 + 100.0 * channel; }

// One second of a channel's tone as audio frame records, back to back.
struct AudioLoop {
  std::vector<uint8_t> bytes;
  std::vector<size_t> offsets;  // record starts
  std::vector<size_t> sizes;
};
AudioLoop MakeAudioLoop(int codec, int channel_index);

// Decodes talk packets (0x4033 payloads) in the DVR's talk codec and writes
// the samples to a 16-bit mono 8 kHz WAV file, keeping its header current so
// the file is complete whenever it is read. Safe to call from any thread.
class TalkRecorder {
 public:
  TalkRecorder(std::string path, int talk_codec);
  ~TalkRecorder();
  TalkRecorder(const TalkRecorder&) = delete;
  TalkRecorder& operator=(const TalkRecorder&) = delete;

  // Takes one talk packet payload; false when it was not a talk packet of
  // this codec.
  bool OnTalkPacket(const uint8_t* payload, size_t size);
  // A new talk session starts from fresh decoder state.
  void Reset();
  size_t samples_written() const;

 private:
  void WriteHeaderLocked();

  const std::string path_;
  const int talk_codec_;
  mutable std::mutex lock_;
  std::FILE* file_ = nullptr;
  size_t samples_ = 0;
  G726State g726_;
  HI_VOICE_STATE voice_;
};

}  // namespace dvrsim
