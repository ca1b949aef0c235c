#include "dvrsim/simulator.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "dvrsim/live_session.h"
#include "platform/clock.h"
#include "platform/socket.h"

namespace dvrsim {
namespace {

constexpr int kListenBacklog = 128;
constexpr int kFreeBaseFirst = 20000;
constexpr int kFreeBaseLast = 60000;
constexpr int kFreeBaseAttempts = 200;

void ConfigureClientSocket(int fd) {
  timeval tv{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

LineSink StdoutLineSink() {
  static std::mutex mutex;
  return [](std::string_view line) {
    std::lock_guard<std::mutex> lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  };
}

Simulator::Simulator(SimConfig config, LineSink log)
    : config_(std::move(config)),
      log_(log ? std::move(log) : StdoutLineSink()),
      sessions_(config_.max_sessions, config_.max_streams),
      media_(config_),
      archive_(Archive::FromConfig(config_, platform::NowSeconds())) {
  if (!config_.talk_wav.empty()) talk_ = std::make_unique<TalkRecorder>(config_.talk_wav, config_.TalkCodec());
}

Simulator::~Simulator() { Stop(); }

std::string Simulator::ReadyLine() const {
  return "dvrsim listening base=" + std::to_string(base_port_) + " control=" + std::to_string(control_port()) +
         " live=" + std::to_string(live_port());
}

bool Simulator::OpenListeners(std::string* error) {
  const char* addr = config_.bind_address.c_str();
  if (config_.base_port != 0) {
    base_port_ = config_.base_port;
    const std::pair<int, Service> services[] = {{kControlPortOffset, Service::kControl},
                                                {kLivePortOffset, Service::kLive}};
    for (auto [offset, service] : services) {
      int fd = platform::ListenTcp(addr, base_port_ + offset, kListenBacklog);
      if (fd == platform::kInvalidSocket) {
        *error = "cannot listen on " + config_.bind_address + ":" + std::to_string(base_port_ + offset);
        for (const Listener& l : listeners_) platform::CloseSocket(l.fd);
        listeners_.clear();
        return false;
      }
      listeners_.push_back({fd, service, base_port_ + offset});
    }
    return true;
  }
  // A free base: every port of the family must be bindable, even those no
  // service uses yet, so the choice holds when they are added.
  std::mt19937 rng(std::random_device{}());
  std::uniform_int_distribution<int> pick(kFreeBaseFirst, kFreeBaseLast);
  for (int attempt = 0; attempt < kFreeBaseAttempts; ++attempt) {
    const int base = pick(rng);
    int fds[3] = {platform::kInvalidSocket, platform::kInvalidSocket, platform::kInvalidSocket};
    const int offsets[3] = {kControlPortOffset, kLivePortOffset, kBackupPortOffset};
    bool all = true;
    for (int i = 0; i < 3 && all; ++i) {
      fds[i] = platform::ListenTcp(addr, base + offsets[i], kListenBacklog);
      all = fds[i] != platform::kInvalidSocket;
    }
    platform::CloseSocket(fds[2]);
    if (all) {
      base_port_ = base;
      listeners_.push_back({fds[0], Service::kControl, control_port()});
      listeners_.push_back({fds[1], Service::kLive, live_port()});
      return true;
    }
    platform::CloseSocket(fds[0]);
    platform::CloseSocket(fds[1]);
  }
  *error = "no free base port found on " + config_.bind_address;
  return false;
}

bool Simulator::Start(std::string* error) {
  if (started_) return true;
  if (config_.prepare_media) media_.PrepareAll();
  if (!OpenListeners(error)) return false;
  stopping_ = false;
  started_ = true;
  acceptor_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void Simulator::Stop() {
  if (!started_) return;
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (const Listener& l : listeners_) platform::CloseSocket(l.fd);
  listeners_.clear();
  std::list<std::unique_ptr<Connection>> all;
  {
    std::lock_guard<std::mutex> lock(connections_mutex_);
    all.swap(connections_);
  }
  // Wakes receives and sends blocked in the connection threads.
  for (auto& c : all) platform::ShutdownSocket(c->fd);
  for (auto& c : all) {
    if (c->thread.joinable()) c->thread.join();
    platform::CloseSocket(c->fd);
  }
  started_ = false;
}

int Simulator::open_connections() const {
  std::lock_guard<std::mutex> lock(connections_mutex_);
  return static_cast<int>(std::count_if(connections_.begin(), connections_.end(),
                                        [](const auto& c) { return !c->done.load(); }));
}

void Simulator::AcceptLoop() {
  std::vector<pollfd> fds;
  for (const Listener& l : listeners_) fds.push_back({l.fd, POLLIN, 0});
  while (!stopping_) {
    ReapFinished();
    int r = ::poll(fds.data(), fds.size(), kPollSliceMs);
    if (r <= 0) continue;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents != 0) Accept(listeners_[i]);
    }
  }
}

void Simulator::Accept(const Listener& l) {
  int fd = platform::AcceptTimed(l.fd, 0);
  if (fd == platform::kInvalidSocket) return;
  std::lock_guard<std::mutex> lock(connections_mutex_);
  if (connections_.size() >= static_cast<size_t>(kMaxConnections)) {
    platform::CloseSocket(fd);
    return;
  }
  ConfigureClientSocket(fd);
  auto c = std::make_unique<Connection>();
  c->fd = fd;
  c->local_port = l.port;
  c->service = l.service;
  Connection* raw = c.get();
  connections_.push_back(std::move(c));
  raw->thread = std::thread([this, raw] { Serve(*raw); });
}

void Simulator::ReapFinished() {
  std::list<std::unique_ptr<Connection>> finished;
  {
    std::lock_guard<std::mutex> lock(connections_mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if ((*it)->done) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (auto& c : finished) {
    c->thread.join();
    platform::CloseSocket(c->fd);
  }
}

bool Simulator::SendAll(Connection& c, std::span<const uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(c.send_mutex);
  size_t sent = 0;
  const int64_t deadline = platform::MonotonicMs() + kSendTimeoutMs;
  while (sent < bytes.size()) {
    long n = platform::SendSome(c.fd, bytes.data() + sent, bytes.size() - sent);
    if (n < 0) return false;
    sent += static_cast<size_t>(n);
    // SO_SNDTIMEO ends a stalled send with a partial count or none at all;
    // either way a peer that stopped reading is dropped once the time is up.
    if (sent < bytes.size() && (stopping_ || platform::MonotonicMs() >= deadline)) return false;
  }
  return true;
}

template <typename Handler>
void Simulator::Drive(Connection& c, Handler& handler) {
  uint8_t buf[8192];
  while (!stopping_) {
    const int64_t now = platform::MonotonicMs();
    if (!handler.OnTimer(now)) break;
    const int64_t wait = std::clamp<int64_t>(handler.NextDeadline() - platform::MonotonicMs(), 0, kPollSliceMs);
    int r = platform::WaitReadable(c.fd, static_cast<long>(wait));
    if (r < 0) break;
    if (r == 0) continue;
    long n = platform::RecvSome(c.fd, buf, sizeof buf);
    if (n == -2) continue;
    if (n <= 0) break;
    if (!handler.OnReceived(buf, static_cast<size_t>(n), platform::MonotonicMs())) break;
  }
}

void Simulator::Serve(Connection& c) {
  auto send = [this, &c](std::span<const uint8_t> b) { return SendAll(c, b); };
  if (c.service == Service::kControl) {
    ControlSession session(config_, sessions_, send, log_, c.local_port);
    session.SetArchive(&archive_);
    Drive(c, session);
  } else {
    LiveSession session(config_, sessions_, media_, talk_.get(), send, log_, c.local_port);
    session.SetStats(&live_stats_);
    session.SetArchive(&archive_);
    Drive(c, session);
  }
  // The peer sees the end at once; the descriptor is closed after the join.
  platform::ShutdownSocket(c.fd);
  c.done = true;
}

}  // namespace dvrsim
