#include "decode/g726.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace {

// Per-rate tables, indexed by the full code. quant holds the decision levels
// of the normalized log difference for the positive half; dqln the
// reconstruction levels (log domain, 1/128 units), wi the scale factor
// multipliers (x 32) and fi the transition weights (x 512).
struct RateTables {
  int bits;
  const int* quant;
  int quant_size;
  const int* dqln;
  const int* wi;
  const int* fi;
};

constexpr int kQuant16[] = {261};
constexpr int kDqln16[] = {116, 365, 365, 116};
constexpr int kWi16[] = {-704, 14048, 14048, -704};
constexpr int kFi16[] = {0, 0xE00, 0xE00, 0};

constexpr int kQuant24[] = {8, 218, 331};
constexpr int kDqln24[] = {-2048, 135, 273, 373, 373, 273, 135, -2048};
constexpr int kWi24[] = {-128, 960, 4384, 18624, 18624, 4384, 960, -128};
constexpr int kFi24[] = {0, 0x200, 0x400, 0xE00, 0xE00, 0x400, 0x200, 0};

constexpr int kQuant32[] = {-124, 80, 178, 246, 300, 349, 400};
constexpr int kDqln32[] = {-2048, 4, 135, 213, 273, 323, 373, 425, 425, 373, 323, 273, 213, 135, 4, -2048};
constexpr int kWi32[] = {-384,  576,  1312, 2048, 3584, 6336, 11360, 35904,
                         35904, 11360, 6336, 3584, 2048, 1312, 576,  -384};
constexpr int kFi32[] = {0, 0, 0, 0x200, 0x200, 0x200, 0x600, 0xE00, 0xE00, 0x600, 0x200, 0x200, 0x200, 0, 0, 0};

constexpr RateTables kRates[] = {
    {2, kQuant16, 1, kDqln16, kWi16, kFi16},
    {3, kQuant24, 3, kDqln24, kWi24, kFi24},
    {4, kQuant32, 7, kDqln32, kWi32, kFi32},
};

const RateTables& TablesFor(int bits) {
  if (bits < 2 || bits > 4) bits = 4;
  return kRates[bits - 2];
}

// Number of significant bits of a non-negative value (0 for 0): the
// exponent of the recommendation's floating formats.
int BitLength(int v) { return v > 0 ? std::min(static_cast<int>(std::bit_width(static_cast<unsigned>(v))), 15) : 0; }

// The 11-bit floating format: sign in bit 10, exponent in bits 6-9,
// mantissa (with its leading one, or 32 for zero) in bits 0-5.
int16_t ToFloat(int sign, int mag) {
  const int exp = BitLength(mag);
  const int mant = mag == 0 ? 32 : (mag << 6) >> exp;
  return static_cast<int16_t>((sign << 10) + (exp << 6) + mant);
}

// FMULT: product of a predictor coefficient (an, already shifted right by
// two) and a value in the floating format.
int FloatMultiply(int an, int srn) {
  const int ans = an < 0 ? 1 : 0;
  const int anmag = ans ? (-an) & 0x1FFF : an;
  const int anexp = BitLength(anmag);
  const int anmant = anmag == 0 ? 32 : (anmag << 6) >> anexp;
  const int srns = (srn >> 10) & 1;
  const int srnexp = (srn >> 6) & 15;
  const int srnmant = srn & 63;
  const int wanexp = anexp + srnexp - 19;  // the product's exponent relative to 2^7
  const int wanmant = (anmant * srnmant + 48) >> 4;
  const int wanmag = wanexp <= 0 ? wanmant >> -wanexp : (wanmant << wanexp) & 0x7FFF;
  return (ans ^ srns) ? -wanmag : wanmag;
}

// Signal estimate from the predictor: the zero part (sez) and the full
// estimate (se), both 15-bit. Sums wrap at 16 bits as in the recommendation.
void Predict(const G726State* s, int* sez, int* se) {
  int sezi = 0;
  for (int i = 0; i < 6; ++i) sezi += FloatMultiply(s->b[i] >> 2, s->dq[i]);
  sezi = static_cast<int16_t>(sezi);
  const int sei = static_cast<int16_t>(sezi + FloatMultiply(s->a[1] >> 2, s->sr[1]) +
                                       FloatMultiply(s->a[0] >> 2, s->sr[0]));
  *sez = sezi >> 1;
  *se = sei >> 1;
}

