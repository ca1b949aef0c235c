#include "decode/audio_decoder.h"

#include <algorithm>
#include <new>

#include "adpcmlib/adpcmlib.h"
#include "decode/ima_adpcm.h"

CAudioDecoder::CAudioDecoder() : CAudioDecoder(NoBuffer{}) {
  buffer_.reset(new (std::nothrow) int16_t[kAudioBufferSamples]());
  if (buffer_) capacity_bytes_ = kAudioBufferBytes;
  result_.samples = buffer_.get();
}

CAudioDecoder::CAudioDecoder(NoBuffer) {
  G726InitState(&g726_encoder_);
  G726InitState(&g726_decoder_);
  HI_VOICE_DecReset(&voice_decoder_, HI_VOICE_MODE_FRAMED_G726);
}

CAudioDecoder::~CAudioDecoder() = default;

const AudioDecodeResult* CAudioDecoder::DecodeAudio(const uint8_t* frame, size_t length) {
  result_.count = 0;
  if (frame == nullptr || length < kAudioPayloadOffset) return &result_;
  const uint8_t codec = frame[28];
  const uint8_t* payload = frame + kAudioPayloadOffset;
  const size_t payload_bytes = length - kAudioPayloadOffset;
  switch (codec) {
    case kAudioCodecIma: DecodeIma(frame, length); break;
    case kAudioCodecG726_24: DecodeG726(payload, payload_bytes); break;
    case kAudioCodecVoice: DecodeVoice(payload, payload_bytes); break;
    default: DecodeG721(payload, payload_bytes); break;
  }
  return &result_;
}

void CAudioDecoder::DecodeIma(const uint8_t* frame, size_t length) {
  if (length < kImaPayloadOffset) return;
  const size_t payload_bytes = length - kImaPayloadOffset;
  const size_t samples = payload_bytes / kImaBlockBytes * kImaSamplesPerBlock;
  if (samples * 2 > capacity_bytes_) return;
  ImaAdpcmState state;
  state.predictor = static_cast<int16_t>(frame[60] | (frame[61] << 8));
  state.step_index = frame[62];
  result_.count = ImaDecodeBlocks(&state, frame + kImaPayloadOffset, payload_bytes, buffer_.get());
}

void CAudioDecoder::DecodeG726(const uint8_t* payload, size_t payload_bytes) {
  const size_t samples = G726CodeCount(payload_bytes, kG726Bits24k);
  if (samples * 2 > capacity_bytes_) {
    result_.count = -1;
    return;
  }
  result_.count = static_cast<int>(G726DecodeLE(&g726_decoder_, kG726Bits24k, payload, payload_bytes, buffer_.get()));
}

void CAudioDecoder::DecodeVoice(const uint8_t* payload, size_t payload_bytes) {
  if (capacity_bytes_ < HI_VOICE_MAX_FRAME_SAMPLES * 2) return;
  // The length word is 16 bits; a frame never needs more than that.
  int16_t length = static_cast<int16_t>(std::min<size_t>(payload_bytes, 32767));
  if (HI_VOICE_DecodeFrame(&voice_decoder_, payload, buffer_.get(), &length) == HI_VOICE_SUCCESS) {
    result_.count = length;
  }
}

void CAudioDecoder::DecodeG721(const uint8_t* payload, size_t payload_bytes) {
  if (payload_bytes * 2 * 2 > capacity_bytes_) return;
  if (ADPCM_Decode(buffer_.get(), payload, static_cast<int>(payload_bytes), ADPCM_MODE_G721) >= 0) {
    result_.count = static_cast<int>(payload_bytes);
  }
}
