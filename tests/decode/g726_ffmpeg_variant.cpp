// The core is compiled a second time here, inside a namespace of its own, so
// that this file reaches its internal steps and the production coder stays
// as it is. Everything the core includes comes first, so that including it
// below adds only the core's own declarations to the namespace; this file
// must therefore not include decode/g726.h itself.
#include "g726_ffmpeg_variant.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace g726_ffmpeg {
namespace core {
#include "decode/g726.cpp"
}  // namespace core

namespace {

int FfmpegMix(const core::G726State* s) {
  const int al = s->ap >= 256 ? 64 : s->ap >> 2;
  return (s->yl + (s->yu - (s->yl >> 6)) * al) >> 6;
}

// FMULT with the product's sign applied first and the result wrapped to 16
// bits, where the core keeps a 15-bit magnitude.
int FfmpegProduct(int an, int srn) {
  const int ans = an < 0 ? 1 : 0;
  const int anmag = ans ? (-an) & 0x1FFF : an;
  const int anexp = core::BitLength(anmag);
  const int anmant = anmag == 0 ? 32 : (anmag << 6) >> anexp;
  const int wanexp = anexp + ((srn >> 6) & 15) - 19;
  const int wanmant = (anmant * (srn & 63) + 48) >> 4;
  const int wanmag = wanexp <= 0 ? wanmant >> -wanexp : wanmant << wanexp;
  return static_cast<int16_t>((ans ^ ((srn >> 10) & 1)) ? -wanmag : wanmag);
}

// The signal estimate (sez, se) and scale factor of the next sample, each
// counted in differs_from_ours where the core's own rule gives another value.
int Prepare(const core::G726State* s, int* sez, int* se, size_t* differs_from_ours) {
  int sezi = 0;
  for (int i = 0; i < 6; ++i) sezi += FfmpegProduct(s->b[i] >> 2, s->dq[i]);
  const int sei = sezi + FfmpegProduct(s->a[1] >> 2, s->sr[1]) + FfmpegProduct(s->a[0] >> 2, s->sr[0]);
  *sez = sezi >> 1;
  *se = sei >> 1;
  const int y = FfmpegMix(s);
  if (differs_from_ours != nullptr) {
    int core_sez, core_se;
    core::Predict(s, &core_sez, &core_se);
    if (y != core::ScaleFactor(s) || core_se != *se || core_sez != *sez) ++*differs_from_ours;
  }
  return y;
}

int EncodeSample(core::G726State* s, int16_t sample, const core::RateTables& t, size_t* differs_from_ours) {
  int sez, se;
  const int y = Prepare(s, &sez, &se, differs_from_ours);
  const int code = core::Quantize(sample / 4 - se, y, t);
  core::Reconstructed(s, t, code, y, sez, se);
  return code;
}

int16_t DecodeCode(core::G726State* s, int code, const core::RateTables& t, size_t* differs_from_ours) {
  int sez, se;
  const int y = Prepare(s, &sez, &se, differs_from_ours);
  const int sr = core::Reconstructed(s, t, code, y, sez, se);
  return static_cast<int16_t>(std::clamp(sr * 4, -65535, 65535));  // wraps to 16 bits
}

}  // namespace

std::vector<uint8_t> Encode(const std::vector<int16_t>& samples, int bits, size_t* differs_from_ours) {
  const core::RateTables& t = core::TablesFor(bits);
  core::G726State s;
  core::G726InitState(&s);
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int acc_bits = 0;
  for (int16_t sample : samples) {
    acc |= static_cast<uint32_t>(EncodeSample(&s, sample, t, differs_from_ours)) << acc_bits;
    for (acc_bits += t.bits; acc_bits >= 8; acc_bits -= 8, acc >>= 8) out.push_back(static_cast<uint8_t>(acc));
  }
  if (acc_bits > 0) out.push_back(static_cast<uint8_t>(acc));
  return out;
}

std::vector<int16_t> Decode(const std::vector<uint8_t>& bytes, int bits, size_t* differs_from_ours) {
  const core::RateTables& t = core::TablesFor(bits);
  core::G726State s;
  core::G726InitState(&s);
  std::vector<int16_t> out;
  uint32_t acc = 0;
  int acc_bits = 0;
  for (uint8_t byte : bytes) {
    acc |= uint32_t{byte} << acc_bits;
    for (acc_bits += 8; acc_bits >= t.bits; acc_bits -= t.bits, acc >>= t.bits) {
      out.push_back(DecodeCode(&s, static_cast<int>(acc & ((1u << t.bits) - 1)), t, differs_from_ours));
    }
  }
  return out;
}

}  // namespace g726_ffmpeg
