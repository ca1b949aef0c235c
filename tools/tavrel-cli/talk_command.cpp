// tavrel-cli talk: logs in, starts live, runs the talk handshake and sends
// a WAV file (8 kHz mono 16-bit) as talk packets in the DVR's talk codec,
// paced as a microphone would deliver it.
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/wav_file.h"
#include "cli_args.h"
#include "commands.h"
#include "output.h"
#include "platform/clock.h"
#include "site_driver.h"
#include "sites/dvr_site.h"
#include "streaming/live_stream.h"

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
  if (!ReadWavFile(*opts.Value("--wav"), &samples, &why)) {
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
