// tavrel-cli talk: logs in, starts live, runs the talk handshake and sends
// a WAV file (8 kHz mono 16-bit) as talk packets in the DVR's talk codec,
// paced as a microphone would deliver it.
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli_args.h"
#include "commands.h"
#include "output.h"
#include "platform/clock.h"
#include "site_driver.h"
#include "sites/dvr_site.h"
#include "streaming/live_stream.h"

namespace {

// Reads the samples of an 8 kHz mono 16-bit PCM WAV file.
bool ReadWav(const std::string& path, std::vector<int16_t>* samples, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = "cannot read " + path;
    return false;
  }
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u16 = [&](size_t o) { return static_cast<uint32_t>(b[o] | (b[o + 1] << 8)); };
  auto u32 = [&](size_t o) { return u16(o) | (u16(o + 2) << 16); };
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
    *why = path + " is not a WAV file";
    return false;
  }
  bool format_ok = false;
  for (size_t pos = 12; pos + 8 <= b.size();) {
    const uint32_t size = u32(pos + 4);
    const size_t body = pos + 8;
    if (size > b.size() - body) break;
    if (std::memcmp(b.data() + pos, "fmt ", 4) == 0 && size >= 16) {
      format_ok = u16(body) == 1 && u16(body + 2) == 1 && u32(body + 4) == 8000 && u16(body + 14) == 16;
    } else if (std::memcmp(b.data() + pos, "data", 4) == 0) {
      if (!format_ok) break;
      samples->resize(size / 2);
      for (size_t i = 0; i < samples->size(); ++i) (*samples)[i] = static_cast<int16_t>(u16(body + 2 * i));
      return true;
    }
    pos = body + size + (size & 1);
  }
  *why = path + " must be 8,000 Hz mono 16-bit PCM";
  return false;
}

}  // namespace

int RunTalk(const std::vector<std::string>& args) {
  CliArgs opts(args, {"--host", "--port", "--user", "--password", "--wav", "--seconds", "--connect-timeout"}, {});
  const long base_port = opts.Int("--port", 7620, 0, 65533);
  const long seconds = opts.Int("--seconds", 60, 1, 86400);
  const long connect_timeout_s = opts.Int("--connect-timeout", kDefaultConnectTimeoutS, 1, 3600);
  if (opts.Ok() && (!opts.Value("--host") || !opts.Value("--user") || !opts.Value("--password") || !opts.Value("--wav"))) {
    ErrLine("tavrel-cli talk: --host, --user, --password and --wav are required");
    return 2;
  }
  if (!opts.Ok()) {
    ErrLine("tavrel-cli talk: %s", opts.Error().c_str());
    return 2;
  }
  std::vector<int16_t> samples;
  std::string why;
  if (!ReadWav(*opts.Value("--wav"), &samples, &why)) {
    ErrLine("tavrel-cli talk: %s", why.c_str());
    return 2;
  }

  const SiteRecord record = SiteRecordFromOptions(opts, base_port);
  SiteCodeQueue codes(false);
  CDvrSite site(record);
  site.Control().SetConnectTimeout(static_cast<int>(connect_timeout_s));
  site.SetObserver(&codes);
  site.StartControl();

  const int64_t deadline_ms = platform::MonotonicMs() + seconds * 1000;
  bool requested = false;
  int result = 1;
  bool done = false;
  while (!done && !StopRequested() && platform::MonotonicMs() < deadline_ms) {
    const int code = codes.Next(100);
    if (code < 0) continue;
    if (!IsDataCode(code)) OutLine("notify %d", code);
    switch (code) {
      case kNotifyLoggedIn:
        site.SendFollowUpRequests();
        break;
      case 51:
        if (!site.LiveStarted()) site.StartLive();
        break;
      case kNotifyStreamRunning:
        if (!requested) {
          requested = true;
          site.RequestTalk();
        }
        break;
      case kNotifyTalkGranted: {
        // One block per 40 ms (voice codec, 320 samples) or 32 ms (G.726, 256).
        const int block = site.TalkFormat() == kTalkCodecVoice ? 320 : 256;
        const auto period = std::chrono::milliseconds(block / 8);
        auto next = std::chrono::steady_clock::now();
        int sent = 0;
        bool failed = false;
        std::vector<int16_t> chunk(static_cast<size_t>(block), 0);
        for (size_t pos = 0; pos < samples.size() && !StopRequested(); pos += static_cast<size_t>(block)) {
          const size_t n = std::min(static_cast<size_t>(block), samples.size() - pos);
          std::fill(chunk.begin(), chunk.end(), 0);
          std::copy(samples.begin() + static_cast<std::ptrdiff_t>(pos),
                    samples.begin() + static_cast<std::ptrdiff_t>(pos + n), chunk.begin());
          const int r = site.SendTalkBlock(chunk.data(), block);
          if (r < 0) {
            failed = true;
            break;
          }
          sent += r;
          next += period;
          std::this_thread::sleep_until(next);
        }
        site.EndTalk();
        OutLine("talk packets=%d codec=%d", sent, site.TalkFormat());
        result = failed ? 1 : 0;
        done = true;
        break;
      }
      case kNotifyTalkEnded:
      case kNotifyTalk4060:
        ErrLine("tavrel-cli talk: %s", code == kNotifyTalkEnded ? "the DVR refused talk"
                                                                : "Audio ports in use by another user");
        done = true;
        break;
      default:
        if (code == kNotifyConnectionLost || IsLoginFailure(code)) {
          ErrLine("tavrel-cli talk: no session with the DVR (notification %d)", code);
          done = true;
        }
        break;
    }
  }
  if (!done) ErrLine("tavrel-cli talk: talk was not granted in time");
  site.StopAll();
  return result;
}
