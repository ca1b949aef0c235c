// IMA ADPCM as the DVRs send it (audio codec 17). A frame carries its own
// starting state: predictor (i16, little-endian) at frame offset 60 and step
// index at offset 62; the codes start at offset 64 and come in blocks of 8
// bytes, 16 codes each, the low nibble of every byte first.
//
// Decoding one code n (0-15) with step = kImaStepTable[index]:
//   index += kImaIndexTable[n], clamped to 0..88
//   diff = step * (2 * (n & 7) + 1) / 8          (integer division)
//   predictor += diff (n < 8) or -= diff (n >= 8), clamped to 16 bits
// and the predictor is the output sample.
#pragma once
#include <cstddef>
#include <cstdint>

struct ImaAdpcmState {
  int16_t predictor = 0;
  int step_index = 0;  // 0..88
};

inline constexpr size_t kImaBlockBytes = 8;
inline constexpr size_t kImaSamplesPerBlock = 16;

extern const int kImaStepTable[89];
extern const int kImaIndexTable[16];

// Decodes count codes (one per element, each 0-15) into out. A code outside
// 0-15 prints "[DecodeADPCMC] Error in ADPCM sample, aborting.\n\n" and a null
// state "[DecodeADPCMC] Error in ADPCMState, aborting.\n\n" to standard error;
// both return 0. Otherwise returns count. The state's step index is clamped to
// 0..88 before use.
int DecodeADPCMC(ImaAdpcmState* state, const uint8_t* codes, int count, int16_t* out);

// Decodes the whole 8-byte blocks of a payload: 16 samples per block, bytes
// beyond the last whole block ignored. out must hold 16 * (bytes / 8)
// samples. Returns the sample count, or 0 after a DecodeADPCMC error.
int ImaDecodeBlocks(ImaAdpcmState* state, const uint8_t* payload, size_t bytes, int16_t* out);

// Encodes count samples (a multiple of 16 gives whole blocks) into
// count / 2 bytes, low nibble first, tracking the decoder exactly so that
// ImaDecodeBlocks from the same starting state reproduces its predictions.
// Returns the bytes written.
size_t ImaEncode(ImaAdpcmState* state, const int16_t* samples, size_t count, uint8_t* out);
