#include "decode/talk_encoders.h"

#include <algorithm>
#include <cstring>
#include <vector>

CTalkEncoder::CTalkEncoder() {
  G726InitState(&g726_encoder_);
  G726InitState(&g726_decoder_);
  HI_VOICE_EncReset(&voice_encoder_, HI_VOICE_MODE_FRAMED_G726);
}

int CTalkEncoder::EncodeTalkG726(const int16_t* samples, int count, uint8_t* output, int capacity_bytes) {
  if (count <= 0) return 0;
  const int bytes = count * 3 / 8;
  if (output == nullptr) return bytes;
  if (capacity_bytes < bytes) return -1;
  uint32_t acc = 0;
  int acc_bits = 0;
  int pos = 0;
  for (int i = 0; i < count; ++i) {
    const int16_t clipped = static_cast<int16_t>(std::clamp<int>(samples[i], -24577, 24576));
    acc |= static_cast<uint32_t>(G726EncodeSample(&g726_encoder_, clipped, kG726Bits24k)) << acc_bits;
    acc_bits += kG726Bits24k;
    while (acc_bits >= 8 && pos < bytes) {
      output[pos++] = static_cast<uint8_t>(acc);
      acc >>= 8;
      acc_bits -= 8;
    }
  }
  if (pos < bytes) output[pos++] = static_cast<uint8_t>(acc);
  return bytes;
}

int CTalkEncoder::EncodeTalkHi(const int16_t* samples, uint8_t* output) {
  return HI_VOICE_EncodeFrame(&voice_encoder_, samples, output, kTalkHiFrameSamples);
}

uint8_t LinearToMulaw(int16_t sample) {
  static constexpr int kSegmentEnds[8] = {0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF, 0x3FFF, 0x7FFF};
  int value;
  int mask;
  if (sample < 0) {
    value = 132 - sample;
    mask = 0x7F;
  } else {
    value = sample + 132;
    mask = 0xFF;
  }
  for (int s = 0; s < 8; ++s) {
    if (value <= kSegmentEnds[s]) return static_cast<uint8_t>(((s << 4) | ((value >> (s + 3)) & 0xF)) ^ mask);
  }
  return static_cast<uint8_t>(0x7F ^ mask);
}

int HiToMulaw(HiToMulawState* state, HI_VOICE_STATE* decoder, const uint8_t* data, int length, uint8_t* output,
              int capacity_bytes, int requested_bytes) {
  if (state == nullptr || decoder == nullptr || output == nullptr || (data == nullptr && length != 0) || length < 0 ||
      requested_bytes < 0) {
    return -1;
  }
  // Bytes stay pending only while fewer than requested_bytes, so a call has
  // at most requested_bytes - 1 + one frame to hand out.
  if (int64_t{capacity_bytes} < int64_t{requested_bytes} + kHiToMulawMaxFrameBytes - 1) return -1;

  std::vector<uint8_t>& pending = state->pending;
  int16_t count = static_cast<int16_t>(std::min(length, 32767));
  if (length > 0 && HI_VOICE_DecodeFrame(decoder, data, state->pcm, &count) == HI_VOICE_SUCCESS && count > 0 &&
      count <= HI_VOICE_MAX_FRAME_SAMPLES) {
    for (int i = 0; i < count; ++i) pending.push_back(LinearToMulaw(state->pcm[i]));
  }
  if (pending.size() < static_cast<size_t>(requested_bytes)) return 0;
  // With the same requested_bytes on every call everything pending fits; a
  // caller that lowers it gets the rest on its next call.
  const size_t n = std::min(pending.size(), static_cast<size_t>(capacity_bytes));
  if (n > 0) std::memcpy(output, pending.data(), n);
  pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(n));
  return static_cast<int>(n);
}
