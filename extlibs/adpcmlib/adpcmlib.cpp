#include "adpcmlib/adpcmlib.h"

#include "decode/g726.h"

#define ADPCM_EXPORT extern "C" __attribute__((visibility("default")))

ADPCM_EXPORT int ADPCM_Decode(int16_t* out, const uint8_t* in, int in_len, int mode) {
  if (mode != ADPCM_MODE_G721 || in_len < 0) return -1;
  if (in_len == 0) return 0;
  if (out == nullptr || in == nullptr) return -1;
  G726State state;
  G726InitState(&state);
  return static_cast<int>(G726DecodeLE(&state, kG726Bits32k, in, static_cast<size_t>(in_len), out));
}

ADPCM_EXPORT int ADPCM_Encode(uint8_t* out, const int16_t* in, int count, int mode) {
  if (mode != ADPCM_MODE_G721 || count < 0) return -1;
  if (count == 0) return 0;
  if (out == nullptr || in == nullptr) return -1;
  G726State state;
  G726InitState(&state);
  return static_cast<int>(G726EncodeLE(&state, kG726Bits32k, in, static_cast<size_t>(count), out));
}
