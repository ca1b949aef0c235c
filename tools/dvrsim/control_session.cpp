#include "dvrsim/control_session.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "dvrsim/control_answers.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "protocol/commands.h"

namespace dvrsim {

std::optional<uint16_t> SessionRegistry::Acquire(bool force) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!force && static_cast<int>(ids_.size()) >= max_sessions_) return std::nullopt;
  uint16_t id = next_id_++;
  if (next_id_ == 0) next_id_ = 0x0101;
  ids_.insert(id);
  return id;
}

void SessionRegistry::Release(uint16_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = ids_.find(id);
  if (it != ids_.end()) ids_.erase(it);
}

bool SessionRegistry::IsLoggedIn(uint16_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ids_.count(id) != 0;
}

int SessionRegistry::active() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(ids_.size());
}

bool SessionRegistry::AcquireStream() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (streams_ >= max_streams_) return false;
  ++streams_;
  return true;
}

void SessionRegistry::ReleaseStream() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (streams_ > 0) --streams_;
}

ControlSession::ControlSession(const SimConfig& config, SessionRegistry& registry, SendFunction send,
                               LineSink log, int local_port)
    : config_(config),
      registry_(registry),
      send_(std::move(send)),
      log_(std::move(log)),
      local_port_(local_port),
      users_(config.EffectiveUsers()),
      talk_mode_(config.talk_mode) {}

ControlSession::~ControlSession() {
  if (logged_in_) registry_.Release(session_id_);
}

bool ControlSession::OnReceived(const uint8_t* data, size_t size, int64_t now_ms) {
  return DrainMessages(reader_, data, size, [&](const Message& m) { return HandleMessage(m, now_ms); });
}

bool ControlSession::HandleMessage(const Message& m, int64_t now_ms) {
  if (config_.log_requests && log_) log_(RequestLogLine(local_port_, m));
  if (!logged_in_) {
    if (m.code == cmd::kLogonReq) return HandleLogin(m, now_ms);
    // Before any login only a login may come; after a login whose answer was
    // suppressed the connection stays open and silent.
    return login_seen_;
  }
  if (m.code == cmd::kTalkReq) return HandleTalkRequest(m);
  if (archive_ != nullptr && (m.code == cmd::kMonthSearchReq || m.code == cmd::kDaySearchReq)) return HandleSearch(m);
  const AnswerContext ctx{config_, users_[user_index_]};
  std::optional<Answer> answer = AnswerControlRequest(ctx, m.code, m.payload);
  if (!answer) return true;
  return SendAnswer(answer->code, std::move(answer->payload));
}

bool ControlSession::HandleLogin(const Message& m, int64_t now_ms) {
  login_seen_ = true;
  uint16_t result = kLoginWrongPassword;
  bool short_request = m.payload.size() < 2 * kTextFieldBytes;
  size_t user = users_.size();
  if (!short_request) {
    char id[kTextFieldBytes + 1];
    char password[kTextFieldBytes + 1];
    platform::CopyTextBounded(id, sizeof id, m.payload.data(), kTextFieldBytes);
    platform::CopyTextBounded(password, sizeof password, m.payload.data() + kTextFieldBytes, kTextFieldBytes);
    for (size_t i = 0; i < users_.size(); ++i) {
      if (users_[i].id == id) user = i;
    }
    if (user == users_.size()) {
      result = kLoginUnknownUser;
    } else if (users_[user].password != password) {
      result = kLoginWrongPassword;
    } else {
      result = kLoginAccepted;
    }
  }

  auto override_it = config_.reply_overrides.find(cmd::kLogonAns);
  const bool overridden = override_it != config_.reply_overrides.end();
  if (overridden && !override_it->second) return true;  // no answer; stay open and silent
  if (overridden) result = *override_it->second;

  std::optional<uint16_t> id;
  if (result == kLoginAccepted) {
    // A forced acceptance (--reply 0x1014=1) passes the session bound too.
    id = registry_.Acquire(overridden);
    if (!id) result = kLoginFull;
  }
  Bytes payload = PayloadWriter().U16(result).U16(id.value_or(0)).Take();
  if (!SendMessage(cmd::kLogonAns, payload)) {
    if (id) registry_.Release(*id);
    return false;
  }
  if (!id || short_request) {
    if (id) registry_.Release(*id);
    return false;  // refused: close after the answer
  }
  logged_in_ = true;
  session_id_ = *id;
  user_index_ = user < users_.size() ? user : 0;
  login_ms_ = now_ms;
  keepalive_enabled_ = true;
  next_keepalive_ms_ = now_ms + int64_t{config_.keepalive_seconds} * 1000;
  next_step_ = 0;
  return true;
}

