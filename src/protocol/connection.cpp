#include "protocol/connection.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/socket.h"

CDvrConnection::CDvrConnection() = default;

CDvrConnection::~CDvrConnection() {
  CDvrConnection::Stop();
  event_queue_.Clear();
  answer_queue_.Clear();
}

int CDvrConnection::Start(const char* host, int port) {
  run_.store(true);
  connect_allowed_.store(true);
  CopyHost(host);
  port_ = port;
  return Open(host_, port_);
}

void CDvrConnection::Stop() {
  run_.store(false);
  connect_allowed_.store(false);
  Close();
  StopThread();
  // With no worker left, the stopping thread owns the descriptor.
  if (!worker_active_.load() && socket_.load() != platform::kInvalidSocket) ReleaseSocket();
}

void CDvrConnection::SetNotifyCallback(NotifyCallback fn, void* user) {
  notify_fn_ = fn;
  notify_user_ = user;
}
void CDvrConnection::SetFrameCallback(FrameCallback fn, void* user) {
  frame_fn_ = fn;
  frame_user_ = user;
}
void CDvrConnection::SetStatusCallback(StatusCallback fn, void* user) {
  status_fn_ = fn;
  status_user_ = user;
}
void CDvrConnection::SetEventCallback(EventCallback fn, void* user) {
  event_fn_ = fn;
  event_user_ = user;
}
void CDvrConnection::SetDataCallback(DataCallback fn, void* user) {
  data_fn_ = fn;
  data_user_ = user;
}

void CDvrConnection::CopyHost(const char* host) {
  platform::CopyTextBounded(host_, sizeof host_, host != nullptr ? host : "", sizeof host_ - 1);
}

bool CDvrConnection::OnWorkerThread() const {
  return worker_active_.load() && worker_id_.load() == std::this_thread::get_id();
}

int CDvrConnection::Open(const char* host, int port) {
  uint32_t addr = 0;
  if (!platform::ResolveIPv4(host, &addr)) return kResultNotResolved;
  int fd = socket_.load();
  if (fd == platform::kInvalidSocket) {
    fd = platform::CreateStreamSocket();
    if (fd == platform::kInvalidSocket) return 0;
    std::lock_guard<std::mutex> lock(socket_lock_);
    socket_.store(fd);
  }
  if (!platform::SetSocketBufferSizes(fd, kSocketBufferBytes)) return 0;
  if (platform::ConnectTimed(fd, addr, port, connect_timeout_s_, &connect_allowed_) != 1) {
    // A socket whose connect failed cannot be connected again; start afresh next time.
    ReleaseSocket();
    return 0;
  }
  return 1;
}

void CDvrConnection::AdoptSocket(int fd) {
  ReleaseSocket();
  std::lock_guard<std::mutex> lock(socket_lock_);
  socket_.store(fd);
}

void CDvrConnection::ReleaseSocket() {
  {
    // A send waiting for the DVR to take its bytes returns at once, so the
    // send lock comes free whatever the DVR does.
    std::lock_guard<std::mutex> lock(socket_lock_);
    platform::ShutdownSocket(socket_.load());
  }
  std::lock_guard<std::mutex> send(send_lock_);
  std::lock_guard<std::mutex> lock(socket_lock_);
  int fd = socket_.exchange(platform::kInvalidSocket);
  platform::CloseSocket(fd);
}

void CDvrConnection::Close() {
  connected_.store(false);
  if (worker_active_.load() && !OnWorkerThread()) {
    // The worker owns the descriptor: wake its receive and let it close.
    std::lock_guard<std::mutex> lock(socket_lock_);
    platform::ShutdownSocket(socket_.load());
    return;
  }
  if (socket_.load() != platform::kInvalidSocket) ReleaseSocket();
}

