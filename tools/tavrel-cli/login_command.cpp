// tavrel-cli login: logs in to a DVR's control port and prints every
// notification, data code and event the control session reports.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "output.h"
#include "platform/clock.h"
#include "protocol/commands.h"
#include "protocol/control_session.h"

namespace {

struct LoginState {
  CControlSession* session = nullptr;
  std::mutex lock;
  std::condition_variable changed;
  bool logged_in = false;
  bool rights_changed = false;  // 0x6103 arrived: the user's rights must be read again
  int last_failure = 0;         // notification code of a failed login
  bool ended = false;
  // Set when the command itself ends the session: what the session reports
  // while it is being stopped is not news to the caller.
  std::atomic<bool> stopping{false};
};

// DVR texts may hold anything; keep the output one printable line.
std::string Printable(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    out.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
  }
  return out;
}

void OnNotify(int code, void* user) {
  auto* state = static_cast<LoginState*>(user);
  if (state->stopping.load()) return;
  OutLine("notify %d", code);
  if (code == kNotifyTimeZone) {
    OutLine("timezone %lld", static_cast<long long>(state->session->EffectiveTimeZoneOffset()));
  }
  std::lock_guard<std::mutex> lock(state->lock);
  if (IsLoginFailure(code)) {
    state->last_failure = code;
    state->ended = true;
  }
  switch (code) {
    case kNotifyLoggedIn: state->logged_in = true; break;
    case kNotifyRightsChanged: state->rights_changed = true; break;
    case kNotifyConnectionLost: state->ended = true; break;
    default: break;
  }
  state->changed.notify_all();
}

void OnData(int code, void*, const StateBlockRef* block) {
  OutLine("data %d", code);
  if (code == 40 && block != nullptr) {
    const PlatformInfo info = PlatformFromDescription(*block);
    OutLine("platform %d talk %d", info.platform_code, info.talk_format);
  }
}

void OnEvent(const EventRecord* record, void*) {
  OutLine("event type=%u channel=%u state=%u time=%u text=%s", record->type, record->channel, record->state,
          record->time, Printable(record->text).c_str());
}

const char* FailureReason(int code) {
  switch (code) {
    case kNotifyNoConnection: return "no TCP connection to the DVR";
    case kNotifyHandshakeFailed: return "the DVR did not answer the login";
    case kNotifyRefusedF001: return "login refused: wrong user ID or password (0xF001)";
    case kNotifyRefusedF003: return "login refused by the DVR (0xF003)";
    case kNotifyRefusedF004: return "login refused by the DVR (0xF004)";
    case kNotifyRefusedF006: return "login refused by the DVR (0xF006)";
    default: return "login refused by the DVR";
  }
}

// The requests a site sends once the DVR has accepted the login.
void SendFollowUp(CControlSession& session, const std::string& user) {
  const uint8_t zero = 0;
  session.Send(cmd::kSystemInfo, &zero, 1);
  session.Send(cmd::kDescriptionReq, &zero, 1);
  session.Send(cmd::kLegacyRecordReq, &zero, 1);
  session.Send(cmd::kTimeZoneReq, &zero, 1);
  session.Send(cmd::kSensorMapReq, &zero, 1);
  SendUserRightsRequest(session, user);
  session.Send(cmd::kPictureAdjustReq, nullptr, 0);
}

}  // namespace

int RunLogin(const std::vector<std::string>& args) {
  CliArgs opts(args, {"--host", "--port", "--user", "--password", "--seconds", "--connect-timeout", "--round-ms"}, {"--follow-up"});
  const long base_port = opts.Int("--port", 7620, 0, 65534);
  const long seconds = opts.Int("--seconds", 10, 0, 86400 * 365);
  const long connect_timeout_s = opts.Int("--connect-timeout", kDefaultConnectTimeoutS, 1, 3600);
  const long round_ms = opts.Int("--round-ms", CControlSession::kReceiveTimeoutMs, 10, 600000);
  if (opts.Ok() && (!opts.Value("--host") || !opts.Value("--user") || !opts.Value("--password"))) {
    ErrLine("tavrel-cli login: --host, --user and --password are required");
    return 2;
  }
  if (!opts.Ok()) {
    ErrLine("tavrel-cli login: %s", opts.Error().c_str());
    return 2;
  }
  const std::string host = *opts.Value("--host");
  const std::string user = *opts.Value("--user");
  const std::string password = *opts.Value("--password");
  const bool follow_up = opts.Has("--follow-up");

  CControlSession session;
  LoginState state;
  state.session = &session;
  session.SetConnectTimeout(static_cast<int>(connect_timeout_s));
  session.SetReceiveTimeoutMs(round_ms);
  session.SetNotifyCallback(OnNotify, &state);
  session.SetDataCallback(OnData, &state);
  session.SetEventCallback(OnEvent, &state);
  session.StartSession(host.c_str(), static_cast<int>(base_port + 1), user.c_str(), password.c_str());

  const int64_t deadline_ms = platform::MonotonicMs() + seconds * 1000;
  bool follow_up_sent = false;
  bool ever_logged_in = false;
  for (;;) {
    bool send_follow_up = false;
    bool send_rights = false;
    {
      std::unique_lock<std::mutex> lock(state.lock);
      state.changed.wait_for(lock, std::chrono::milliseconds(100));
      ever_logged_in = ever_logged_in || state.logged_in;
      if (state.logged_in && follow_up && !follow_up_sent) send_follow_up = follow_up_sent = true;
      if (state.rights_changed) {
        state.rights_changed = false;
        send_rights = follow_up;
      }
      if (state.ended) break;
    }
    if (send_follow_up) SendFollowUp(session, user);
    if (send_rights) SendUserRightsRequest(session, user);
    // A refusal without a notification (DVR full, unknown result) ends the worker silently.
    if (!session.IsWorkerActive()) break;
    if (StopRequested() || platform::MonotonicMs() >= deadline_ms) break;
  }
  state.stopping.store(true);
  session.Stop();
  {
    std::lock_guard<std::mutex> lock(state.lock);
    ever_logged_in = ever_logged_in || state.logged_in;
    if (!ever_logged_in) {
      ErrLine("tavrel-cli login: %s", FailureReason(state.last_failure));
      return 1;
    }
  }
  return 0;
}
