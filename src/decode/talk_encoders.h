// Encoders for two-way talk and the µ-law conversion used by the AVI
// exporter.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

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

// Most µ-law bytes one voice-engine frame adds (one per sample).
inline constexpr int kHiToMulawMaxFrameBytes = HI_VOICE_MAX_FRAME_SAMPLES;

// The accumulation of one µ-law conversion. Each conversion (an exporter may
// run two at once) owns one; a state is used by one thread at a time.
struct HiToMulawState {
  std::vector<uint8_t> pending;                // µ-law bytes not yet handed out
  int16_t pcm[HI_VOICE_MAX_FRAME_SAMPLES] = {};  // one decoded frame

  // Drops the bytes not yet handed out, so that nothing of an earlier
  // conversion reaches the next.
  void Reset() { pending.clear(); }
};

// Decodes one voice-engine frame (data, length bytes) with `decoder` (a reset
// decoder), compresses every sample to µ-law and appends the bytes to
// state->pending. While fewer than requested_bytes are pending, returns 0;
// then copies all of them to output, empties state->pending and returns
// their number. A frame the engine refuses adds nothing. Never more than
// capacity_bytes are written: should requested_bytes drop between calls,
// what does not fit stays pending for the next call.
// Returns -1 and changes nothing when an argument is null (data may be null
// only with length 0), length or requested_bytes is negative, or
// capacity_bytes is below requested_bytes + kHiToMulawMaxFrameBytes - 1,
// the most a call can have to hand out while requested_bytes stays the same.
int HiToMulaw(HiToMulawState* state, HI_VOICE_STATE* decoder, const uint8_t* data, int length, uint8_t* output,
              int capacity_bytes, int requested_bytes);
