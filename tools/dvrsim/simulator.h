// The simulated DVR as a server: listening sockets, one acceptor thread and
// one thread per client connection. Runs in-process for tests and inside the
// dvrsim executable. Every thread it starts is joined by Stop().
#pragma once
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dvrsim/archive.h"
#include "dvrsim/control_session.h"
#include "dvrsim/live_session.h"
#include "dvrsim/media_store.h"
#include "dvrsim/sim_config.h"

namespace dvrsim {

// Port offsets from the base port.
inline constexpr int kControlPortOffset = 1;
inline constexpr int kLivePortOffset = 2;
inline constexpr int kBackupPortOffset = 3;

inline constexpr int kMaxConnections = 64;
inline constexpr int kSendTimeoutMs = 5000;
// Longest a connection or the acceptor waits before looking at the stop flag.
inline constexpr int kPollSliceMs = 100;

// Writes each line to stdout and flushes; lines from different threads never mix.
LineSink StdoutLineSink();

class Simulator {
 public:
  // log receives --log-requests lines; empty means stdout.
  explicit Simulator(SimConfig config, LineSink log = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Binds the listening sockets and starts accepting. False with *error set
  // when a port cannot be bound.
  bool Start(std::string* error);
  // Closes the listeners, shuts every client socket down and joins all threads.
  void Stop();

  int base_port() const { return base_port_; }
  int control_port() const { return base_port_ + kControlPortOffset; }
  int live_port() const { return base_port_ + kLivePortOffset; }
  // "dvrsim listening base=<BASE> control=<PORT> live=<PORT>"
  std::string ReadyLine() const;
  int open_connections() const;
  const SimConfig& config() const { return config_; }
  // Media units sent on every live connection so far.
  uint64_t live_units_sent() const { return live_stats_.units.load(); }
  const Archive& archive() const { return archive_; }

 private:
  enum class Service { kControl, kLive };
  struct Listener {
    int fd;
    Service service;
    int port;
  };
  struct Connection {
    int fd = -1;
    int local_port = 0;
    Service service = Service::kControl;
    std::mutex send_mutex;  // one whole message at a time
    std::atomic<bool> done{false};
    std::thread thread;
  };

  bool OpenListeners(std::string* error);
  void AcceptLoop();
  void Accept(const Listener& l);
  void ReapFinished();
  void Serve(Connection& c);
  // Drives one socketless handler (OnReceived, OnTimer, NextDeadline) on c.
  template <typename Handler>
  void Drive(Connection& c, Handler& handler);
  bool SendAll(Connection& c, std::span<const uint8_t> bytes);

  const SimConfig config_;
  LineSink log_;
  SessionRegistry sessions_;
  MediaStore media_;
  std::unique_ptr<TalkRecorder> talk_;
  LiveStats live_stats_;
  const Archive archive_;
  int base_port_ = 0;
  std::vector<Listener> listeners_;
  std::atomic<bool> stopping_{false};
  bool started_ = false;
  std::thread acceptor_;
  mutable std::mutex connections_mutex_;
  std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace dvrsim