// Quantizer scale factor: the unlocked factor mixed with the locked one by
// the speed control parameter.
int ScaleFactor(const G726State* s) {
  if (s->ap >= 256) return s->yu;
  int y = s->yl >> 6;
  const int dif = s->yu - y;
  const int al = s->ap >> 2;
  if (dif > 0) {
    y += (dif * al) >> 6;
  } else if (dif < 0) {
    y += (dif * al + 0x3F) >> 6;
  }
  return y;
}

// Adaptive quantizer: the code for difference d at scale factor y.
int Quantize(int d, int y, const RateTables& t) {
  const int dqm = std::abs(d);
  const int exp = BitLength(dqm >> 1);
  const int mant = ((dqm << 7) >> exp) & 0x7F;
  const int dln = (exp << 7) + mant - (y >> 2);
  int i = 0;
  while (i < t.quant_size && dln >= t.quant[i]) ++i;
  if (d < 0) return (t.quant_size << 1) + 1 - i;
  // A positive difference below the lowest level uses the all-ones code, so
  // that the all-zero code never appears (there is no zero level at 16k).
  if (i == 0 && t.bits != 2) return (t.quant_size << 1) + 1;
  return i;
}

// Inverse quantizer: magnitude of the quantized difference (15 bits).
int Reconstruct(int dqln, int y) {
  const int dql = dqln + (y >> 2);
  if (dql < 0) return 0;
  const int dex = (dql >> 7) & 15;
  const int dqt = 128 + (dql & 127);
  return (dqt << 7) >> (14 - dex);
}

// Everything after the quantizer: scale factor, predictor, tone detector
// and speed control adaptation for one sample.
void Update(G726State* s, const RateTables& t, int code, int y, int dq_sign, int dq_mag, int sr, int dqsez) {
  const int pk0 = dqsez < 0 ? 1 : 0;
  const bool sigpk = dqsez == 0;

  // Transition detector: a large difference while a tone was detected.
  const int ylint = s->yl >> 15;
  const int ylfrac = (s->yl >> 10) & 31;
  const int thr1 = (32 + ylfrac) << ylint;
  const int thr2 = ylint > 9 ? 31 << 10 : thr1;
  const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
  const bool tr = s->td != 0 && dq_mag > dqthr;

  // Scale factor adaptation.
  const int yu = std::clamp(y + ((t.wi[code] - y) >> 5), 544, 5120);
  s->yl = s->yl + yu + ((-s->yl) >> 6);
  s->yu = static_cast<int16_t>(yu);

  // Predictor coefficients.
  int a2p = 0;
  if (tr) {
    s->a[0] = s->a[1] = 0;
    for (int16_t& b : s->b) b = 0;
  } else {
    const int pks1 = pk0 ^ s->pk[0];
    const int pks2 = pk0 ^ s->pk[1];
    const int a1 = s->a[0];
    a2p = s->a[1] - (s->a[1] >> 7);
    if (!sigpk) {
      a2p += std::clamp(pks1 ? a1 : -a1, -8191, 8191) >> 5;
      a2p += pks2 ? -128 : 128;
      a2p = std::clamp(a2p, -12288, 12288);
    }
    int a1p = a1 - (a1 >> 8);
    if (!sigpk) a1p += pks1 ? -192 : 192;
    const int a1ul = 15360 - a2p;
    s->a[0] = static_cast<int16_t>(std::clamp(a1p, -a1ul, a1ul));
    s->a[1] = static_cast<int16_t>(a2p);

    for (int i = 0; i < 6; ++i) {
      int b = s->b[i] - (s->b[i] >> 8);
      if (dq_mag != 0) b += (dq_sign == ((s->dq[i] >> 10) & 1)) ? 128 : -128;
      s->b[i] = static_cast<int16_t>(b);
    }
  }

  for (int i = 5; i > 0; --i) s->dq[i] = s->dq[i - 1];
  s->dq[0] = ToFloat(dq_sign, dq_mag);
  s->sr[1] = s->sr[0];
  s->sr[0] = sr < 0 ? ToFloat(1, (-sr) & 0x7FFF) : ToFloat(0, sr);
  s->pk[1] = s->pk[0];
  s->pk[0] = static_cast<int16_t>(pk0);

  // Tone detector: strong negative correlation marks a possible data tone.
  s->td = static_cast<int16_t>(!tr && a2p < -11776 ? 1 : 0);

  // Adaptation speed control.
  const int fi = t.fi[code];
  s->dms = static_cast<int16_t>(s->dms + ((fi - s->dms) >> 5));
  s->dml = static_cast<int16_t>(s->dml + (((fi << 2) - s->dml) >> 7));
  if (tr) {
    s->ap = 256;
  } else {
    const bool ax = y < 1536 || s->td != 0 || std::abs((s->dms << 2) - s->dml) >= (s->dml >> 3);
    s->ap = static_cast<int16_t>(s->ap + (((ax ? 0x200 : 0) - s->ap) >> 4));
  }
}

