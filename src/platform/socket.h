// Blocking TCP sockets with the few behaviours the DVR connections rely on:
// fixed buffer sizes, a readiness wait in milliseconds, interrupted calls
// retried, a would-block result reported as "0 bytes, try again", and a
// connect that can be abandoned when its owner is told to stop.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr int kInvalidSocket = -1;

// New IPv4 stream socket (close-on-exec), or kInvalidSocket.
int CreateStreamSocket();

// SO_RCVBUF then SO_SNDBUF to bytes; false when either is refused.
bool SetSocketBufferSizes(int fd, int bytes);

// Resolves a host name or dotted address to its first IPv4 address
// (network byte order). False when it cannot be resolved.
bool ResolveIPv4(const char* host, uint32_t* addr_be);

// Connects fd to addr:port. The attempt runs non-blocking and is waited for
// in slices of at most 100 ms; it is abandoned when timeout_s runs out or when
// keep_going (if given) becomes false. The socket is blocking again afterwards.
// Returns 1 when connected, 0 otherwise.
int ConnectTimed(int fd, uint32_t addr_be, int port, int timeout_s, const std::atomic<bool>* keep_going);

// One send call that never raises SIGPIPE. Returns the bytes sent (> 0), 0 when
// the call would block or was interrupted (the caller retries), -1 on error.
long SendSome(int fd, const void* data, size_t size);

// One gathering send of two pieces (header and payload) that never raises
// SIGPIPE. Same results as SendSome, counting bytes over both pieces.
long SendSome2(int fd, const void* a, size_t a_size, const void* b, size_t b_size);

// As SendSome2, but the call never waits for room: 0 when the socket takes
// nothing now (see WaitWritable).
long SendSome2NoWait(int fd, const void* a, size_t a_size, const void* b, size_t b_size);

// Waits for room to send: 1 when a send can make progress (or would fail at
// once: an error is pending or the socket was shut down), 0 time-out, -1
// error. Interrupted waits continue with the time that is left.
int WaitWritable(int fd, long timeout_ms);

// Waits for readability: 1 readable (data, end of stream or error pending),
// 0 time-out, -1 error. timeout_ms < 0 waits without limit. Interrupted waits
// continue with the time that is left.
int WaitReadable(int fd, long timeout_ms);

// One receive call, interrupted calls retried. Returns the bytes received
// (> 0), 0 at end of stream, -1 on error, -2 when the call would block.
long RecvSome(int fd, void* data, size_t size);

// As RecvSome but never waits: -2 when nothing is there yet.
long RecvSomeNoWait(int fd, void* data, size_t size);

// Shuts both directions down so that a receive blocked in another thread
// returns; the descriptor stays valid until CloseSocket.
void ShutdownSocket(int fd);
void CloseSocket(int fd);

// Listening socket on bind_addr:port (port 0 picks a free one), SO_REUSEADDR
// set. Returns the descriptor or kInvalidSocket.
int ListenTcp(const char* bind_addr, int port, int backlog);
// The local port a socket is bound to, or -1.
int LocalPort(int fd);
// Accepts one connection, waiting up to timeout_ms. Returns the new
// descriptor, or kInvalidSocket on time-out or error.
int AcceptTimed(int listen_fd, long timeout_ms);

}  // namespace platform
