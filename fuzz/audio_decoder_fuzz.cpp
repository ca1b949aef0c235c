// Feeds arbitrary audio frame records to CAudioDecoder, once as they come
// and once with byte 28 forced to each codec (IMA, G.726-24, voice engine,
// G.721), so every decoder sees every input. A decoder must stay inside its
// buffer and report a count the player can trust: at most 8,000 samples
// (G.721: at most 4,000 input bytes, played twice over).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "decode/audio_decoder.h"

namespace {

void Check(const AudioDecodeResult* r, uint8_t codec) {
  if (r == nullptr) std::abort();
  const bool per_sample = codec == kAudioCodecIma || codec == kAudioCodecG726_24 || codec == kAudioCodecVoice;
  const int limit = per_sample ? static_cast<int>(kAudioBufferSamples) : static_cast<int>(kAudioBufferSamples / 2);
  if (r->count > limit) std::abort();
  if (r->count < -1 || (r->count == -1 && codec != kAudioCodecG726_24)) std::abort();
  // Read every sample the player would read.
  int sum = 0;
  const int samples = per_sample ? r->count : 2 * r->count;
  for (int i = 0; i < samples; ++i) sum += r->samples[i];
  volatile int sink = sum;
  (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One decoder per run keeps state across the five decodes, as a channel's
  // decoder does across frames.
  static CAudioDecoder* decoder = new CAudioDecoder;
  std::vector<uint8_t> frame(data, data + size);
  if (size > 28) Check(decoder->DecodeAudio(frame.data(), frame.size()), frame[28]);
  for (uint8_t codec : {kAudioCodecIma, kAudioCodecG726_24, kAudioCodecVoice, uint8_t{0x14}}) {
    if (frame.size() < 32) break;
    frame[28] = codec;
    Check(decoder->DecodeAudio(frame.data(), frame.size()), codec);
  }
  if (size < 32) Check(decoder->DecodeAudio(frame.data(), frame.size()), 0);
  return 0;
}
