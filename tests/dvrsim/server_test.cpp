// The simulator run in-process on a free port, driven over real sockets.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>

#include "dvrsim/simulator.h"
#include "sim_client.h"

namespace {

using dvrsim_test::FieldText;
using dvrsim_test::Msg;
using dvrsim_test::SimClient;

class SimFixture : public ::testing::Test {
 protected:
  void StartSim(const std::function<void(dvrsim::SimConfig&)>& adjust = {}) {
    dvrsim::SimConfig c;
    c.base_port = 0;
    if (adjust) adjust(c);
    sim_ = std::make_unique<dvrsim::Simulator>(std::move(c), [this](std::string_view line) {
      std::lock_guard<std::mutex> lock(log_mutex_);
      log_.emplace_back(line);
    });
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }
  void TearDown() override {
    if (sim_) sim_->Stop();
  }
  std::unique_ptr<SimClient> LoggedIn(const std::string& id = "admin", const std::string& pw = "1234") {
    auto c = std::make_unique<SimClient>(sim_->control_port());
    auto r = c->Login(id, pw);
    EXPECT_TRUE(r && r->first == 1);
    return c;
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(log_mutex_);
    return log_;
  }

  std::unique_ptr<dvrsim::Simulator> sim_;
  std::mutex log_mutex_;
  std::vector<std::string> log_;
};

TEST_F(SimFixture, FreeBaseAndReadyLine) {
  StartSim();
  EXPECT_GE(sim_->base_port(), 20000);
  EXPECT_LE(sim_->base_port(), 60000);
  EXPECT_EQ(sim_->control_port(), sim_->base_port() + 1);
  EXPECT_EQ(sim_->ReadyLine(), "dvrsim listening base=" + std::to_string(sim_->base_port()) +
                                   " control=" + std::to_string(sim_->base_port() + 1) +
                                   " live=" + std::to_string(sim_->base_port() + 2));
}

TEST_F(SimFixture, LoginResults) {
  StartSim([](dvrsim::SimConfig& c) { 
    c.users = {{"admin", "1234", 15}, {"op", "pw", 4}, {std::string(32, 'L'), std::string(32, 'P'), 15}};
  });
  SimClient a(sim_->control_port()), b(sim_->control_port());
  auto ra = a.Login("admin", "1234");
  auto rb = b.Login("op", "pw");
  ASSERT_TRUE(ra && rb);
  EXPECT_EQ(ra->first, 1);
  EXPECT_EQ(rb->first, 1);
  EXPECT_NE(ra->second, rb->second);

  SimClient wrong(sim_->control_port());
  EXPECT_EQ(wrong.Login("admin", "12345")->first, 0xF001);
  EXPECT_TRUE(wrong.WaitClosed());

  SimClient unknown(sim_->control_port());
  EXPECT_EQ(unknown.Login("nobody", "1234")->first, 0xF003);
  EXPECT_TRUE(unknown.WaitClosed());

  // 32-byte fields carry no terminator; a prefix is not a match.
  SimClient full(sim_->control_port());
  EXPECT_EQ(full.Login(std::string(32, 'L'), std::string(32, 'P'))->first, 1);
  SimClient prefix(sim_->control_port());
  EXPECT_EQ(prefix.Login("adm", "1234")->first, 0xF003);

  SimClient short_login(sim_->control_port());
  ASSERT_TRUE(short_login.Send(0x1013, std::vector<uint8_t>(63, 'a')));
  auto m = short_login.ReceiveCode(0x1014);
  ASSERT_TRUE(m);
  EXPECT_EQ(platform::GetU16BE(m->payload.data()), 0xF001);
  EXPECT_TRUE(short_login.WaitClosed());

  SimClient no_login(sim_->control_port());
  ASSERT_TRUE(no_login.Send(0x7801));
  EXPECT_TRUE(no_login.WaitClosed());
}

TEST_F(SimFixture, SessionBoundFreesOnDisconnect) {
  StartSim([](dvrsim::SimConfig& c) { c.max_sessions = 1; });
  auto first = LoggedIn();
  SimClient second(sim_->control_port());
  EXPECT_EQ(second.Login("admin", "1234")->first, 0xF002);
  EXPECT_TRUE(second.WaitClosed());
  first.reset();
  // The slot comes back once the first connection is gone.
  std::optional<std::pair<uint16_t, uint16_t>> r;
  for (int i = 0; i < 20 && !(r && r->first == 1); ++i) {
    platform::SleepMs(50);
    SimClient again(sim_->control_port());
    r = again.Login("admin", "1234");
  }
  ASSERT_TRUE(r);
  EXPECT_EQ(r->first, 1);
}

TEST_F(SimFixture, ReplyOverrides) {
  StartSim([](dvrsim::SimConfig& c) {
    c.reply_overrides[0x7802] = std::nullopt;
    c.reply_overrides[0x7F02] = 0xBEEF;
  });
  auto c = LoggedIn();
  ASSERT_TRUE(c->Send(0x7801));
  ASSERT_TRUE(c->Send(0x7F01));
  auto m = c->ReceiveCode(0x7F02);  // the description answer never comes first
  ASSERT_TRUE(m);
  ASSERT_EQ(m->payload.size(), 5u);
  EXPECT_EQ(platform::GetU16BE(m->payload.data()), 0xBEEF);
  EXPECT_EQ(platform::GetU16BE(m->payload.data() + 2), 32400 & 0xFFFF);
}

TEST_F(SimFixture, LoginAnswerOverrides) {
  StartSim([](dvrsim::SimConfig& c) { c.reply_overrides[0x1014] = 0xF006; });
  SimClient refused(sim_->control_port());
  EXPECT_EQ(refused.Login("admin", "1234")->first, 0xF006);
  EXPECT_TRUE(refused.WaitClosed());
  sim_->Stop();

  StartSim([](dvrsim::SimConfig& c) { c.reply_overrides[0x1014] = std::nullopt; });
  SimClient silent(sim_->control_port());
  ASSERT_TRUE(silent.SendLogin("admin", "1234"));
  EXPECT_FALSE(silent.Receive(2000));
  EXPECT_FALSE(silent.WaitClosed(0));
}

TEST_F(SimFixture, StateAnswersByteByByte) {
  StartSim([](dvrsim::SimConfig& c) {
    c.channels = 8;
    c.report_channels = 7;
    c.platform_text = "ZX-PLATFORM-16CH";  // exactly fills its field
    c.timezone_seconds = -18000;
    c.daylight = true;
    c.users = {{"op", "pw", 0x14}};
    c.camera_names[0] = "Quai \xC3\xA0 l'est";
  });
  auto c = LoggedIn("op", "pw");

  ASSERT_TRUE(c->Send(0x7801));
  auto d = c->ReceiveCode(0x7802);
  ASSERT_TRUE(d);
  ASSERT_EQ(d->payload.size(), 2u + 496u);
  EXPECT_EQ(platform::GetU16BE(d->payload.data()), 496);
  EXPECT_EQ(FieldText(d->payload, 2, 32), "DVR-8CH");
  EXPECT_EQ(std::string(d->payload.begin() + 2 + 116, d->payload.begin() + 2 + 132), "ZX-PLATFORM-16CH");
  EXPECT_EQ(platform::GetU16BE(&d->payload[2 + 420]), 7);

  ASSERT_TRUE(c->Send(0x2F11));
  auto n = c->ReceiveCode(0x2F12);
  ASSERT_TRUE(n);
  ASSERT_EQ(n->payload.size(), 4u + 8 * 32);
  EXPECT_EQ(platform::GetU16BE(&n->payload[2]), 8);
  EXPECT_EQ(FieldText(n->payload, 4, 32), "Quai \xC3\xA0 l'est");
  EXPECT_EQ(FieldText(n->payload, 4 + 32, 32), "Entr\xC3\xA9" "e Nord");
  EXPECT_EQ(FieldText(n->payload, 4 + 64, 32), "\xEC\xB9\xB4\xEB\xA9\x94\xEB\x9D\xBC 3");
  EXPECT_EQ(FieldText(n->payload, 4 + 7 * 32, 32), "CAM 08");

  ASSERT_TRUE(c->Send(0x7F01));
  auto tz = c->ReceiveCode(0x7F02);
  ASSERT_TRUE(tz);
  EXPECT_EQ(tz->payload, (std::vector<uint8_t>{0xFF, 0xFF, 0xB9, 0xB0, 1}));

  std::vector<uint8_t> user_id(32, 0);
  user_id[0] = 'o';
  user_id[1] = 'p';
  ASSERT_TRUE(c->Send(0x7E01, user_id));
  auto r = c->ReceiveCode(0x7E02);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->payload, (std::vector<uint8_t>{0, 0, 1, 1, 0, 0, 0, 0x14, 0, 0, 0, 0, 0}));

