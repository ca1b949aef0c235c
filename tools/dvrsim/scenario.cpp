#include "dvrsim/scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "dvrsim/sim_config.h"
#include "platform/bytes.h"
#include "protocol/commands.h"
#include "protocol/message.h"

namespace dvrsim {
namespace {

constexpr double kMaxStepSeconds = 1e6;

struct LineError {
  std::string reason;
};

// Splits a line into tokens at blanks. A double-quoted section (with
// backslash escapes) may hold blanks; '#' outside quotes ends the line.
bool Tokenize(std::string_view line, std::vector<std::string>* tokens, std::string* reason) {
  std::string cur;
  bool in_token = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      in_token = true;
      cur += c;
      ++i;
      bool closed = false;
      for (; i < line.size(); ++i) {
        cur += line[i];
        if (line[i] == '\\' && i + 1 < line.size()) {
          cur += line[++i];
        } else if (line[i] == '"') {
          closed = true;
          break;
        }
      }
      if (!closed) {
        *reason = "unterminated quoted text";
        return false;
      }
      continue;
    }
    if (c == '#') break;
    if (c == ' ' || c == '\t' || c == '\r') {
      if (in_token) tokens->push_back(std::move(cur));
      cur.clear();
      in_token = false;
      continue;
    }
    in_token = true;
    cur += c;
  }
  if (in_token) tokens->push_back(std::move(cur));
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(const std::string& text, size_t max_bytes, std::vector<uint8_t>* out, std::string* reason) {
  std::string_view t = text;
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.remove_prefix(2);
  if (t.size() % 2 != 0) {
    *reason = "hex bytes need an even number of digits: " + text;
    return false;
  }
  if (t.size() / 2 > max_bytes) {
    *reason = "more than " + std::to_string(max_bytes) + " bytes";
    return false;
  }
  for (size_t i = 0; i < t.size(); i += 2) {
    int hi = HexDigit(t[i]);
    int lo = HexDigit(t[i + 1]);
    if (hi < 0 || lo < 0) {
      *reason = "not hex: " + text;
      return false;
    }
    out->push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return true;
}

// Removes the quotes of "..." and resolves \\ \" \n \t \xHH.
bool Unquote(const std::string& value, std::string* out, std::string* reason) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
    *reason = "text must be in double quotes";
    return false;
  }
  for (size_t i = 1; i + 1 < value.size(); ++i) {
    char c = value[i];
    if (c != '\\') {
      *out += c;
      continue;
    }
    if (i + 2 >= value.size()) {
      *reason = "dangling backslash in text";
      return false;
    }
    char e = value[++i];
    switch (e) {
      case '\\': *out += '\\'; break;
      case '"': *out += '"'; break;
      case 'n': *out += '\n'; break;
      case 't': *out += '\t'; break;
      case 'x': {
        int hi = i + 1 < value.size() - 1 ? HexDigit(value[i + 1]) : -1;
        int lo = i + 2 < value.size() - 1 ? HexDigit(value[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
          *reason = "\\x needs two hex digits";
          return false;
        }
        *out += static_cast<char>(hi << 4 | lo);
        i += 2;
        break;
      }
      default:
        *reason = std::string("unknown escape \\") + e;
        return false;
    }
  }
  return true;
}

// key=value arguments; each key at most once and only from the allowed set.
bool ParseKeyValues(const std::vector<std::string>& tokens, size_t first,
                    std::initializer_list<const char*> allowed, std::map<std::string, std::string>* out,
                    std::string* reason) {
  for (size_t i = first; i < tokens.size(); ++i) {
    size_t eq = tokens[i].find('=');
    if (eq == std::string::npos || eq == 0) {
      *reason = "expected key=value, got '" + tokens[i] + "'";
      return false;
    }
    std::string key = tokens[i].substr(0, eq);
    if (std::find_if(allowed.begin(), allowed.end(), [&](const char* a) { return key == a; }) == allowed.end()) {
      *reason = "unknown key '" + key + "'";
      return false;
    }
    if (!out->emplace(key, tokens[i].substr(eq + 1)).second) {
      *reason = "key '" + key + "' given twice";
      return false;
    }
  }
  return true;
}

bool NumberArg(const std::map<std::string, std::string>& kv, const char* key, int64_t max,
               std::optional<int64_t>* out, std::string* reason) {
  auto it = kv.find(key);
  if (it == kv.end()) return true;
  int64_t v = 0;
  if (!ParseInteger(it->second, 0, max, &v)) {
    *reason = std::string("bad ") + key + " value '" + it->second + "' (0.." + std::to_string(max) + ")";
    return false;
  }
  *out = v;
  return true;
}

bool ParseEvent(const std::vector<std::string>& tokens, ScenarioStep* step, std::string* reason) {
  if (tokens.size() < 3) {
    *reason = "event needs a type";
    return false;
  }
  static const std::map<std::string, uint16_t> kChannelEvents = {
      {"motion", cmd::kEventMotion},
      {"sensor", cmd::kEventSensor},
      {"videoloss", cmd::kEventVideoLoss},
      {"alarm", cmd::kEventAlarm},
  };
  const std::string& type = tokens[2];
  std::map<std::string, std::string> kv;
  if (auto it = kChannelEvents.find(type); it != kChannelEvents.end()) {
    if (!ParseKeyValues(tokens, 3, {"channel", "state", "time"}, &kv, reason)) return false;
    std::optional<int64_t> channel, state, time;
    if (!NumberArg(kv, "channel", 0xFFFF, &channel, reason) || !NumberArg(kv, "state", 0xFFFF, &state, reason) ||
        !NumberArg(kv, "time", 0xFFFFFFFF, &time, reason)) {
      return false;
    }
    if (!channel || !state) {
      *reason = type + " event needs channel= and state=";
      return false;
    }
    step->code = it->second;
    step->bytes.assign(8, 0);
    platform::PutU16BE(&step->bytes[0], static_cast<uint16_t>(*channel));
    platform::PutU16BE(&step->bytes[2], static_cast<uint16_t>(*state));
    if (time) {
      platform::PutU32BE(&step->bytes[4], static_cast<uint32_t>(*time));
    } else {
      step->now_time_offset = 4;
    }
    return true;
  }
  if (type == "system") {
    if (!ParseKeyValues(tokens, 3, {"code", "time", "text"}, &kv, reason)) return false;
    std::optional<int64_t> code, time;
    if (!NumberArg(kv, "code", 0xFFFF, &code, reason) || !NumberArg(kv, "time", 0xFFFFFFFF, &time, reason)) {
      return false;
    }
    if (!code) {
      *reason = "system event needs code=";
      return false;
    }
    std::string text;
    if (auto it = kv.find("text"); it != kv.end()) {
      if (!Unquote(it->second, &text, reason)) return false;
      if (text.size() > kMaxSystemEventText) {
        *reason = "system event text longer than " + std::to_string(kMaxSystemEventText) + " bytes";
        return false;
      }
    }
    step->code = cmd::kEventSystem;
    step->bytes.assign(6, 0);
    platform::PutU16BE(&step->bytes[0], static_cast<uint16_t>(*code));
    if (time) {
      platform::PutU32BE(&step->bytes[2], static_cast<uint32_t>(*time));
    } else {
      step->now_time_offset = 2;
    }
    step->bytes.insert(step->bytes.end(), text.begin(), text.end());
    return true;
  }
  if (type == "ignored") {
    if (tokens.size() != 3) {
      *reason = "ignored event takes no arguments";
      return false;
    }
    step->code = cmd::kEvent6053;
    step->bytes.assign(8, 0);
    return true;
  }
  *reason = "unknown event type '" + type + "'";
  return false;
}

bool ParseStep(const std::vector<std::string>& tokens, ScenarioStep* step, std::string* reason) {
  const std::string& t = tokens[0];
  char* end = nullptr;
  double seconds = std::strtod(t.c_str(), &end);
  if (t.empty() || end != t.c_str() + t.size() || !std::isfinite(seconds) || seconds < 0 ||
      seconds > kMaxStepSeconds) {
    *reason = "bad time '" + t + "' (seconds after login)";
    return false;
  }
  step->at_ms = std::llround(seconds * 1000.0);
  if (tokens.size() < 2) {
    *reason = "missing action after the time";
    return false;
  }
  const std::string& action = tokens[1];
  auto want_args = [&](size_t min, size_t max) {
    size_t n = tokens.size() - 2;
    if (n < min || n > max) {
      *reason = "wrong number of arguments for '" + action + "'";
      return false;
    }
    return true;
  };
  int64_t v = 0;
  if (action == "event") return ParseEvent(tokens, step, reason);
  if (action == "rights") {
    if (!want_args(0, 0)) return false;
    step->code = cmd::kRightsChanged;
    return true;
  }
  if (action == "talk") {
    if (!want_args(1, 1)) return false;
    if (!ParseInteger(tokens[2], 0, 0xFFFF, &v)) {
      *reason = "bad talk sub-code '" + tokens[2] + "'";
      return false;
    }
    step->code = cmd::kTalkAns;
    step->bytes.assign(2, 0);
    platform::PutU16BE(step->bytes.data(), static_cast<uint16_t>(v));
    return true;
  }
  if (action == "send") {
    if (!want_args(1, 2)) return false;
    if (!ParseInteger(tokens[2], 0, 0xFFFF, &v)) {
      *reason = "bad command code '" + tokens[2] + "'";
      return false;
    }
    step->code = static_cast<uint16_t>(v);
    return tokens.size() < 4 || ParseHex(tokens[3], kMaxPayloadSize, &step->bytes, reason);
  }
  if (action == "raw") {
    if (!want_args(1, 1)) return false;
    step->kind = StepKind::kRaw;
    return ParseHex(tokens[2], kMaxMessageTotal, &step->bytes, reason);
  }
  if (action == "keepalive") {
    if (!want_args(1, 1)) return false;
    if (tokens[2] == "off") {
      step->kind = StepKind::kKeepAliveOff;
    } else if (tokens[2] == "on") {
      step->kind = StepKind::kKeepAliveOn;
    } else {
      *reason = "keepalive takes 'on' or 'off'";
      return false;
    }
    return true;
  }
  if (action == "close") {
    if (!want_args(0, 0)) return false;
    step->kind = StepKind::kClose;
    return true;
  }
  if (action == "talkmode") {
    if (!want_args(1, 1)) return false;
    static const std::map<std::string, TalkMode> kModes = {
        {"grant", TalkMode::kGrant}, {"refuse", TalkMode::kRefuse}, {"busy", TalkMode::kBusy}};
    auto it = kModes.find(tokens[2]);
    if (it == kModes.end()) {
      *reason = "talkmode takes grant, refuse or busy";
      return false;
    }
    step->kind = StepKind::kTalkMode;
    step->code = static_cast<uint16_t>(it->second);
    return true;
  }
  if (action == "live") {
    if (tokens.size() < 3) {
      *reason = "live needs close, stall, garbage, oversize or shuffle";
      return false;
    }
    const std::string& what = tokens[2];
    const size_t extra = tokens.size() - 3;
    if (what == "stall") {
      char* stop = nullptr;
      const double s = extra == 1 ? std::strtod(tokens[3].c_str(), &stop) : -1;
      if (extra != 1 || stop != tokens[3].c_str() + tokens[3].size() || !std::isfinite(s) || s <= 0 ||
          s > kMaxStepSeconds) {
        *reason = "live stall takes a duration in seconds";
        return false;
      }
      step->kind = StepKind::kLiveStall;
      step->duration_ms = std::llround(s * 1000.0);
      return true;
    }
    static const std::map<std::string, StepKind> kLive = {{"close", StepKind::kLiveClose},
                                                          {"garbage", StepKind::kLiveGarbage},
                                                          {"oversize", StepKind::kLiveOversize},
                                                          {"shuffle", StepKind::kLiveShuffle}};
    auto it = kLive.find(what);
    if (it == kLive.end() || extra != 0) {
      *reason = "live takes close, stall SECONDS, garbage, oversize or shuffle";
      return false;
    }
    step->kind = it->second;
    return true;
  }
  *reason = "unknown action '" + action + "'";
  return false;
}

}  // namespace

bool ParseScenario(std::string_view text, const std::string& name, Scenario* out, std::string* error) {
  Scenario result;
  int line_no = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    ++line_no;
    std::vector<std::string> tokens;
    std::string reason;
    ScenarioStep step;
    step.line = line_no;
    if (!Tokenize(line, &tokens, &reason) || (!tokens.empty() && !ParseStep(tokens, &step, &reason))) {
      *error = name + ":" + std::to_string(line_no) + ": " + reason;
      return false;
    }
    if (!tokens.empty()) (IsLiveStep(step.kind) ? result.live_steps : result.steps).push_back(std::move(step));
  }
  auto by_time = [](const ScenarioStep& a, const ScenarioStep& b) { return a.at_ms < b.at_ms; };
  std::stable_sort(result.steps.begin(), result.steps.end(), by_time);
  std::stable_sort(result.live_steps.begin(), result.live_steps.end(), by_time);
  *out = std::move(result);
  return true;
}

bool LoadScenarioFile(const std::string& path, Scenario* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot read the scenario file";
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseScenario(text, path, out, error);
}

}  // namespace dvrsim
