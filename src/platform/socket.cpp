#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/clock.h"

namespace platform {

int CreateStreamSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return fd < 0 ? kInvalidSocket : fd;
}

bool SetSocketBufferSizes(int fd, int bytes) {
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return false;
  if (::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) != 0) return false;
  return true;
}

bool ResolveIPv4(const char* host, uint32_t* addr_be) {
  if (host == nullptr || host[0] == '\0') return false;
  in_addr direct{};
  if (::inet_pton(AF_INET, host, &direct) == 1) {
    *addr_be = direct.s_addr;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &result) != 0 || result == nullptr) return false;
  bool found = false;
  for (addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
      *addr_be = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
      found = true;
      break;
    }
  }
  ::freeaddrinfo(result);
  return found;
}

int ConnectTimed(int fd, uint32_t addr_be, int port, int timeout_s, const std::atomic<bool>* keep_going) {
  if (fd < 0 || port < 0 || port > 65535) return 0;
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return 0;

  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  sa.sin_addr.s_addr = addr_be;

  int result = 0;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) {
    result = 1;
  } else if (errno == EINPROGRESS || errno == EINTR) {
    const int64_t deadline = MonotonicMs() + int64_t{timeout_s < 0 ? 0 : timeout_s} * 1000;
    for (;;) {
      if (keep_going != nullptr && !keep_going->load()) break;
      int64_t left = deadline - MonotonicMs();
      if (left <= 0) break;
      pollfd p{fd, POLLOUT, 0};
      int r = ::poll(&p, 1, static_cast<int>(left < 100 ? left : 100));
      if (r < 0 && errno != EINTR) break;
      if (r > 0) {
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) result = 1;
        break;
      }
    }
  }
  ::fcntl(fd, F_SETFL, flags);
  if (result == 1) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  return result;
}

long SendSome(int fd, const void* data, size_t size) {
  ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
  if (n >= 0) return static_cast<long>(n);
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return 0;
  return -1;
}

namespace {

long GatherSend(int fd, const void* a, size_t a_size, const void* b, size_t b_size, int flags) {
  iovec iov[2] = {{const_cast<void*>(a), a_size}, {const_cast<void*>(b), b_size}};
  msghdr msg{};
  msg.msg_iov = iov;
  msg.msg_iovlen = b_size > 0 ? 2 : 1;
  ssize_t n = ::sendmsg(fd, &msg, MSG_NOSIGNAL | flags);
  if (n >= 0) return static_cast<long>(n);
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return 0;
  return -1;
}

// Waits for any of events; same results as WaitReadable.
int WaitFor(int fd, short events, long timeout_ms) {
  const int64_t deadline = timeout_ms < 0 ? 0 : MonotonicMs() + timeout_ms;
  for (;;) {
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      int64_t left = deadline - MonotonicMs();
      if (left < 0) left = 0;
      wait_ms = left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
    }
    pollfd p{fd, events, 0};
    int r = ::poll(&p, 1, wait_ms);
    if (r > 0) return 1;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

long SendSome2(int fd, const void* a, size_t a_size, const void* b, size_t b_size) {
  return GatherSend(fd, a, a_size, b, b_size, 0);
}

long SendSome2NoWait(int fd, const void* a, size_t a_size, const void* b, size_t b_size) {
  return GatherSend(fd, a, a_size, b, b_size, MSG_DONTWAIT);
}

int WaitWritable(int fd, long timeout_ms) { return WaitFor(fd, POLLOUT, timeout_ms); }

long RecvSomeNoWait(int fd, void* data, size_t size) {
  for (;;) {
    ssize_t n = ::recv(fd, data, size, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -2;
    return -1;
  }
}

int WaitReadable(int fd, long timeout_ms) { return WaitFor(fd, POLLIN, timeout_ms); }

long RecvSome(int fd, void* data, size_t size) {
  for (;;) {
    ssize_t n = ::recv(fd, data, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -2;
    return -1;
  }
}

void ShutdownSocket(int fd) {
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void CloseSocket(int fd) {
  if (fd >= 0) ::close(fd);
}

int ListenTcp(const char* bind_addr, int port, int backlog) {
  int fd = CreateStreamSocket();
  if (fd < 0) return kInvalidSocket;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  if (bind_addr == nullptr || ::inet_pton(AF_INET, bind_addr, &sa.sin_addr) != 1) {
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, backlog) != 0) {
    ::close(fd);
    return kInvalidSocket;
  }
  return fd;
}

int LocalPort(int fd) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return -1;
  return ntohs(sa.sin_port);
}

int AcceptTimed(int listen_fd, long timeout_ms) {
  if (WaitReadable(listen_fd, timeout_ms) <= 0) return kInvalidSocket;
  int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kInvalidSocket : fd;
}

}  // namespace platform
