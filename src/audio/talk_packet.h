// Talk packets: the payload of command 0x4033 that carries one encoded
// block of the operator's microphone to the DVR.
//
//   offset  size  content
//        0     4  talk time stamp / 100, u32 big-endian
//        4    32  audio frame header (BuildAudioFrameHeader) for n data
//                 bytes, the talk time stamp and channels flag 1
//       36     n  encoded audio: 164 bytes (codec 150) or 96 (codec 148)
#pragma once
#include <cstddef>
#include <cstdint>

#include "audio/audio_device.h"
#include "decode/talk_encoders.h"

inline constexpr uint16_t kTalkAudioCommand = 0x4033;
inline constexpr size_t kTalkPacketPrefixBytes = 36;
inline constexpr uint32_t kTalkTimeStampStep = 50000;
inline constexpr size_t kTalkG726Bytes = 96;
inline constexpr size_t kTalkPacketMaxBytes = kTalkPacketPrefixBytes + kTalkHiFrameBytes;

// Writes a talk packet around encoded_bytes of encoded audio; returns its
// length, or 0 when capacity_bytes is too small.
size_t BuildTalkPacket(uint32_t talk_time_stamp, const uint8_t* encoded, size_t encoded_bytes, uint8_t* out,
                       size_t capacity_bytes);

// Turns captured blocks into talk packets: encodes each with the DVR's talk
// codec and wraps it, advancing the talk time stamp by 50,000 per packet.
class CTalkPacketizer {
 public:
  explicit CTalkPacketizer(uint32_t first_time_stamp = 0) : time_stamp_(first_time_stamp) {}

  // Codec 150 with a 640-byte block and codec 148 with a 512-byte block give
  // a packet (returns its length); every other combination gives none
  // (returns 0). out must hold kTalkPacketMaxBytes.
  size_t Packetize(int talk_codec, const AudioBlock& block, uint8_t* out, size_t capacity_bytes);

  uint32_t time_stamp() const { return time_stamp_; }

 private:
  CTalkEncoder encoder_;
  uint32_t time_stamp_;
  uint8_t talk_buffer_[8000];
};
