// ITU-T G.726 ADPCM at 16, 24 and 32 kbit/s (2, 3 and 4 bits per code)
// with 16-bit linear input and output; 32 kbit/s is G.721. One state record serves one
// direction (an encoder or a decoder) of one stream.
//
// Linear coding: the encoder feeds sample >> 2 (14-bit uniform PCM) to the
// algorithm; the decoder outputs the reconstructed signal x 4, saturated to
// 16 bits. The adaptive quantizer, the two-pole/six-zero predictor, the
// scale factor adaptation, the speed control and the tone/transition
// detector follow the recommendation's fixed-point computations exactly.
//
// Packing (G726PackLE / G726UnpackLE): codes are laid out least significant
// bit first, code i in bits bits*i .. bits*i + bits - 1 of the little-endian
// bit stream. At 24 kbit/s every 3 bytes, read as a 24-bit little-endian
// group, hold 8 codes; at 32 kbit/s each byte holds two codes, the first in
// the low nibble.
#pragma once
#include <cstddef>
#include <cstdint>

// The state record of one coder; G726InitState gives the initial values.
struct G726State {
  int32_t yl;      // locked quantizer scale factor
  int16_t yu;      // unlocked quantizer scale factor
  int16_t dms;     // short-term average of F[I]
  int16_t dml;     // long-term average of F[I]
  int16_t ap;      // speed control parameter
  int16_t a[2];    // pole predictor coefficients
  int16_t pk[2];   // signs of the last two dq + sez
  int16_t b[6];    // zero predictor coefficients
  int16_t dq[6];   // last six quantized differences, floating format
  int16_t sr[2];   // last two reconstructed signals, floating format
  int16_t td;      // tone detected
};

// Bits per code of the four rates.
inline constexpr int kG726Bits16k = 2;
inline constexpr int kG726Bits24k = 3;
inline constexpr int kG726Bits32k = 4;

// yl 34816, yu 544, dq[] and sr[] 32, everything else 0.
void G726InitState(G726State* state);

// One sample through the encoder; returns the code (bits wide). bits must be
// 2..4; any other value is treated as 4, here and below.
int G726EncodeSample(G726State* state, int16_t sample, int bits);

// One code through the decoder; returns the 16-bit linear sample. Only the
// low `bits` bits of code are used.
int16_t G726DecodeCode(G726State* state, int code, int bits);

// Number of whole codes in `bytes` bytes: floor(8 * bytes / bits).
inline size_t G726CodeCount(size_t bytes, int bits) {
  if (bits < 2 || bits > 4) bits = 4;
  return bytes * 8 / static_cast<size_t>(bits);
}

// Decodes every whole code of `in` (G726CodeCount(in_bytes, bits) samples)
// into out, which must hold that many samples. Returns the sample count.
size_t G726DecodeLE(G726State* state, int bits, const uint8_t* in, size_t in_bytes, int16_t* out);

// Encodes count samples and packs the codes least significant bit first into
// out, which must hold (count * bits + 7) / 8 bytes; a partly used last byte
// has its unused high bits zero. Returns the bytes written.
size_t G726EncodeLE(G726State* state, int bits, const int16_t* in, size_t count, uint8_t* out);
