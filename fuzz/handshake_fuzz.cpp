// Answers the client's two admission handshakes with arbitrary bytes over a
// real loopback connection: the login of a control connection (first input
// byte even) and the stream open of a media connection (odd). The result
// must be the one the answer's first message calls for: a session id or
// success for a whole, well-formed acceptance, the matching refusal code
// for a refusal, a failed handshake for anything else, with the one notice
// of a full DVR and none otherwise.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "loopback_peer.h"
#include "platform/notice.h"
#include "protocol/connection.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "handshake_fuzz: %s\n", what);
    std::abort();
  }
}

class CountingNotices final : public platform::INoticeSink {
 public:
  void Show(std::string_view text) override {
    ++count;
    last = std::string(text);
  }
  std::atomic<int> count{0};
  std::string last;
};

constexpr uint16_t kLoginRequest = 0x1013, kLoginAnswer = 0x1014;
constexpr uint16_t kOpenRequest = 0x1021, kOpenAnswer = 0x1022;
constexpr int kSessionId = 0x1234;

// What the first message of the answer calls for; refusal_word gets the
// result word of a well-formed refusal (0 for none).
int Expected(bool login, const uint8_t* a, size_t n, unsigned* refusal_word) {
  *refusal_word = 0;
  if (n < 6) return kResultHandshakeFailed;
  const unsigned magic = (a[0] << 8) | a[1], command = (a[2] << 8) | a[3], total = (a[4] << 8) | a[5];
  if (magic != kMessageMagic || total < 6 || total - 6 > static_cast<unsigned>(kPacketPayloadCapacity) || n < total ||
      command != (login ? kLoginAnswer : kOpenAnswer) || total - 6 < (login ? 4u : 2u)) {
    return kResultHandshakeFailed;
  }
  const unsigned result = (a[6] << 8) | a[7];
  if (result == 1) return login ? static_cast<int>((a[8] << 8) | a[9]) : 0;
  *refusal_word = result;
  switch (result) {
    case 0xF001: return login ? kResultRefused : kResultRefusedOther;
    case 0xF003: return kResultRefusedF003;
    case 0xF004: return kResultRefusedF004;
    case 0xF006: return kResultRefusedF006;
    default: return kResultRefusedOther;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  static LoopbackPeer* peer = new LoopbackPeer;  // lives as long as the process
  static CountingNotices notices;
  platform::SetNoticeSink(&notices);
  const int notices_before = notices.count.load();

  const bool login = (data[0] & 1) == 0;
  const uint8_t* answer = data + 1;
  const size_t answer_size = size - 1;
  uint16_t request_command = 0;
  std::vector<uint8_t> request;
  std::thread dvr([&] {
    const int fd = peer->Accept();
    if (fd < 0) return;
    if (LoopbackPeer::ReadMessage(fd, &request_command, &request)) LoopbackPeer::WriteAll(fd, answer, answer_size);
    LoopbackPeer::FinishAndClose(fd);
  });
  CDvrConnection connection;
  connection.SetConnectTimeout(5);
  const int result = login ? connection.Login("127.0.0.1", peer->Port(), "operator", "secret")
                           : connection.OpenStream("127.0.0.1", peer->Port(), kSessionId);
  connection.Close();
  dvr.join();

  if (login) {
    Check(request_command == kLoginRequest && request.size() == 64, "the login request is not 64 bytes of 0x1013");
    Check(std::string(reinterpret_cast<const char*>(request.data())) == "operator" &&
              std::string(reinterpret_cast<const char*>(request.data() + 32)) == "secret",
          "the login request does not carry the user and password");
  } else {
    Check(request_command == kOpenRequest && request.size() == 2 && ((request[0] << 8) | request[1]) == kSessionId,
          "the stream open request does not carry the session id");
  }
  unsigned refusal = 0;
  const int expected = Expected(login, answer, answer_size, &refusal);
  if (result != expected) {
    std::fprintf(stderr, "handshake_fuzz: %s gave %d, the answer calls for %d\n", login ? "login" : "stream open",
                 result, expected);
    std::abort();
  }
  const int shown = notices.count.load() - notices_before;
  if (refusal == 0xF002) {
    Check(shown == 1 && notices.last == (login ? "Exceed visitor can Dvr" : "Stream NO_MORE_SESSION"),
          "a full DVR is not shown once with its text");
  } else {
    Check(shown == 0, "a notice for an answer that is no full DVR");
  }
  return 0;
}
