#include "decode/ima_adpcm.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

const int kImaStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const int kImaIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

namespace {

// One code through the decoder; the code must be 0-15.
int16_t Step(ImaAdpcmState* s, int n) {
  const int step = kImaStepTable[s->step_index];
  s->step_index = std::clamp(s->step_index + kImaIndexTable[n], 0, 88);
  const int diff = step * (2 * (n & 7) + 1) / 8;
  const int predictor = n < 8 ? s->predictor + diff : s->predictor - diff;
  s->predictor = static_cast<int16_t>(std::clamp(predictor, -32768, 32767));
  return s->predictor;
}

}  // namespace

int DecodeADPCMC(ImaAdpcmState* state, const uint8_t* codes, int count, int16_t* out) {
  if (state == nullptr) {
    std::fputs("[DecodeADPCMC] Error in ADPCMState, aborting.\n\n", stderr);
    return 0;
  }
  state->step_index = std::clamp(state->step_index, 0, 88);
  for (int i = 0; i < count; ++i) {
    if (codes[i] > 15) {
      std::fputs("[DecodeADPCMC] Error in ADPCM sample, aborting.\n\n", stderr);
      return 0;
    }
    out[i] = Step(state, codes[i]);
  }
  return count;
}

int ImaDecodeBlocks(ImaAdpcmState* state, const uint8_t* payload, size_t bytes, int16_t* out) {
  const size_t blocks = bytes / kImaBlockBytes;
  uint8_t codes[kImaSamplesPerBlock];
  for (size_t b = 0; b < blocks; ++b) {
    const uint8_t* block = payload + b * kImaBlockBytes;
    for (size_t i = 0; i < kImaBlockBytes; ++i) {
      codes[2 * i] = block[i] & 0x0F;
      codes[2 * i + 1] = block[i] >> 4;
    }
    if (DecodeADPCMC(state, codes, kImaSamplesPerBlock, out + b * kImaSamplesPerBlock) == 0) return 0;
  }
  return static_cast<int>(blocks * kImaSamplesPerBlock);
}

size_t ImaEncode(ImaAdpcmState* state, const int16_t* samples, size_t count, uint8_t* out) {
  state->step_index = std::clamp(state->step_index, 0, 88);
  size_t bytes = 0;
  for (size_t i = 0; i < count; ++i) {
    // Pick the code whose reconstruction lands nearest the sample; the
    // decoder's own step then keeps both sides in step.
    const int step = kImaStepTable[state->step_index];
    const int delta = samples[i] - state->predictor;
    const int magnitude = std::min(7, (std::abs(delta) * 4 / step));
    int best = 0;
    int best_error = 1 << 30;
    for (int m = std::max(0, magnitude - 1); m <= std::min(7, magnitude + 1); ++m) {
      const int diff = step * (2 * m + 1) / 8;
      const int recon = std::clamp(delta < 0 ? state->predictor - diff : state->predictor + diff, -32768, 32767);
      const int error = std::abs(samples[i] - recon);
      if (error < best_error) {
        best_error = error;
        best = m;
      }
    }
    const int code = delta < 0 ? best | 8 : best;
    Step(state, code);
    if (i % 2 == 0) {
      out[bytes] = static_cast<uint8_t>(code);
    } else {
      out[bytes++] |= static_cast<uint8_t>(code << 4);
    }
  }
  if (count % 2 != 0) ++bytes;
  return bytes;
}
