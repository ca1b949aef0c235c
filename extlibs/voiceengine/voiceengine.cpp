#include "voiceengine/voiceengine.h"

#include <cstring>

#include "decode/g726.h"

#define HI_VOICE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kDecoderMagic = 0x44454356;  // "VCED"
constexpr uint32_t kEncoderMagic = 0x45434E56;  // "VNCE"

struct Coder {
  uint32_t magic;
  G726State g726;
};
static_assert(sizeof(Coder) <= sizeof(HI_VOICE_STATE), "HI_VOICE_STATE too small");

int Reset(void* state, int16_t mode, uint32_t magic) {
  if (state == nullptr) return HI_VOICE_ERR_PARAM;
  Coder coder{};
  if (mode == HI_VOICE_MODE_FRAMED_G726) {
    coder.magic = magic;
    G726InitState(&coder.g726);
  }
  // A refused mode leaves a state that every later call refuses too.
  std::memcpy(state, &coder, sizeof coder);
  return mode == HI_VOICE_MODE_FRAMED_G726 ? HI_VOICE_SUCCESS : HI_VOICE_ERR_MODE;
}

bool Load(const void* state, uint32_t magic, Coder* coder) {
  std::memcpy(coder, state, sizeof *coder);
  return coder->magic == magic;
}

}  // namespace

HI_VOICE_EXPORT int HI_VOICE_DecReset(void* state, int16_t mode) { return Reset(state, mode, kDecoderMagic); }

HI_VOICE_EXPORT int HI_VOICE_EncReset(void* state, int16_t mode) { return Reset(state, mode, kEncoderMagic); }

HI_VOICE_EXPORT int HI_VOICE_DecodeFrame(void* state, const uint8_t* input, int16_t* output, int16_t* length) {
  if (state == nullptr || input == nullptr || output == nullptr || length == nullptr) return HI_VOICE_ERR_PARAM;
  Coder coder;
  if (!Load(state, kDecoderMagic, &coder)) return HI_VOICE_ERR_MODE;
  const int available = *length;
  if (available < HI_VOICE_FRAME_HEADER_BYTES || input[0] != 0x00 || input[1] != 0x01) return HI_VOICE_ERR_FRAME;
  const int words = input[2] | (input[3] << 8);
  const int code_bytes = 2 * words;
  if (words == 0 || 4 * words > HI_VOICE_MAX_FRAME_SAMPLES || HI_VOICE_FRAME_HEADER_BYTES + code_bytes > available) {
    return HI_VOICE_ERR_FRAME;
  }
  const size_t samples = G726DecodeLE(&coder.g726, kG726Bits32k, input + HI_VOICE_FRAME_HEADER_BYTES,
                                      static_cast<size_t>(code_bytes), output);
  std::memcpy(state, &coder, sizeof coder);
  *length = static_cast<int16_t>(samples);
  return HI_VOICE_SUCCESS;
}

HI_VOICE_EXPORT int HI_VOICE_EncodeFrame(void* state, const int16_t* input, uint8_t* output, int16_t samples) {
  if (state == nullptr || input == nullptr || output == nullptr) return HI_VOICE_ERR_PARAM;
  Coder coder;
  if (!Load(state, kEncoderMagic, &coder)) return HI_VOICE_ERR_MODE;
  if (samples < 4 || samples > HI_VOICE_MAX_FRAME_SAMPLES || samples % 4 != 0) return HI_VOICE_ERR_PARAM;
  const int words = samples / 4;
  output[0] = 0x00;
  output[1] = 0x01;
  output[2] = static_cast<uint8_t>(words);
  output[3] = static_cast<uint8_t>(words >> 8);
  G726EncodeLE(&coder.g726, kG726Bits32k, input, static_cast<size_t>(samples), output + HI_VOICE_FRAME_HEADER_BYTES);
  std::memcpy(state, &coder, sizeof coder);
  return HI_VOICE_SUCCESS;
}
