#include "audio/talk_packet.h"

#include <cstring>

#include "audio/wave_in_recorder.h"
#include "platform/bytes.h"
#include "streaming/frame_header.h"

size_t BuildTalkPacket(uint32_t talk_time_stamp, const uint8_t* encoded, size_t encoded_bytes, uint8_t* out,
                       size_t capacity_bytes) {
  const size_t total = kTalkPacketPrefixBytes + encoded_bytes;
  if (capacity_bytes < total) return 0;
  platform::PutU32BE(out, talk_time_stamp / 100);
  streaming::BuildAudioFrameHeader(out + 4, static_cast<uint32_t>(encoded_bytes), talk_time_stamp, 1);
  if (encoded_bytes > 0) std::memcpy(out + kTalkPacketPrefixBytes, encoded, encoded_bytes);
  return total;
}

size_t CTalkPacketizer::Packetize(int talk_codec, const AudioBlock& block, uint8_t* out, size_t capacity_bytes) {
  size_t encoded = 0;
  if (talk_codec == kTalkCodecVoice && block.length_bytes == kTalkBlockBytesVoice) {
    if (encoder_.EncodeTalkHi(block.samples, talk_buffer_) != HI_VOICE_SUCCESS) return 0;
    encoded = kTalkHiFrameBytes;
  } else if (talk_codec == kTalkCodecG726 && block.length_bytes == kTalkBlockBytesG726) {
    const int n = encoder_.EncodeTalkG726(block.samples, static_cast<int>(kTalkBlockBytesG726 / 2), talk_buffer_,
                                          static_cast<int>(sizeof talk_buffer_));
    if (n != static_cast<int>(kTalkG726Bytes)) return 0;
    encoded = kTalkG726Bytes;
  } else {
    return 0;
  }
  const size_t total = BuildTalkPacket(time_stamp_, talk_buffer_, encoded, out, capacity_bytes);
  if (total > 0) time_stamp_ += kTalkTimeStampStep;
  return total;
}
