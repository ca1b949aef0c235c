// Untrusted input of the simulator. The first byte chooses the target:
//   even: the rest is scenario text for the scenario parser;
//   odd:  the rest is a client's byte stream into one control connection,
//         delivered in chunks of (first byte >> 1) + 1 bytes with the clock
//         advancing 100 ms per chunk so keep-alives and scenario steps fire.
// Every message the connection sends must be well framed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "dvrsim/control_session.h"
#include "dvrsim/scenario.h"
#include "platform/bytes.h"

namespace {

const dvrsim::SimConfig& FuzzConfig() {
  static const dvrsim::SimConfig config = [] {
    dvrsim::SimConfig c;
    c.keepalive_seconds = 1;
    c.channels = 9;
    c.log_requests = true;
    c.reply_overrides[0x7F02] = 0xF00D;
    c.reply_overrides[0x2F12] = std::nullopt;
    std::string error;
    dvrsim::ParseScenario(
        "0.2 event motion channel=1 state=1\n"
        "0.3 event system code=3 text=\"fuzz\"\n"
        "0.4 keepalive off\n"
        "0.9 keepalive on\n"
        "1.5 send 0x7777 0102\n",
        "fuzz", &c.scenario, &error);
    return c;
  }();
  return config;
}

bool WellFramed(std::span<const uint8_t> bytes) {
  return bytes.size() >= 6 && platform::GetU16BE(bytes.data()) == 0x2818 &&
         platform::GetU16BE(bytes.data() + 4) == bytes.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t selector = data[0];
  ++data;
  --size;
  if ((selector & 1) == 0) {
    dvrsim::Scenario scenario;
    std::string error;
    dvrsim::ParseScenario(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz", &scenario, &error);
    return 0;
  }
  dvrsim::SessionRegistry registry(1);
  dvrsim::ControlSession session(
      FuzzConfig(), registry,
      [](std::span<const uint8_t> bytes) {
        if (!WellFramed(bytes)) std::abort();
        return true;
      },
      [](std::string_view) {}, 7621);
  // Searches answer from a few days of recordings, in parts.
  static const dvrsim::Archive archive(dvrsim::Archive::DefaultPattern(3, 1796601600, 32400, 16), 32400);
  session.SetArchive(&archive);
  const size_t chunk = (selector >> 1) + 1u;
  int64_t now_ms = 1000;
  for (size_t off = 0; off < size; off += chunk) {
    const size_t n = size - off < chunk ? size - off : chunk;
    if (!session.OnReceived(data + off, n, now_ms)) return 0;
    now_ms += 100;
    if (!session.OnTimer(now_ms)) return 0;
  }
  session.OnTimer(now_ms + 5000);
  return 0;
}