int CDvrConnection::SendLocked(int fd, const uint8_t* a, int a_size, const uint8_t* b, int b_size) {
  const int total = a_size + b_size;
  const int64_t deadline = platform::MonotonicMs() + send_timeout_ms_.load();
  int sent = 0;
  while (sent < total) {
    // Whatever is left of the first piece and the second leave in one
    // gathering send where the socket takes them.
    const long n = sent < a_size ? platform::SendSome2NoWait(fd, a + sent, static_cast<size_t>(a_size - sent), b,
                                                             static_cast<size_t>(b_size))
                                 : platform::SendSome2NoWait(fd, b + (sent - a_size), static_cast<size_t>(total - sent),
                                                             nullptr, 0);
    if (n > 0) {
      sent += static_cast<int>(n);
      continue;
    }
    const int64_t left = deadline - platform::MonotonicMs();
    if (n < 0 || left <= 0 || platform::WaitWritable(fd, static_cast<long>(left)) < 0) {
      if (sent > 0) {
        std::lock_guard<std::mutex> lock(socket_lock_);
        platform::ShutdownSocket(fd);
      }
      return -1;
    }
  }
  return total;
}

int CDvrConnection::SendAll(const void* bytes, int length) {
  std::lock_guard<std::mutex> lock(send_lock_);
  const int fd = socket_.load();
  if (fd == platform::kInvalidSocket) return -1;
  if (length <= 0) return 0;
  return SendLocked(fd, static_cast<const uint8_t*>(bytes), length, nullptr, 0);
}

int CDvrConnection::SendMessage(uint16_t command, const void* payload, int length) {
  if (length < 0 || length > kMaxPayloadSize) return kResultTooLong;
  uint8_t header[kMessageHeaderSize];
  MessageHeader{kMessageMagic, command, static_cast<uint16_t>(length + kMessageHeaderSize)}.Encode(header);
  std::lock_guard<std::mutex> lock(send_lock_);
  const int fd = socket_.load();
  if (fd == platform::kInvalidSocket) return -1;
  return SendLocked(fd, header, kMessageHeaderSize, static_cast<const uint8_t*>(payload), length);
}

int CDvrConnection::ReceiveBounded(uint8_t* buffer, int size, long first_wait_ms, long rest_wait_ms) {
  const int fd = socket_.load();
  if (fd == platform::kInvalidSocket) return -1;
  if (size <= 0) return 0;
  int got = 0;
  int64_t deadline = 0;
  while (got < size) {
    // Most of a message is usually there already: take it without a wait.
    long ready_now = platform::RecvSomeNoWait(fd, buffer + got, static_cast<size_t>(size - got));
    if (ready_now > 0) {
      got += static_cast<int>(ready_now);
      continue;
    }
    if (ready_now == 0 || ready_now == -1) return -1;  // end of stream or error
    long wait_ms;
    if (got == 0) {
      wait_ms = first_wait_ms;
    } else {
      if (deadline == 0) deadline = platform::MonotonicMs() + rest_wait_ms;
      wait_ms = static_cast<long>(std::max<int64_t>(0, deadline - platform::MonotonicMs()));
    }
    const int ready = platform::WaitReadable(fd, wait_ms);
    if (ready < 0) return -1;
    if (ready == 0) return got == 0 ? 0 : -1;  // silent before the first byte, or stalled midway
  }
  return got;
}

int CDvrConnection::ReceiveTimed(void* buffer, int size, int timeout_s) {
  const int fd = socket_.load();
  if (fd == platform::kInvalidSocket) return -1;
  if (timeout_s == 0) {
    long n = platform::RecvSome(fd, buffer, static_cast<size_t>(size < 0 ? 0 : size));
    return n == -2 ? 0 : static_cast<int>(n);
  }
  const long first_ms = timeout_s < 0 ? -1 : timeout_s * 1000L;
  return ReceiveBounded(static_cast<uint8_t*>(buffer), size, first_ms,
                        std::max<long>(first_ms, rest_timeout_ms_));
}

int CDvrConnection::ReceiveMessage(uint16_t* command, void* payload, int capacity, int timeout_s) {
  return ReceiveMessageMs(command, payload, capacity, timeout_s * 1000L);
}

