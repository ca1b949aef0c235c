// Our G.726 core as FFmpeg's adpcm_g726le coder runs it, for tests only: the
// core's quantizers, reconstruction, scale factor and speed adaptation,
// predictor update and tone and transition detectors unchanged, with FFmpeg's
// choices where the two part:
//   - the scale factor mix y = (yl + (yu - (yl >> 6)) * al) >> 6, which keeps
//     the six fraction bits of yl and floors the product (ours: the
//     recommendation's sign-magnitude product added to yl >> 6);
//   - the predictor's products wrapped to 16 bits after their sign is
//     applied, and summed without wrapping (ours: a 15-bit magnitude, and
//     sums modulo 2^16, as the recommendation's FMULT and ACCUM);
//   - encoder input sample / 4, rounded toward zero (ours: sample >> 2);
//   - decoder output: the reconstructed signal x 4 clipped to -65535..65535
//     and then wrapped to 16 bits (ours saturates to 16 bits).
// These were found by running FFmpeg's coder. With them a whole stream must
// come out of FFmpeg and of this variant identically, which checks the rest
// of the core against FFmpeg over whole streams, not only up to the first
// sample where the two part.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace g726_ffmpeg {

// Each call starts from the initial state; bits is 2, 3 or 4. differs_from_ours
// (may be null) is increased by the number of samples whose scale factor or
// signal estimate our own codec would have computed differently.
//
// Encodes every sample and packs the codes least significant bit first.
std::vector<uint8_t> Encode(const std::vector<int16_t>& samples, int bits, size_t* differs_from_ours);
// Decodes every whole code of `bytes`, read least significant bit first.
std::vector<int16_t> Decode(const std::vector<uint8_t>& bytes, int bits, size_t* differs_from_ours);

}  // namespace g726_ffmpeg
