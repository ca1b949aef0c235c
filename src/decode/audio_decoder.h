// CAudioDecoder: one per channel of a stream session or file player. Turns a
// DVR audio frame record (32-byte frame header + data) into 16-bit linear
// samples at 8 kHz for the wave-out player.
//
// The codec is byte 28 of the frame header:
//   17  IMA ADPCM: starting predictor (i16 LE) at offset 60, step index at
//       62, codes from offset 64; 16 samples per 8 payload bytes
//   18  G.726 at 24 kbit/s, payload from offset 32; floor(8 * bytes / 3)
//       samples; the decoder state persists across frames
//   19  the voice engine (codec mode 38), payload from offset 32; one frame
//   any other: G.721 through libadpcmlib, payload from offset 32; the result
//       count is the payload length in bytes and the samples number twice
//       that (the player knows: codecs other than 17-19 play 2 x count)
//
// Frames whose samples would not fit the 8,000-sample buffer are refused:
// count -1 for G.726 at 24 kbit/s, 0 for the others. A frame too short for
// its header or payload offset gives 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "decode/g726.h"
#include "voiceengine/voiceengine.h"

inline constexpr uint8_t kAudioCodecIma = 17;
inline constexpr uint8_t kAudioCodecG726_24 = 18;
inline constexpr uint8_t kAudioCodecVoice = 19;

inline constexpr size_t kAudioBufferSamples = 8000;
inline constexpr size_t kAudioBufferBytes = kAudioBufferSamples * 2;
inline constexpr size_t kImaPayloadOffset = 64;
inline constexpr size_t kAudioPayloadOffset = 32;

struct AudioDecodeResult {
  int16_t* samples = nullptr;  // the decoder's own buffer
  int count = 0;               // see above: samples, or G.721 input bytes; <= 0 plays nothing
};

class CAudioDecoder {
 public:
  CAudioDecoder();
  virtual ~CAudioDecoder();
  CAudioDecoder(const CAudioDecoder&) = delete;
  CAudioDecoder& operator=(const CAudioDecoder&) = delete;

  // frame: the whole record; length: its size in bytes. The result points
  // into this decoder and stays valid until the next call.
  virtual const AudioDecodeResult* DecodeAudio(const uint8_t* frame, size_t length);

  size_t capacity_bytes() const { return capacity_bytes_; }

 protected:
  // For tests of the failed-allocation path: a decoder without a buffer.
  struct NoBuffer {};
  explicit CAudioDecoder(NoBuffer);

 private:
  void DecodeIma(const uint8_t* frame, size_t length);
  void DecodeG726(const uint8_t* payload, size_t payload_bytes);
  void DecodeVoice(const uint8_t* payload, size_t payload_bytes);
  void DecodeG721(const uint8_t* payload, size_t payload_bytes);

  std::unique_ptr<int16_t[]> buffer_;
  AudioDecodeResult result_;
  size_t capacity_bytes_ = 0;   // kAudioBufferBytes, or 0 when the allocation failed
  G726State g726_encoder_;      // the codec pair; the encoder side is unused when decoding
  G726State g726_decoder_;
  HI_VOICE_STATE voice_decoder_;
};
