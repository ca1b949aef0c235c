// Test-side peer of the simulator: a raw socket with just enough framing to
// send requests and read whole messages with a time-out.
#pragma once
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/socket.h"

namespace dvrsim_test {

struct Msg {
  uint16_t code = 0;
  std::vector<uint8_t> payload;
};

class SimClient {
 public:
  explicit SimClient(int port) {
    fd_ = platform::CreateStreamSocket();
    uint32_t addr = 0;
    platform::ResolveIPv4("127.0.0.1", &addr);
    connected_ = platform::ConnectTimed(fd_, addr, port, 2, nullptr) == 1;
  }
  ~SimClient() { platform::CloseSocket(fd_); }
  SimClient(const SimClient&) = delete;
  SimClient& operator=(const SimClient&) = delete;

  bool connected() const { return connected_; }

  bool SendRaw(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      long n = platform::SendSome(fd_, bytes.data() + sent, bytes.size() - sent);
      if (n < 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }
  bool Send(uint16_t code, const std::vector<uint8_t>& payload = {0}) {
    std::vector<uint8_t> b(6 + payload.size());
    platform::PutU16BE(&b[0], 0x2818);
    platform::PutU16BE(&b[2], code);
    platform::PutU16BE(&b[4], static_cast<uint16_t>(b.size()));
    std::copy(payload.begin(), payload.end(), b.begin() + 6);
    return SendRaw(b);
  }
  bool SendLogin(const std::string& id, const std::string& password) {
    std::vector<uint8_t> p(64, 0);
    std::copy(id.begin(), id.end(), p.begin());
    std::copy(password.begin(), password.end(), p.begin() + 32);
    return Send(0x1013, p);
  }

  // The next message within timeout_ms; nullopt on time-out or close.
  std::optional<Msg> Receive(long timeout_ms = 2000) {
    const int64_t deadline = platform::MonotonicMs() + timeout_ms;
    uint8_t h[6];
    if (!ReadExact(h, 6, deadline)) return std::nullopt;
    Msg m;
    m.code = platform::GetU16BE(h + 2);
    const uint16_t total = platform::GetU16BE(h + 4);
    if (platform::GetU16BE(h) != 0x2818 || total < 6) return std::nullopt;
    m.payload.resize(total - 6u);
    if (!ReadExact(m.payload.data(), m.payload.size(), deadline)) return std::nullopt;
    return m;
  }
  // The next message with the given code, skipping others (keep-alives).
  std::optional<Msg> ReceiveCode(uint16_t code, long timeout_ms = 2000) {
    const int64_t deadline = platform::MonotonicMs() + timeout_ms;
    for (;;) {
      const int64_t left = deadline - platform::MonotonicMs();
      if (left <= 0) return std::nullopt;
      std::optional<Msg> m = Receive(static_cast<long>(left));
      if (!m || m->code == code) return m;
    }
  }
  // True when the peer closes within timeout_ms (pending messages are skipped).
  bool WaitClosed(long timeout_ms = 2000) {
    const int64_t deadline = platform::MonotonicMs() + timeout_ms;
    uint8_t b[512];
    for (;;) {
      const int64_t left = deadline - platform::MonotonicMs();
      if (left <= 0 || platform::WaitReadable(fd_, static_cast<long>(left)) <= 0) return false;
      long n = platform::RecvSome(fd_, b, sizeof b);
      if (n == 0 || n == -1) return true;
    }
  }
  // Logs in; returns the answer's result and session id.
  std::optional<std::pair<uint16_t, uint16_t>> Login(const std::string& id, const std::string& password) {
    if (!SendLogin(id, password)) return std::nullopt;
    std::optional<Msg> m = ReceiveCode(0x1014);
    if (!m || m->payload.size() != 4) return std::nullopt;
    return std::make_pair(platform::GetU16BE(&m->payload[0]), platform::GetU16BE(&m->payload[2]));
  }

 private:
  bool ReadExact(uint8_t* dst, size_t size, int64_t deadline) {
    size_t got = 0;
    while (got < size) {
      const int64_t left = deadline - platform::MonotonicMs();
      if (left <= 0 || platform::WaitReadable(fd_, static_cast<long>(left)) <= 0) return false;
      long n = platform::RecvSome(fd_, dst + got, size - got);
      if (n == -2) continue;
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

  int fd_ = platform::kInvalidSocket;
  bool connected_ = false;
};

inline std::string FieldText(const std::vector<uint8_t>& p, size_t offset, size_t field) {
  std::string s;
  for (size_t i = offset; i < offset + field && i < p.size() && p[i] != 0; ++i) s += static_cast<char>(p[i]);
  return s;
}

}  // namespace dvrsim_test
