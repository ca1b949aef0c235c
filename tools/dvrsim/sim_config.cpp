#include "dvrsim/sim_config.h"

#include <map>
#include <arpa/inet.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace dvrsim {

namespace {

bool ValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 && c >= 0xC2 ? 1 : (c & 0xF0) == 0xE0 ? 2
                 : (c & 0xF8) == 0xF0 && c <= 0xF4 ? 3 : 4;
    if (extra == 4 || i + extra >= s.size() + (extra == 0 ? 1 : 0)) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

bool ParseUser(const std::string& value, SimUser* user, std::string* why) {
  size_t first = value.find(':');
  if (first == std::string::npos || first == 0) {
    *why = "expected ID:PASSWORD[:RIGHTS]";
    return false;
  }
  user->id = value.substr(0, first);
  std::string rest = value.substr(first + 1);
  size_t last = rest.rfind(':');
  if (last != std::string::npos) {
    int64_t rights = 0;
    if (!ParseInteger(rest.substr(last + 1), 0, 0xFFFFFFFF, &rights)) {
      *why = "RIGHTS must be a 32-bit number (decimal or 0x hex)";
      return false;
    }
    user->rights = static_cast<uint32_t>(rights);
    rest.resize(last);
  }
  user->password = rest;
  if (user->id.size() > kTextFieldBytes || user->password.size() > kTextFieldBytes) {
    *why = "user ID and password are at most 32 bytes each";
    return false;
  }
  return true;
}

}  // namespace

const char* PlatformTextFor(int platform) {
  switch (platform) {
    case 160: return "AT2041";
    case 161: return "SOLO6010";
    case 162: return "AH844";
    case 163: return "SOLO6110";
    case 164: return "HI3515";
    default: return "";
  }
}

std::string SimConfig::PlatformText() const {
  return platform_text.empty() ? std::string(PlatformTextFor(platform)) : platform_text;
}

std::vector<SimUser> SimConfig::EffectiveUsers() const {
  if (!users.empty()) return users;
  return {SimUser{"admin", "1234", 15}};
}

std::string SimConfig::CameraName(int index0) const {
  if (index0 >= 0 && index0 < kMaxChannels && !camera_names[static_cast<size_t>(index0)].empty()) {
    return camera_names[static_cast<size_t>(index0)];
  }
  if (index0 == 1) return "Entr\xC3\xA9" "e Nord";              // "Entrée Nord"
  if (index0 == 2) return "\xEC\xB9\xB4\xEB\xA9\x94\xEB\x9D\xBC 3";  // "카메라 3"
  char name[16];
  std::snprintf(name, sizeof name, "CAM %02d", index0 + 1);
  return name;
}

bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t* out) {
  if (text.empty() || text.size() > 24) return false;
  const char* s = text.c_str();
  bool negative = false;
  if (*s == '-' || *s == '+') {
    negative = *s == '-';
    ++s;
  }
  int base = 10;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s += 2;
  }
  if (*s == '\0' || *s == '-' || *s == '+' || *s == ' ') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s, &end, base);
  if (errno != 0 || *end != '\0' || v > 0x7FFFFFFFFFFFull) return false;
  int64_t signed_v = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  if (signed_v < min || signed_v > max) return false;
  *out = signed_v;
  return true;
}

int SimConfig::AudioCodec() const {
  if (audio_codec != 0) return audio_codec;
  switch (platform) {
    case 164: return 19;
    case 163: return 18;
    case 162: return 20;
    default: return 17;
  }
}

