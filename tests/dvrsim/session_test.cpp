// The control connection handler driven from byte buffers and a fake clock.
#include <gtest/gtest.h>

#include "dvrsim/control_session.h"
#include "platform/bytes.h"

namespace {

std::vector<uint8_t> LoginBytes() {
  std::vector<uint8_t> b(70, 0);
  platform::PutU16BE(&b[0], 0x2818);
  platform::PutU16BE(&b[2], 0x1013);
  platform::PutU16BE(&b[4], 70);
  std::copy_n("admin", 5, b.begin() + 6);
  std::copy_n("1234", 4, b.begin() + 38);
  return b;
}

struct Sent {
  int64_t at_ms;
  uint16_t code;
};

TEST(DvrsimControlSession, KeepAliveAndStepsFollowTheLoginClock) {
  dvrsim::SimConfig config;
  config.keepalive_seconds = 1;
  std::string error;
  ASSERT_TRUE(dvrsim::ParseScenario("1.5 keepalive off\n3.2 keepalive on\n3.3 rights\n4.5 close\n", "s",
                                    &config.scenario, &error));
  dvrsim::SessionRegistry registry(8);
  std::vector<Sent> sent;
  int64_t now = 10000;
  dvrsim::ControlSession session(
      config, registry,
      [&](std::span<const uint8_t> b) {
        sent.push_back({now, platform::GetU16BE(b.data() + 2)});
        return true;
      },
      {}, 7621);

  EXPECT_EQ(session.NextDeadline(), INT64_MAX);  // nothing runs before login
  const auto login = LoginBytes();
  // Delivered in two pieces: the handler must reassemble the message.
  ASSERT_TRUE(session.OnReceived(login.data(), 10, now));
  ASSERT_TRUE(session.OnReceived(login.data() + 10, login.size() - 10, now));
  ASSERT_TRUE(session.logged_in());
  EXPECT_EQ(registry.active(), 1);

  bool open = true;
  while (open && now < 20000) {
    now = session.NextDeadline();
    open = session.OnTimer(now);
  }
  EXPECT_FALSE(open);
  EXPECT_EQ(now, 14500);  // the close step
  const std::vector<std::pair<int64_t, uint16_t>> expected = {
      {10000, 0x1014}, {11000, 0x1040}, {13300, 0x6103}, {14200, 0x1040}};
  ASSERT_EQ(sent.size(), expected.size());
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].at_ms, expected[i].first) << i;
    EXPECT_EQ(sent[i].code, expected[i].second) << i;
  }
}

}  // namespace