int CDvrConnection::ReceiveMessageMs(uint16_t* command, void* payload, int capacity, long timeout_ms) {
  const long rest_ms = std::max<long>(timeout_ms, rest_timeout_ms_);
  uint8_t raw[kMessageHeaderSize];
  int r = ReceiveBounded(raw, kMessageHeaderSize, timeout_ms, rest_ms);
  if (r <= 0) return r;
  if (r < kMessageHeaderSize) return -1;
  const MessageHeader header = MessageHeader::Decode(raw);
  if (header.magic != kMessageMagic) {
    bad_headers_.fetch_add(1, std::memory_order_relaxed);
    return 0;  // dropped; there is no resynchronisation
  }
  const int total = header.total_length;
  if (total < kMessageHeaderSize) return -1;
  if (capacity < 0) capacity = 0;
  if (total > capacity + kMessageHeaderSize) return kResultTooLong;
  *command = header.command;
  const int payload_size = total - kMessageHeaderSize;
  if (payload_size > 0) {
    // The header has arrived, so the payload is bound to follow promptly.
    r = ReceiveBounded(static_cast<uint8_t*>(payload), payload_size, rest_ms, rest_ms);
    if (r != payload_size) return -1;
  }
  return total;
}

int CDvrConnection::TakeAnswer(uint16_t* command, void* destination, int capacity, int wait_s) {
  CFramePacket* packet = answer_queue_.Pop(wait_s);
  if (packet == nullptr) return 0;
  if (packet->payload_length > capacity || packet->payload_length < 0) {
    delete packet;
    return 0;
  }
  if (packet->payload_length > 0) std::memcpy(destination, packet->Payload(), static_cast<size_t>(packet->payload_length));
  *command = packet->command;
  const int total = packet->total_length;
  delete packet;
  return total;
}

int CDvrConnection::WaitForAnswer(uint16_t expected_command, void* destination, int capacity, int timeout_s) {
  const int64_t deadline = platform::NowSeconds() + timeout_s;
  for (;;) {
    const int64_t remaining = deadline - platform::NowSeconds();
    if (remaining <= 0) return 0;
    uint16_t command = 0;
    const int r = TakeAnswer(&command, destination, capacity, static_cast<int>(remaining));
    if (r <= 0) return 0;
    if (command == expected_command) return r;
  }
}

bool CDvrConnection::LaunchWorker(std::function<void()> fn, const std::function<void()>& prepare) {
  std::lock_guard<std::mutex> lock(worker_lock_);
  if (worker_active_.load()) return false;
  if (worker_.joinable()) worker_.join();
  if (prepare) prepare();
  connect_allowed_.store(true);
  worker_active_.store(true);
  worker_ = std::thread([this, fn = std::move(fn)] {
    worker_id_.store(std::this_thread::get_id());
    fn();
    worker_active_.store(false);
  });
  return true;
}

void CDvrConnection::StopThread() {
  if (OnWorkerThread()) return;  // a worker cannot join itself; it ends after this round
  std::lock_guard<std::mutex> lock(worker_lock_);
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

CFramePacket* CDvrConnection::CurrentPacket() {
  if (!current_packet_) current_packet_ = std::make_unique<CFramePacket>(kPacketPayloadCapacity);
  return current_packet_.get();
}

CFramePacket* CDvrConnection::DetachCurrentPacket() {
  CFramePacket* packet = current_packet_.release();
  if (packet != nullptr) packet->Trim();
  return packet;
}

void CDvrConnection::QueueMessage(CFrameQueue& queue, uint16_t command, const uint8_t* payload, int payload_bytes,
                                  bool from_current) {
  CFramePacket* packet = from_current ? DetachCurrentPacket() : nullptr;
  if (packet == nullptr) {
    packet = new CFramePacket(payload_bytes);
    if (payload_bytes > 0) std::memcpy(packet->Payload(), payload, static_cast<size_t>(payload_bytes));
    packet->command = command;
    packet->total_length = payload_bytes + kMessageHeaderSize;
    packet->payload_length = payload_bytes;
  }
  queue.PushDropOldest(packet);
}