  // No answer for a set request; unknown codes are ignored; the catalogue's
  // awaited answers come with a bare result; answers keep request order.
  ASSERT_TRUE(c->Send(0x2F17, std::vector<uint8_t>(98, 0)));
  ASSERT_TRUE(c->Send(0x9999));
  ASSERT_TRUE(c->Send(0x7111, std::vector<uint8_t>(68, 0)));
  ASSERT_TRUE(c->Send(0x2F01));
  auto fw = c->Receive();
  ASSERT_TRUE(fw);
  EXPECT_EQ(fw->code, 0x7112);
  EXPECT_EQ(fw->payload, (std::vector<uint8_t>{0, 0}));
  auto info = c->Receive();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->code, 0x2F01);
  ASSERT_EQ(info->payload.size(), 76u);
  EXPECT_EQ(platform::GetU16BE(&info->payload[34]), 8);
  EXPECT_EQ(FieldText(info->payload, 44, 16), "SIM-164");
}

TEST_F(SimFixture, KeepAliveEverySecond) {
  StartSim([](dvrsim::SimConfig& c) { c.keepalive_seconds = 1; });
  auto c = LoggedIn();
  const int64_t t0 = platform::MonotonicMs();
  auto k1 = c->Receive(1600);
  const int64_t t1 = platform::MonotonicMs();
  auto k2 = c->Receive(1600);
  const int64_t t2 = platform::MonotonicMs();
  ASSERT_TRUE(k1 && k2);
  EXPECT_EQ(k1->code, 0x1040);
  EXPECT_TRUE(k1->payload.empty());
  EXPECT_EQ(k2->code, 0x1040);
  EXPECT_NEAR(static_cast<double>(t1 - t0), 1000, 250);
  EXPECT_NEAR(static_cast<double>(t2 - t1), 1000, 250);
}

