// Message framing for the simulator's connections: building whole messages
// and cutting a byte stream from an untrusted peer back into messages.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/message.h"

namespace dvrsim {

using Bytes = std::vector<uint8_t>;

// Header + payload as one buffer. The payload must not exceed 65529 bytes.
Bytes EncodeMessage(uint16_t code, std::span<const uint8_t> payload);

// Lower-case hex, no separators.
std::string HexString(std::span<const uint8_t> bytes);

struct Message {
  uint16_t code = 0;
  uint16_t total_length = 0;
  std::span<const uint8_t> payload;  // valid until the next Append/Next
};

// Accumulates received bytes and hands out complete messages. A wrong magic
// or a total length below the header size makes the stream unusable.
class FrameReader {
 public:
  enum class Result { kMessage, kNeedMore, kBroken };

  void Append(const uint8_t* data, size_t size);
  // The next complete message, if any.
  Result Next(Message* out);

 private:
  Bytes buffer_;
  size_t start_ = 0;     // first unread byte
  size_t consumed_ = 0;  // bytes of the message handed out last, dropped on the next call
};

// The --log-requests line of one received message:
// "request port=P cmd=0xCCCC length=N payload=HEX"; payload_text replaces
// the hex when given.
std::string RequestLogLine(int local_port, const Message& m, const char* payload_text = nullptr);

// Appends received bytes to reader and hands every complete message to
// handle (a callable taking const Message& and returning false to close).
// Returns false when the stream broke or handle asked to close.
template <typename Handle>
bool DrainMessages(FrameReader& reader, const uint8_t* data, size_t size, Handle&& handle) {
  reader.Append(data, size);
  for (;;) {
    Message m;
    switch (reader.Next(&m)) {
      case FrameReader::Result::kNeedMore:
        return true;
      case FrameReader::Result::kBroken:
        return false;
      case FrameReader::Result::kMessage:
        if (!handle(m)) return false;
        break;
    }
  }
}

// Appends big-endian fields and fixed text fields to a payload.
class PayloadWriter {
 public:
  PayloadWriter& U8(uint8_t v);
  PayloadWriter& U16(uint16_t v);
  PayloadWriter& U32(uint32_t v);
  // text in a field of exactly `field` bytes, zero-filled, cut when longer.
  PayloadWriter& Text(const std::string& text, size_t field);
  PayloadWriter& Zeros(size_t n);
  Bytes Take() { return std::move(bytes_); }
  size_t size() const { return bytes_.size(); }

 private:
  Bytes bytes_;
};

}  // namespace dvrsim
