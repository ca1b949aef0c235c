// The DVR end of a loopback connection for fuzz targets that drive the
// client's own socket code: a listener on a free port, and for each
// connection a thread that reads the client's request, writes the fuzz
// input, closes its sending side (the client then meets the end of the
// stream) and reads until the client closes. Every wait is bounded.
#pragma once
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/bytes.h"
#include "platform/socket.h"
#include "protocol/message.h"

class LoopbackPeer {
 public:
  LoopbackPeer() : listen_fd_(platform::ListenTcp("127.0.0.1", 0, 8)) {}
  ~LoopbackPeer() { platform::CloseSocket(listen_fd_); }
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  int Port() const { return platform::LocalPort(listen_fd_); }

  // One framed message from fd; false on time-out, end of stream or a
  // header that is not one.
  static bool ReadMessage(int fd, uint16_t* command, std::vector<uint8_t>* payload, long timeout_ms = 5000) {
    uint8_t header[kMessageHeaderSize];
    if (!ReadExact(fd, header, sizeof header, timeout_ms)) return false;
    const MessageHeader h = MessageHeader::Decode(header);
    if (h.magic != kMessageMagic || h.total_length < kMessageHeaderSize) return false;
    *command = h.command;
    payload->resize(h.total_length - kMessageHeaderSize);
    return payload->empty() || ReadExact(fd, payload->data(), payload->size(), timeout_ms);
  }

  static std::vector<uint8_t> Frame(uint16_t command, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out(kMessageHeaderSize);
    MessageHeader{kMessageMagic, command, static_cast<uint16_t>(kMessageHeaderSize + payload.size())}.Encode(out.data());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
  }

  static bool WriteAll(int fd, const uint8_t* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
      const long n = platform::SendSome(fd, data + sent, size - sent);
      if (n < 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  // After the input: the end of the stream for the client, then whatever it
  // still sends is read until it closes, so that closing here never resets
  // the connection under data the client has not read yet.
  static void FinishAndClose(int fd, long timeout_ms = 5000) {
    ::shutdown(fd, SHUT_WR);
    uint8_t sink[4096];
    while (platform::WaitReadable(fd, timeout_ms) > 0 && platform::RecvSome(fd, sink, sizeof sink) > 0) {
    }
    platform::CloseSocket(fd);
  }

  int Accept(long timeout_ms = 5000) { return platform::AcceptTimed(listen_fd_, timeout_ms); }

 private:
  static bool ReadExact(int fd, uint8_t* data, size_t size, long timeout_ms) {
    size_t got = 0;
    while (got < size) {
      if (platform::WaitReadable(fd, timeout_ms) <= 0) return false;
      const long n = platform::RecvSome(fd, data + got, size - got);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

  const int listen_fd_;
};
