// CDvrConnection: one TCP connection to a DVR, the base of every session
// kind (control, live stream, playback, backup). It frames messages, sends
// them whole under a send lock, receives with time-outs, runs the two
// admission handshakes and owns the worker thread of the session.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/event.h"
#include "protocol/event_record.h"
#include "protocol/frame_packet.h"
#include "protocol/message.h"

struct StateBlockRef;

using NotifyCallback = void (*)(int code, void* user);
// A frame record and the bytes that were actually collected for it; the
// record's own size field must not be trusted beyond record_bytes.
using FrameCallback = void (*)(const uint8_t* record, int record_bytes, void* user);
using StatusCallback = void (*)(int code, void* user);
using EventCallback = void (*)(const EventRecord* record, void* user);
using DataCallback = void (*)(int code, void* user, const StateBlockRef* block);

// Handshake and transport results.
enum ConnectionResult : int {
  kResultSocketError = -1,
  kResultTooLong = -2,
  kResultRefused = -9,          // DVR result 0xF001 at login
  kResultNotResolved = -10,
  kResultNoConnection = -11,
  kResultHandshakeFailed = -12,
  kResultRefusedF003 = -13,
  kResultRefusedF004 = -14,
  kResultRefusedF006 = -15,
  kResultRefusedOther = -16,
};

inline constexpr int kSocketBufferBytes = 64512;
inline constexpr int kHandshakeTimeoutS = 2;
inline constexpr int kDefaultConnectTimeoutS = 60;
// Once the first byte of a message has arrived, the rest of it must follow
// within the larger of the caller's time-out and this bound.
inline constexpr int kMessageRestTimeoutMs = 10000;
// A message the DVR does not take within this time is a failed send: the
// silence the control session tolerates from a DVR (five rounds of 10 s).
inline constexpr long kDefaultSendTimeoutMs = 50000;

class CDvrConnection {
 public:
  CDvrConnection();
  virtual ~CDvrConnection();
  CDvrConnection(const CDvrConnection&) = delete;
  CDvrConnection& operator=(const CDvrConnection&) = delete;

  // Virtual operations, in slot order.
  virtual int Start(const char* host, int port);
  virtual void Stop();
  virtual bool IsConnected() const { return connected_.load(); }
  virtual void SetRetryAllowed(bool allowed) { retry_.store(allowed); }
  virtual bool IsRetryAllowed() const { return retry_.load(); }
  virtual void SetNotifyCallback(NotifyCallback fn, void* user);
  virtual void SetFrameCallback(FrameCallback fn, void* user);
  virtual void SetStatusCallback(StatusCallback fn, void* user);
  virtual void SetEventCallback(EventCallback fn, void* user);
  virtual void SetDataCallback(DataCallback fn, void* user);
  virtual bool HasNotifyTarget() const { return notify_fn_ != nullptr; }

  // Transport. Sends hold the send lock for one whole message (SendAll: its
  // bytes) and wait at most the send time-out for the DVR to take it; a send
  // that ran out of time fails like any other (-1). When only part of a
  // message went out the connection is shut down, since the DVR would read
  // the next message as the rest of this one; the session then ends on its
  // next receive. Closing shuts the socket down before it takes the send
  // lock, so a send waiting on the DVR never holds up the close.
  int Open(const char* host, int port);
  void Close();
  int SendAll(const void* bytes, int length);
  int ReceiveTimed(void* buffer, int size, int timeout_s);
  int SendMessage(uint16_t command, const void* payload, int length);
  int Send(uint16_t command, const void* payload, int length) { return SendMessage(command, payload, length); }
  int ReceiveMessage(uint16_t* command, void* payload, int capacity, int timeout_s);
  int ReceiveMessageMs(uint16_t* command, void* payload, int capacity, long timeout_ms);
  int TakeAnswer(uint16_t* command, void* destination, int capacity, int wait_s);
  int WaitForAnswer(uint16_t expected_command, void* destination, int capacity, int timeout_s);

  // Handshakes.
  int Login(const char* host, int port, const char* user_id, const char* password);
  int OpenStream(const char* host, int port, int session_id);
  int SendPlaybackRequest(uint16_t channel_mask, uint16_t kind);

  CFrameQueue& EventQueue() { return event_queue_; }
  CFrameQueue& AnswerQueue() { return answer_queue_; }

  const char* Host() const { return host_; }
  int Port() const { return port_; }
  bool IsRunRequested() const { return run_.load(); }
  bool IsWorkerActive() const { return worker_active_.load(); }