// The talk handshake: a request (1) is answered step by step — 0x4003 asks
// for 258, 0x400A asks for 2, and 0x400B grants — or refused (0x4010) or
// found busy (0x4060) by the talk mode. 3 ends talk and needs no answer.
bool ControlSession::HandleTalkRequest(const Message& m) {
  if (m.payload.size() < 2) return true;
  uint16_t answer = 0;
  switch (platform::GetU16BE(m.payload.data())) {
    case 1:
      answer = talk_mode_ == TalkMode::kGrant ? 0x4003 : (talk_mode_ == TalkMode::kRefuse ? 0x4010 : 0x4060);
      break;
    case 258: answer = 0x400A; break;
    case 2: answer = 0x400B; break;
    default: return true;
  }
  uint8_t payload[2];
  platform::PutU16BE(payload, answer);
  return SendAnswer(cmd::kTalkAns, Bytes(payload, payload + 2));
}

bool ControlSession::HandleSearch(const Message& m) {
  std::vector<Bytes> parts;
  uint16_t code = cmd::kMonthSearchAns;
  if (m.code == cmd::kMonthSearchReq) {
    parts = archive_->MonthAnswer();
  } else {
    // {u16 0, year, month, day, year, month, day}: the first date is the day.
    if (m.payload.size() < 8) return true;
    const uint8_t* p = m.payload.data();
    parts = archive_->DayAnswer(platform::GetU16BE(p + 2), platform::GetU16BE(p + 4), platform::GetU16BE(p + 6));
    code = cmd::kDaySearchAns;
  }
  for (Bytes& part : parts) {
    if (!SendAnswer(code, std::move(part))) return false;
  }
  return true;
}

bool ControlSession::SendAnswer(uint16_t code, Bytes payload) {
  if (auto it = config_.reply_overrides.find(code); it != config_.reply_overrides.end()) {
    if (!it->second) return true;
    if (payload.size() < 2) payload.resize(2, 0);
    platform::PutU16BE(payload.data(), *it->second);
  }
  return SendMessage(code, payload);
}

bool ControlSession::SendMessage(uint16_t code, std::span<const uint8_t> payload) {
  Bytes bytes = EncodeMessage(code, payload);
  return send_(bytes);
}

int64_t ControlSession::NextDeadline() const {
  if (!logged_in_) return INT64_MAX;
  int64_t next = INT64_MAX;
  if (keepalive_enabled_ && config_.keepalive_seconds > 0) next = next_keepalive_ms_;
  if (next_step_ < config_.scenario.steps.size()) {
    next = std::min(next, login_ms_ + config_.scenario.steps[next_step_].at_ms);
  }
  return next;
}

bool ControlSession::OnTimer(int64_t now_ms) {
  if (!logged_in_) return true;
  const auto& steps = config_.scenario.steps;
  while (next_step_ < steps.size() && login_ms_ + steps[next_step_].at_ms <= now_ms) {
    const ScenarioStep& step = steps[next_step_++];
    switch (step.kind) {
      case StepKind::kMessage: {
        Bytes payload = step.bytes;
        if (step.now_time_offset >= 0 && payload.size() >= static_cast<size_t>(step.now_time_offset) + 4) {
          platform::PutU32BE(&payload[static_cast<size_t>(step.now_time_offset)],
                             static_cast<uint32_t>(platform::NowSeconds()));
        }
        if (!SendMessage(step.code, payload)) return false;
        break;
      }
      case StepKind::kRaw:
        if (!send_(step.bytes)) return false;
        break;
      case StepKind::kKeepAliveOff:
        keepalive_enabled_ = false;
        break;
      case StepKind::kKeepAliveOn:
        if (!keepalive_enabled_) next_keepalive_ms_ = now_ms + int64_t{config_.keepalive_seconds} * 1000;
        keepalive_enabled_ = true;
        break;
      case StepKind::kClose:
        return false;
      case StepKind::kTalkMode:
        talk_mode_ = static_cast<TalkMode>(step.code);
        break;
      default:
        break;  // live steps run on live connections
    }
  }
  if (keepalive_enabled_ && config_.keepalive_seconds > 0 && now_ms >= next_keepalive_ms_) {
    if (!SendMessage(cmd::kKeepAlive, {})) return false;
    next_keepalive_ms_ += int64_t{config_.keepalive_seconds} * 1000;
    // After a long stall, keep one period from now rather than bursting.
    if (next_keepalive_ms_ <= now_ms) next_keepalive_ms_ = now_ms + int64_t{config_.keepalive_seconds} * 1000;
  }
  return true;
}

}  // namespace dvrsim