std::string UsageText() {
  return
      "usage: dvrsim [options]\n"
      "Simulated DVR: answers logins and state requests on the control port\n"
      "(BASE+1), sends keep-alives and scripted events.\n"
      "\n"
      "  --port BASE             base port (default 7620); control is BASE+1.\n"
      "                          0 picks a free base in 20000..60000.\n"
      "  --bind ADDR             IPv4 address to listen on (default 127.0.0.1)\n"
      "  --platform N            platform code 160..164 (default 164)\n"
      "  --platform-text TEXT    platform text to report instead (max 16 bytes)\n"
      "  --channels N            4, 8, 9 or 16 (default 16)\n"
      "  --report-channels N     channel count the description reports\n"
      "                          (0..65535, default: --channels)\n"
      "  --user ID:PASSWORD[:RIGHTS]\n"
      "                          a user (repeatable; default admin:1234). RIGHTS is\n"
      "                          the 32-bit rights word, decimal or 0x hex, default 15.\n"
      "                          The last ':' separates RIGHTS.\n"
      "  --max-sessions N        concurrent logged-in sessions (default 8)\n"
      "  --keepalive SECONDS     keep-alive period (default 5; 0 = none)\n"
      "  --timezone SECONDS[:DST]  time-zone offset and daylight flag 0/1\n"
      "                          (default 32400:0)\n"
      "  --scenario FILE         timed steps run on each control connection\n"
      "                          after its login\n"
      "  --log-requests          print one line per received message:\n"
      "                          request port=P cmd=0xCCCC length=N payload=HEX\n"
      "  --reply CODE=RESULT     for answer CODE: RESULT (u16) replaces the result\n"
      "                          field, 'none' suppresses the answer (repeatable)\n"
      "  --camera-name N=TEXT    name of camera N (1..16, UTF-8, max 32 bytes)\n"
      "  --max-streams N         concurrent stream connections (default: three\n"
      "                          per allowed session: the live pair and playback);\n"
      "                          beyond it 0xF002\n"
      "  --resolution R          live picture size: d1, halfd1, cif (default), qcif\n"
      "  --standard S            pal (default) or ntsc\n"
      "  --fps N                 frames per second (default 25 PAL, 30 NTSC)\n"
      "  --loop-frames N         frames per pre-encoded loop (default: one second)\n"
      "  --gop N                 a key picture every N frames of the loop (default:\n"
      "                          one, starting the loop)\n"
      "  --bitrate BPS           encoder bit rate (default by resolution)\n"
      "  --camera-like           pictures with sensor noise and motion\n"
      "  --prepare-media         encode every channel's loop before listening (the\n"
      "                          default encodes a loop when a stream first asks)\n"
      "  --duplicate-video       secondary streams (kind 2) send the video of their\n"
      "                          mask too: a client showing one channel alone gets\n"
      "                          its video on both streams\n"
      "  --audio-codec N         channel audio codec: 17 IMA, 18 G.726-24, 19 voice,\n"
      "                          other G.721 (default by platform: 160/161 17, 162 20,\n"
      "                          163 18, 164 19)\n"
      "  --talk-mode M           answer talk requests: grant (default), refuse, busy\n"
      "  --talk-wav FILE         write the talk audio clients send as a WAV file\n"
      "  --archive-days N        recordings on the N days before today (default 3,\n"
      "                          0 none): 08:00-12:30 (odd channels to 12:00) and\n"
      "                          13:15-18:00 every day, channels 1-2 also from 22:30\n"
      "                          of the last day to 01:00 today\n"
      "  --archive START+SECONDS[@MASK]\n"
      "                          one recorded segment instead (repeatable): START as\n"
      "                          YYYY-MM-DDTHH:MM:SS in the DVR's zone, MASK the\n"
      "                          channels (bit n = channel n+1, default all)\n"
      "  --seconds N             exit after N seconds (default 0 = run until\n"
      "                          SIGINT/SIGTERM)\n"
      "  --help                  this text\n"
      "\n"
      "Scenario lines (T = seconds after the connection's login, '#' comments):\n"
      "  T event motion|sensor|videoloss|alarm channel=C state=S [time=U32]\n"
      "  T event system code=N [time=U32] [text=\"...\"]   (\\n \\t \\\" \\\\ \\xHH)\n"
      "  T event ignored | T rights | T talk SUBCODE | T close\n"
      "  T send CODE [HEXPAYLOAD] | T raw HEXBYTES | T keepalive off|on\n"
      "\n"
      "When ready, prints: dvrsim listening base=BASE control=PORT\n"
      "Exit status: 0 after SIGINT/SIGTERM or --seconds, 2 for bad options or\n"
      "a bad scenario file, 1 when the ports cannot be bound.\n";
}