  // The acknowledgement event signalled by 0x7116 on the control connection;
  // owned by whoever installs it, nullptr to remove.
  void SetAckEvent(platform::AutoResetEvent* event) { ack_event_.store(event); }

  void SetConnectTimeout(int seconds) { connect_timeout_s_ = seconds < 1 ? 1 : seconds; }
  // Takes over an already connected descriptor (closing any held one), for
  // tests and fuzzing that feed a connection from a socket pair.
  void AdoptSocket(int fd);

  // Test hook: the bound on the rest of a message once its first byte came.
  void SetRestTimeoutMs(long ms) { rest_timeout_ms_ = ms; }
  // How long one message may wait for the DVR to take it (any thread).
  void SetSendTimeoutMs(long ms) { send_timeout_ms_.store(ms < 1 ? 1 : ms); }
  long SendTimeoutMs() const { return send_timeout_ms_.load(); }
  // Message headers dropped because their magic was wrong.
  uint64_t BadHeaders() const { return bad_headers_.load(std::memory_order_relaxed); }

 protected:
  // Starts fn on the worker thread unless a worker is still active (then
  // nothing happens and false is returned). A worker that has ended is joined
  // first. The worker marks itself inactive as its last action. prepare, when
  // given, runs just before the thread starts and only then: the place to
  // store what the worker reads (host, port, ...) without racing a worker
  // still running.
  bool LaunchWorker(std::function<void()> fn, const std::function<void()>& prepare = {});
  // Joins the worker unless called on the worker itself.
  void StopThread();
  bool OnWorkerThread() const;
  void CopyHost(const char* host);
  CFramePacket* CurrentPacket();
  // Hands the current packet over (trimmed); the next CurrentPacket makes a new one.
  CFramePacket* DetachCurrentPacket();
  // Pushes a message onto queue, dropping the queue's oldest when it is full
  // (nobody may be waiting, and the receive loop must not stall). When the
  // message is the current packet's own (from_current) that packet is handed
  // over; otherwise the payload is copied into a new one.
  void QueueMessage(CFrameQueue& queue, uint16_t command, const uint8_t* payload, int payload_bytes,
                    bool from_current);

  void Notify(int code) {
    if (notify_fn_ != nullptr) notify_fn_(code, notify_user_);
  }

  std::atomic<int> socket_{-1};
  std::mutex send_lock_;
  std::atomic<bool> run_{false};
  // Cleared by Stop so that a connect in progress is abandoned; set again by
  // every start.
  std::atomic<bool> connect_allowed_{true};
  std::atomic<bool> connected_{false};
  std::atomic<bool> retry_{false};
  char host_[33] = {};
  int port_ = 0;
  CFrameQueue event_queue_{CFrameQueue::kSessionCapacity};
  CFrameQueue answer_queue_{CFrameQueue::kSessionCapacity};
  std::unique_ptr<CFramePacket> current_packet_;
  std::atomic<int> keep_alive_count_{0};

  NotifyCallback notify_fn_ = nullptr;
  void* notify_user_ = nullptr;
  FrameCallback frame_fn_ = nullptr;
  void* frame_user_ = nullptr;
  StatusCallback status_fn_ = nullptr;
  void* status_user_ = nullptr;
  EventCallback event_fn_ = nullptr;
  void* event_user_ = nullptr;
  DataCallback data_fn_ = nullptr;
  void* data_user_ = nullptr;
  std::atomic<platform::AutoResetEvent*> ack_event_{nullptr};

  int connect_timeout_s_ = kDefaultConnectTimeoutS;
  long rest_timeout_ms_ = kMessageRestTimeoutMs;

 private:
  int ReceiveBounded(uint8_t* buffer, int size, long first_wait_ms, long rest_wait_ms);
  // Sends a then b under the send lock, within the send time-out.
  int SendLocked(int fd, const uint8_t* a, int a_size, const uint8_t* b, int b_size);
  void ReleaseSocket();

  std::atomic<long> send_timeout_ms_{kDefaultSendTimeoutMs};
  std::atomic<uint64_t> bad_headers_{0};

  std::mutex socket_lock_;  // orders shutdown from other threads against close
  std::thread worker_;
  std::atomic<bool> worker_active_{false};
  std::atomic<std::thread::id> worker_id_{};
  std::mutex worker_lock_;  // serialises launching and joining
};