TEST_F(SimFixture, ScenarioRunsAfterLogin) {
  StartSim([](dvrsim::SimConfig& c) {
    std::string error;
    ASSERT_TRUE(dvrsim::ParseScenario("0.3 event motion channel=2 state=1 time=5\n"
                                      "0.3 send 0x7777 0102\n"
                                      "0.5 close\n",
                                      "s", &c.scenario, &error))
        << error;
  });
  auto c = LoggedIn();
  const int64_t t0 = platform::MonotonicMs();
  auto ev = c->Receive(1500);
  const int64_t t1 = platform::MonotonicMs();
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->code, 0x6013);
  EXPECT_EQ(ev->payload, (std::vector<uint8_t>{0, 2, 0, 1, 0, 0, 0, 5}));
  EXPECT_GE(t1 - t0, 250);
  EXPECT_LE(t1 - t0, 600);
  auto raw = c->Receive(500);
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->code, 0x7777);
  EXPECT_TRUE(c->WaitClosed(1000));
}

TEST_F(SimFixture, LogsEveryReceivedMessage) {
  StartSim([](dvrsim::SimConfig& c) { c.log_requests = true; });
  auto c = LoggedIn();
  ASSERT_TRUE(c->Send(0x4ABC, {}));
  ASSERT_TRUE(c->Send(0x7F01, {0x0A}));
  ASSERT_TRUE(c->ReceiveCode(0x7F02));
  const std::string port = std::to_string(sim_->control_port());
  auto log = Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "request port=" + port + " cmd=0x1013 length=70 payload=61646d696e" + std::string(54, '0') +
                        "31323334" + std::string(56, '0'));
  EXPECT_EQ(log[1], "request port=" + port + " cmd=0x4ABC length=6 payload=");
  EXPECT_EQ(log[2], "request port=" + port + " cmd=0x7F01 length=7 payload=0a");
}

TEST_F(SimFixture, GarbageClosesOnlyThatConnection) {
  StartSim();
  auto good = LoggedIn();
  SimClient bad_magic(sim_->control_port());
  ASSERT_TRUE(bad_magic.SendRaw({0x28, 0x19, 0x10, 0x13, 0x00, 0x46}));
  EXPECT_TRUE(bad_magic.WaitClosed());
  auto bad_length = LoggedIn();
  ASSERT_TRUE(bad_length->SendRaw({0x28, 0x18, 0x7F, 0x01, 0x00, 0x05}));
  EXPECT_TRUE(bad_length->WaitClosed());
  // A message split across sends is still one message.
  ASSERT_TRUE(good->SendRaw({0x28, 0x18, 0x7F}));
  platform::SleepMs(50);
  ASSERT_TRUE(good->SendRaw({0x01, 0x00, 0x07, 0x00}));
  EXPECT_TRUE(good->ReceiveCode(0x7F02));
  LoggedIn();
}

TEST_F(SimFixture, ConnectionBoundAndPromptStop) {
  StartSim();
  std::vector<std::unique_ptr<SimClient>> clients;
  for (int i = 0; i < dvrsim::kMaxConnections; ++i) {
    clients.push_back(std::make_unique<SimClient>(sim_->control_port()));
  }
  for (int i = 0; i < 50 && sim_->open_connections() < dvrsim::kMaxConnections; ++i) platform::SleepMs(20);
  EXPECT_EQ(sim_->open_connections(), dvrsim::kMaxConnections);
  SimClient extra(sim_->control_port());
  EXPECT_TRUE(extra.WaitClosed());
  // Every connection thread is blocked in a receive; Stop must still be quick.
  const int64_t t0 = platform::MonotonicMs();
  sim_->Stop();
  EXPECT_LT(platform::MonotonicMs() - t0, 1000);
  EXPECT_TRUE(clients[0]->WaitClosed(500));
}

}  // namespace
