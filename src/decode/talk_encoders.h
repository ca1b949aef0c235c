// Encoders for two-way talk and the µ-law conversion used by the AVI
// exporter.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decode/g726.h"
#include "voiceengine/voiceengine.h"

// Samples in one voice-engine talk frame, and the bytes of it that are sent.
inline constexpr int kTalkHiFrameSamples = 320;
inline constexpr int kTalkHiFrameBytes = 164;

// The talk encoder object of a DVR connection: a G.726 24 kbit/s codec pair
// and the voice-engine encoder state, reset at construction.
class CTalkEncoder {
 public:
  CTalkEncoder();

  // Clips every sample to -24577..24576, encodes it at 24 kbit/s and packs
  // 8 codes into 3 bytes (code i in bits 3i..3i+2 of each little-endian
  // group). Returns count * 3 / 8 bytes written; with a null output only that
  // number; -1 when capacity_bytes is below it. Codes of a count that is not
  // a multiple of 8 fill the returned bytes as far as they reach.
  int EncodeTalkG726(const int16_t* samples, int count, uint8_t* output, int capacity_bytes);

  // One voice-engine frame of kTalkHiFrameSamples samples into output (at
  // least kTalkHiFrameBytes bytes). Returns the engine's result code.
  int EncodeTalkHi(const int16_t* samples, uint8_t* output);

 private:
  G726State g726_encoder_;
  G726State g726_decoder_;  // the other half of the pair; talk only encodes
  HI_VOICE_STATE voice_encoder_;
};

// G.711 µ-law compression of one 16-bit sample (0 -> 0xFF, -1 -> 0x7F).
uint8_t LinearToMulaw(int16_t sample);

// Decodes one voice-engine frame with `state` (a reset decoder), compresses
// every sample to µ-law and appends the bytes to a process-wide accumulator.
// While fewer than requested_bytes are accumulated, returns 0; then copies
// everything accumulated to output, empties the accumulator and returns that
// many bytes. output must hold requested_bytes + HI_VOICE_MAX_FRAME_SAMPLES - 1
// bytes. A frame the engine refuses adds nothing. One thread at a time.
int HiToMulaw(HI_VOICE_STATE* state, const uint8_t* data, int length, uint8_t* output, int requested_bytes);

// Empties the accumulator; a conversion calls it when it starts, so bytes
// left from an earlier export never leak into the next.
void ResetHiToMulaw();
