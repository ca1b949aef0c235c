#include "dvrsim/framing.h"

#include <cstdio>

#include <algorithm>

#include "platform/bytes.h"

namespace dvrsim {

Bytes EncodeMessage(uint16_t code, std::span<const uint8_t> payload) {
  const size_t n = std::min<size_t>(payload.size(), kMaxPayloadSize);
  Bytes out(kMessageHeaderSize + n);
  MessageHeader h;
  h.command = code;
  h.total_length = static_cast<uint16_t>(kMessageHeaderSize + n);
  h.Encode(out.data());
  std::copy_n(payload.begin(), n, out.begin() + kMessageHeaderSize);
  return out;
}

std::string HexString(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}

void FrameReader::Append(const uint8_t* data, size_t size) {
  if (size == 0) return;
  // Drop what was handed out before growing, so the buffer stays near one
  // message plus one receive.
  start_ += consumed_;
  consumed_ = 0;
  if (start_ > 0) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

FrameReader::Result FrameReader::Next(Message* out) {
  start_ += consumed_;
  consumed_ = 0;
  const size_t avail = buffer_.size() - start_;
  if (avail < static_cast<size_t>(kMessageHeaderSize)) return Result::kNeedMore;
  const MessageHeader h = MessageHeader::Decode(buffer_.data() + start_);
  if (h.magic != kMessageMagic || h.total_length < kMessageHeaderSize) return Result::kBroken;
  if (avail < h.total_length) return Result::kNeedMore;
  out->code = h.command;
  out->total_length = h.total_length;
  out->payload = std::span<const uint8_t>(buffer_.data() + start_ + kMessageHeaderSize,
                                          h.total_length - static_cast<size_t>(kMessageHeaderSize));
  consumed_ = h.total_length;
  return Result::kMessage;
}

PayloadWriter& PayloadWriter::U8(uint8_t v) {
  bytes_.push_back(v);
  return *this;
}

PayloadWriter& PayloadWriter::U16(uint16_t v) {
  uint8_t b[2];
  platform::PutU16BE(b, v);
  bytes_.insert(bytes_.end(), b, b + 2);
  return *this;
}

PayloadWriter& PayloadWriter::U32(uint32_t v) {
  uint8_t b[4];
  platform::PutU32BE(b, v);
  bytes_.insert(bytes_.end(), b, b + 4);
  return *this;
}

PayloadWriter& PayloadWriter::Text(const std::string& text, size_t field) {
  const size_t n = std::min(text.size(), field);
  bytes_.insert(bytes_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
  bytes_.insert(bytes_.end(), field - n, 0);
  return *this;
}

PayloadWriter& PayloadWriter::Zeros(size_t n) {
  bytes_.insert(bytes_.end(), n, 0);
  return *this;
}

std::string RequestLogLine(int local_port, const Message& m, const char* payload_text) {
  char head[80];
  std::snprintf(head, sizeof head, "request port=%d cmd=0x%04X length=%u payload=", local_port, m.code,
                static_cast<unsigned>(m.total_length));
  return std::string(head) + (payload_text != nullptr ? std::string(payload_text) : HexString(m.payload));
}

}  // namespace dvrsim
