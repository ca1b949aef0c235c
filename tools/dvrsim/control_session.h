// One control connection of the simulated DVR, without the socket: received
// bytes go in, whole messages come out through a send function, and timers
// (keep-alive and scenario steps) run when the owner calls OnTimer. This is
// what the connection thread drives and what the fuzz target feeds.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string_view>

#include "dvrsim/archive.h"
#include "dvrsim/framing.h"
#include "dvrsim/sim_config.h"

namespace dvrsim {

// Receives one finished line (no newline); must be safe from any thread.
using LineSink = std::function<void(std::string_view)>;

// Writes all bytes of one message (or raw chunk) to the peer; false when the
// connection is lost.
using SendFunction = std::function<bool(std::span<const uint8_t>)>;

// Logged-in sessions of one simulator: the --max-sessions bound, the
// session ids handed out (stream connections are admitted only with the id
// of a session that is still logged in) and the bound on stream connections
// (by default three a session: the live pair and a playback connection).
class SessionRegistry {
 public:
  explicit SessionRegistry(int max_sessions, int max_streams = -1)
      : max_sessions_(max_sessions), max_streams_(max_streams < 0 ? 3 * max_sessions : max_streams) {}
  // A fresh session id, or nullopt when the DVR is full (unless forced).
  std::optional<uint16_t> Acquire(bool force);
  void Release(uint16_t id);
  bool IsLoggedIn(uint16_t id) const;
  int active() const;
  // A stream slot; false when every slot is taken.
  bool AcquireStream();
  void ReleaseStream();

 private:
  mutable std::mutex mutex_;
  int max_sessions_;
  int max_streams_;
  std::multiset<uint16_t> ids_;
  int streams_ = 0;
  uint16_t next_id_ = 0x0101;
};

// Login results.
inline constexpr uint16_t kLoginAccepted = 1;
inline constexpr uint16_t kLoginWrongPassword = 0xF001;
inline constexpr uint16_t kLoginFull = 0xF002;
inline constexpr uint16_t kLoginUnknownUser = 0xF003;

class ControlSession {
 public:
  // log may be empty; it receives the --log-requests lines when enabled.
  ControlSession(const SimConfig& config, SessionRegistry& registry, SendFunction send, LineSink log,
                 int local_port);
  ~ControlSession();
  ControlSession(const ControlSession&) = delete;
  ControlSession& operator=(const ControlSession&) = delete;

  // Bytes received at now_ms (monotonic). False: close the connection.
  bool OnReceived(const uint8_t* data, size_t size, int64_t now_ms);
  // Runs the keep-alive and scenario steps due at now_ms. False: close.
  bool OnTimer(int64_t now_ms);
  // When OnTimer next has work to do, or INT64_MAX.
  int64_t NextDeadline() const;

  // The recordings the month and day searches report; without them the
  // searches get the bare answer of every other request.
  void SetArchive(const Archive* archive) { archive_ = archive; }

  bool logged_in() const { return logged_in_; }
  uint16_t session_id() const { return session_id_; }

 private:
  bool HandleMessage(const Message& m, int64_t now_ms);
  bool HandleLogin(const Message& m, int64_t now_ms);
  bool HandleTalkRequest(const Message& m);
  // The month or day search answer, in as many messages as it takes.
  bool HandleSearch(const Message& m);
  // Sends an answer after applying the --reply override for its code.
  bool SendAnswer(uint16_t code, Bytes payload);
  bool SendMessage(uint16_t code, std::span<const uint8_t> payload);

  const SimConfig& config_;
  SessionRegistry& registry_;
  SendFunction send_;
  LineSink log_;
  int local_port_;
  FrameReader reader_;

  bool login_seen_ = false;  // a login arrived whose answer was suppressed
  bool logged_in_ = false;
  uint16_t session_id_ = 0;
  size_t user_index_ = 0;
  std::vector<SimUser> users_;

  int64_t login_ms_ = 0;
  bool keepalive_enabled_ = true;
  int64_t next_keepalive_ms_ = 0;
  size_t next_step_ = 0;
  TalkMode talk_mode_;
  const Archive* archive_ = nullptr;
};

}  // namespace dvrsim