// The part shared by encoder and decoder once the code is known; returns
// the reconstructed signal.
int Reconstructed(G726State* s, const RateTables& t, int code, int y, int sez, int se) {
  const int dq_sign = (code >> (t.bits - 1)) & 1;
  const int dq_mag = Reconstruct(t.dqln[code], y);
  const int dq = dq_sign ? -dq_mag : dq_mag;
  const int sr = static_cast<int16_t>(se + dq);
  const int dqsez = static_cast<int16_t>(dq + sez);
  Update(s, t, code, y, dq_sign, dq_mag, sr, dqsez);
  return sr;
}

}  // namespace

void G726InitState(G726State* state) {
  *state = G726State{};
  state->yl = 34816;
  state->yu = 544;
  for (int16_t& v : state->dq) v = 32;
  for (int16_t& v : state->sr) v = 32;
}

int G726EncodeSample(G726State* state, int16_t sample, int bits) {
  const RateTables& t = TablesFor(bits);
  int sez, se;
  Predict(state, &sez, &se);
  const int y = ScaleFactor(state);
  const int d = (sample >> 2) - se;
  const int code = Quantize(d, y, t);
  Reconstructed(state, t, code, y, sez, se);
  return code;
}

int16_t G726DecodeCode(G726State* state, int code, int bits) {
  const RateTables& t = TablesFor(bits);
  code &= (1 << t.bits) - 1;
  int sez, se;
  Predict(state, &sez, &se);
  const int y = ScaleFactor(state);
  const int sr = Reconstructed(state, t, code, y, sez, se);
  return static_cast<int16_t>(std::clamp(sr * 4, -32768, 32767));
}

size_t G726DecodeLE(G726State* state, int bits, const uint8_t* in, size_t in_bytes, int16_t* out) {
  bits = TablesFor(bits).bits;
  const size_t count = G726CodeCount(in_bytes, bits);
  uint32_t acc = 0;
  int acc_bits = 0;
  size_t pos = 0;
  for (size_t i = 0; i < count; ++i) {
    while (acc_bits < bits) {
      acc |= uint32_t{in[pos++]} << acc_bits;
      acc_bits += 8;
    }
    out[i] = G726DecodeCode(state, static_cast<int>(acc & ((1u << bits) - 1)), bits);
    acc >>= bits;
    acc_bits -= bits;
  }
  return count;
}

size_t G726EncodeLE(G726State* state, int bits, const int16_t* in, size_t count, uint8_t* out) {
  bits = TablesFor(bits).bits;
  uint32_t acc = 0;
  int acc_bits = 0;
  size_t pos = 0;
  for (size_t i = 0; i < count; ++i) {
    acc |= static_cast<uint32_t>(G726EncodeSample(state, in[i], bits)) << acc_bits;
    acc_bits += bits;
    while (acc_bits >= 8) {
      out[pos++] = static_cast<uint8_t>(acc);
      acc >>= 8;
      acc_bits -= 8;
    }
  }
  if (acc_bits > 0) out[pos++] = static_cast<uint8_t>(acc);
  return pos;
}
