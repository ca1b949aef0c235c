// The 6-byte message header of every DVR connection: magic 0x2818, command
// code, total length (header included), all big-endian.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"

inline constexpr uint16_t kMessageMagic = 0x2818;
inline constexpr int kMessageHeaderSize = 6;
inline constexpr int kMaxMessageTotal = 65535;
inline constexpr int kMaxPayloadSize = kMaxMessageTotal - kMessageHeaderSize;  // 65529
// Payload capacity of a receive packet.
inline constexpr int kPacketPayloadCapacity = 4500;

struct MessageHeader {
  uint16_t magic = kMessageMagic;
  uint16_t command = 0;
  uint16_t total_length = kMessageHeaderSize;

  void Encode(uint8_t out[kMessageHeaderSize]) const {
    platform::PutU16BE(out, magic);
    platform::PutU16BE(out + 2, command);
    platform::PutU16BE(out + 4, total_length);
  }
  static MessageHeader Decode(const uint8_t in[kMessageHeaderSize]) {
    MessageHeader h;
    h.magic = platform::GetU16BE(in);
    h.command = platform::GetU16BE(in + 2);
    h.total_length = platform::GetU16BE(in + 4);
    return h;
  }
};
