// A scripted DVR peer for protocol tests: listens on a free loopback port,
// accepts connections and lets the test send and read raw bytes or framed
// messages. Every wait is bounded so a broken client fails a test instead
// of hanging it.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/socket.h"
#include "protocol/message.h"

struct PeerMessage {
  uint16_t command = 0;
  std::vector<uint8_t> payload;
};

class FakePeer {
 public:
  FakePeer() : listen_fd_(platform::ListenTcp("127.0.0.1", 0, 16)) {}
  ~FakePeer() {
    CloseClient();
    platform::CloseSocket(listen_fd_);
  }
  FakePeer(const FakePeer&) = delete;
  FakePeer& operator=(const FakePeer&) = delete;

  int Port() const { return platform::LocalPort(listen_fd_); }

  // A loopback port nobody listens on (it was free a moment ago).
  static int UnusedPort() {
    FakePeer gone;
    return gone.Port();
  }

  // Accepts the next connection (closing any earlier one); false on time-out.
  bool Accept(long timeout_ms = 5000) {
    CloseClient();
    client_fd_ = platform::AcceptTimed(listen_fd_, timeout_ms);
    return client_fd_ >= 0;
  }
  void CloseClient() {
    if (client_fd_ >= 0) platform::CloseSocket(client_fd_);
    client_fd_ = -1;
  }

  bool SendRaw(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    size_t sent = 0;
    while (sent < size) {
      long n = platform::SendSome(client_fd_, p + sent, size - sent);
      if (n < 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }
  bool SendRaw(const std::vector<uint8_t>& bytes) { return SendRaw(bytes.data(), bytes.size()); }

  static std::vector<uint8_t> Frame(uint16_t command, const std::vector<uint8_t>& payload,
                                    uint16_t magic = kMessageMagic) {
    uint8_t header[kMessageHeaderSize];
    MessageHeader{magic, command, static_cast<uint16_t>(kMessageHeaderSize + payload.size())}.Encode(header);
    std::vector<uint8_t> out(header, header + kMessageHeaderSize);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
  }
  bool Send(uint16_t command, const std::vector<uint8_t>& payload = {}) { return SendRaw(Frame(command, payload)); }

  // Reads exactly size bytes; false on time-out or end of stream.
  bool ReadRaw(void* data, size_t size, long timeout_ms = 5000) {
    auto* p = static_cast<uint8_t*>(data);
    size_t got = 0;
    while (got < size) {
      if (platform::WaitReadable(client_fd_, timeout_ms) <= 0) return false;
      long n = platform::RecvSome(client_fd_, p + got, size - got);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }
  // Reads one framed message; false on time-out, end of stream or bad magic.
  bool Read(PeerMessage* out, long timeout_ms = 5000) {
    uint8_t raw[kMessageHeaderSize];
    if (!ReadRaw(raw, sizeof raw, timeout_ms)) return false;
    MessageHeader h = MessageHeader::Decode(raw);
    if (h.magic != kMessageMagic || h.total_length < kMessageHeaderSize) return false;
    out->command = h.command;
    out->payload.assign(h.total_length - kMessageHeaderSize, 0);
    return out->payload.empty() || ReadRaw(out->payload.data(), out->payload.size(), timeout_ms);
  }
  // True when the client closed its side (or the socket failed) within timeout_ms.
  bool SeesClose(long timeout_ms) {
    uint8_t b;
    if (platform::WaitReadable(client_fd_, timeout_ms) <= 0) return false;
    return platform::RecvSome(client_fd_, &b, 1) <= 0;
  }

  // Answers a login request with result and session id.
  bool AnswerLogin(uint16_t result, uint16_t session_id, PeerMessage* request = nullptr) {
    PeerMessage req;
    if (!Read(&req) || req.command != 0x1013) return false;
    if (request != nullptr) *request = req;
    return Send(0x1014, Be16s({result, session_id}));
  }

  static std::vector<uint8_t> Be16s(std::initializer_list<uint16_t> values) {
    std::vector<uint8_t> out;
    for (uint16_t v : values) {
      out.push_back(static_cast<uint8_t>(v >> 8));
      out.push_back(static_cast<uint8_t>(v));
    }
    return out;
  }
  static void AppendBe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
  }

 private:
  int listen_fd_;
  int client_fd_ = -1;
};