ParseOutcome ParseOptions(const std::vector<std::string>& args, SimConfig* config, std::string* error) {
  SimConfig c;
  std::string why;
  int64_t v = 0;

  using Handler = std::function<bool(const std::string&)>;
  auto integer = [&](int64_t min, int64_t max, auto store) -> Handler {
    return [&, min, max, store](const std::string& value) {
      if (!ParseInteger(value, min, max, &v)) {
        why = "expected a number in " + std::to_string(min) + ".." + std::to_string(max);
        return false;
      }
      store(v);
      return true;
    };
  };
  const std::map<std::string, Handler> valued = {
      {"--port", integer(0, 65532, [&](int64_t x) { c.base_port = static_cast<int>(x); })},
      {"--bind",
       [&](const std::string& value) {
         in_addr a{};
         if (inet_pton(AF_INET, value.c_str(), &a) != 1) {
           why = "expected a dotted IPv4 address";
           return false;
         }
         c.bind_address = value;
         return true;
       }},
      {"--platform", integer(160, 164, [&](int64_t x) { c.platform = static_cast<int>(x); })},
      {"--platform-text",
       [&](const std::string& value) {
         if (value.empty() || value.size() > 16) {
           why = "expected 1..16 bytes";
           return false;
         }
         c.platform_text = value;
         return true;
       }},
      {"--channels",
       [&](const std::string& value) {
         if (!ParseInteger(value, 4, 16, &v) || (v != 4 && v != 8 && v != 9 && v != 16)) {
           why = "expected 4, 8, 9 or 16";
           return false;
         }
         c.channels = static_cast<int>(v);
         return true;
       }},
      {"--report-channels", integer(0, 65535, [&](int64_t x) { c.report_channels = static_cast<int>(x); })},
      {"--user",
       [&](const std::string& value) {
         SimUser u;
         if (!ParseUser(value, &u, &why)) return false;
         for (const SimUser& other : c.users) {
           if (other.id == u.id) {
             why = "user '" + u.id + "' given twice";
             return false;
           }
         }
         c.users.push_back(u);
         return true;
       }},
      {"--max-sessions", integer(0, 1000, [&](int64_t x) { c.max_sessions = static_cast<int>(x); })},
      {"--keepalive", integer(0, 86400, [&](int64_t x) { c.keepalive_seconds = static_cast<int>(x); })},
      {"--timezone",
       [&](const std::string& value) {
         size_t colon = value.find(':');
         int64_t dst = 0;
         if (!ParseInteger(value.substr(0, colon), -86400, 86400, &v) ||
             (colon != std::string::npos && !ParseInteger(value.substr(colon + 1), 0, 1, &dst))) {
           why = "expected SECONDS[:DST], seconds -86400..86400, DST 0 or 1";
           return false;
         }
         c.timezone_seconds = static_cast<int32_t>(v);
         c.daylight = dst == 1;
         return true;
       }},
      {"--scenario",
       [&](const std::string& value) {
         c.scenario_path = value;
         return true;
       }},
      {"--reply",
       [&](const std::string& value) {
         size_t eq = value.find('=');
         int64_t code = 0;
         if (eq == std::string::npos || !ParseInteger(value.substr(0, eq), 0, 0xFFFF, &code)) {
           why = "expected CODE=RESULT with CODE a u16";
           return false;
         }
         std::string result = value.substr(eq + 1);
         if (result == "none") {
           c.reply_overrides[static_cast<uint16_t>(code)] = std::nullopt;
         } else if (ParseInteger(result, 0, 0xFFFF, &v)) {
           c.reply_overrides[static_cast<uint16_t>(code)] = static_cast<uint16_t>(v);
         } else {
           why = "RESULT must be a u16 or 'none'";
           return false;
         }
         return true;
       }},
      {"--camera-name",
       [&](const std::string& value) {
         size_t eq = value.find('=');
         if (eq == std::string::npos || !ParseInteger(value.substr(0, eq), 1, kMaxChannels, &v)) {
           why = "expected N=TEXT with N 1..16";
           return false;
         }
         std::string name = value.substr(eq + 1);
         if (name.empty() || name.size() > kTextFieldBytes || !ValidUtf8(name)) {
           why = "the name must be 1..32 bytes of UTF-8";
           return false;
         }
         c.camera_names[static_cast<size_t>(v - 1)] = name;
         return true;
       }},
      {"--archive-days", integer(0, 400, [&](int64_t x) { c.archive_days = static_cast<int>(x); })},
      {"--archive",
       [&](const std::string& value) {
         ArchiveSegment segment;
         if (!ParseArchiveSegment(value, &segment, &why)) return false;
         c.archive_segments.push_back(segment);
         return true;
       }},
      {"--seconds", integer(0, 100000000, [&](int64_t x) { c.run_seconds = static_cast<int>(x); })},
      {"--max-streams", integer(0, 1000, [&](int64_t x) { c.max_streams = static_cast<int>(x); })},
      {"--resolution",
       [&](const std::string& value) {
         static const std::map<std::string, int> kCodes = {{"d1", 0}, {"halfd1", 1}, {"cif", 2}, {"qcif", 3}};
         auto it = kCodes.find(value);
         if (it == kCodes.end()) {
           why = "expected d1, halfd1, cif or qcif";
           return false;
         }
         c.resolution = it->second;
         return true;
       }},
      {"--standard",
       [&](const std::string& value) {
         if (value != "pal" && value != "ntsc") {
           why = "expected pal or ntsc";
           return false;
         }
         c.pal = value == "pal";
         return true;
       }},
      {"--fps", integer(1, 60, [&](int64_t x) { c.fps = static_cast<int>(x); })},
      {"--loop-frames", integer(1, 3000, [&](int64_t x) { c.loop_frames = static_cast<int>(x); })},
      {"--gop", integer(1, 3000, [&](int64_t x) { c.gop = static_cast<int>(x); })},
      {"--bitrate", integer(10000, 20000000, [&](int64_t x) { c.bitrate_bps = static_cast<int>(x); })},
      {"--audio-codec", integer(17, 255, [&](int64_t x) { c.audio_codec = static_cast<int>(x); })},
      {"--talk-mode",
       [&](const std::string& value) {
         static const std::map<std::string, TalkMode> kModes = {
             {"grant", TalkMode::kGrant}, {"refuse", TalkMode::kRefuse}, {"busy", TalkMode::kBusy}};
         auto it = kModes.find(value);
         if (it == kModes.end()) {
           why = "expected grant, refuse or busy";
           return false;
         }
         c.talk_mode = it->second;
         return true;
       }},
      {"--talk-wav",
       [&](const std::string& value) {
         c.talk_wav = value;
         return true;
       }},
  };

  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (name == "--help" || name == "-h") return ParseOutcome::kHelp;
    if (name == "--log-requests" && !value) {
      c.log_requests = true;
      continue;
    }
    if (name == "--camera-like" && !value) {
      c.camera_like = true;
      continue;
    }
    if (name == "--prepare-media" && !value) {
      c.prepare_media = true;
      continue;
    }
    if (name == "--duplicate-video" && !value) {
      c.duplicate_video = true;
      continue;
    }
    auto it = valued.find(name);
    if (it == valued.end()) {
      *error = "unknown option '" + args[i] + "' (see --help)";
      return ParseOutcome::kError;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return ParseOutcome::kError;
      }
      value = args[++i];
    }
    why.clear();
    if (!it->second(*value)) {
      *error = "bad value '" + *value + "' for " + name + ": " + why;
      return ParseOutcome::kError;
    }
  }
  if (!c.scenario_path.empty() && !LoadScenarioFile(c.scenario_path, &c.scenario, error)) {
    return ParseOutcome::kError;
  }
  *config = std::move(c);
  return ParseOutcome::kRun;
}

}  // namespace dvrsim
