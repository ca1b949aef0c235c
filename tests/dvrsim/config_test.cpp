// Command-line options and scenario files of the simulator.
#include <gtest/gtest.h>

#include <fstream>

#include "dvrsim/sim_config.h"
#include "platform/bytes.h"

namespace {

using dvrsim::ParseOptions;
using dvrsim::ParseOutcome;
using dvrsim::SimConfig;

ParseOutcome Parse(std::vector<std::string> args, SimConfig* c, std::string* error) {
  return ParseOptions(args, c, error);
}

TEST(DvrsimOptions, GoodValuesAreTaken) {
  SimConfig c;
  std::string error;
  ASSERT_EQ(Parse({"--port", "0", "--platform", "161", "--channels", "9", "--report-channels=3", "--user",
                   "op:pa:ss:0x14", "--user", "viewer:", "--max-sessions", "1", "--keepalive", "0",
                   "--timezone", "-18000:1", "--reply", "0x1014=0xF006", "--reply", "0x7802=none",
                   "--camera-name", "16=Caf\xC3\xA9", "--log-requests", "--seconds", "3", "--duplicate-video", "--gop", "1"},
                  &c, &error),
            ParseOutcome::kRun)
      << error;
  EXPECT_EQ(c.base_port, 0);
  EXPECT_EQ(c.PlatformText(), "SOLO6010");
  EXPECT_EQ(c.channels, 9);
  EXPECT_EQ(c.ReportedChannels(), 3);
  ASSERT_EQ(c.users.size(), 2u);
  EXPECT_EQ(c.users[0].id, "op");
  EXPECT_EQ(c.users[0].password, "pa:ss");  // the last ':' separates the rights
  EXPECT_EQ(c.users[0].rights, 0x14u);
  EXPECT_EQ(c.users[1].password, "");
  EXPECT_EQ(c.users[1].rights, 15u);
  EXPECT_EQ(c.max_sessions, 1);
  EXPECT_EQ(c.keepalive_seconds, 0);
  EXPECT_EQ(c.timezone_seconds, -18000);
  EXPECT_TRUE(c.daylight);
  EXPECT_EQ(c.reply_overrides.at(0x1014), std::optional<uint16_t>(0xF006));
  EXPECT_EQ(c.reply_overrides.at(0x7802), std::nullopt);
  EXPECT_EQ(c.CameraName(15), "Caf\xC3\xA9");
  EXPECT_TRUE(c.log_requests);
  EXPECT_EQ(c.run_seconds, 3);
  EXPECT_TRUE(c.duplicate_video);
  EXPECT_EQ(c.Gop(), 1);
}

TEST(DvrsimOptions, DefaultsFillIn) {
  SimConfig c;
  std::string error;
  ASSERT_EQ(Parse({}, &c, &error), ParseOutcome::kRun);
  EXPECT_EQ(c.base_port, 7620);
  EXPECT_EQ(c.bind_address, "127.0.0.1");
  EXPECT_EQ(c.PlatformText(), "HI3515");
  EXPECT_EQ(c.ReportedChannels(), 16);
  ASSERT_EQ(c.EffectiveUsers().size(), 1u);
  EXPECT_EQ(c.EffectiveUsers()[0].id, "admin");
  EXPECT_EQ(c.EffectiveUsers()[0].password, "1234");
  EXPECT_EQ(c.Gop(), 25);  // one key picture per one-second loop
  EXPECT_EQ(c.CameraName(0), "CAM 01");
  EXPECT_EQ(c.CameraName(2), "\xEC\xB9\xB4\xEB\xA9\x94\xEB\x9D\xBC 3");
  EXPECT_EQ(Parse({"--platform-text", "XYZ9000"}, &c, &error), ParseOutcome::kRun);
  EXPECT_EQ(c.PlatformText(), "XYZ9000");
  EXPECT_EQ(Parse({"--help"}, &c, &error), ParseOutcome::kHelp);
}

TEST(DvrsimOptions, BadValuesAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"},
      {"--port"},
      {"--port", "65533"},
      {"--port", "12x"},
      {"--bind", "localhost"},
      {"--platform", "159"},
      {"--platform-text", "12345678901234567"},
      {"--channels", "5"},
      {"--report-channels", "-1"},
      {"--user", "nopassword"},
      {"--user", "a:b:rights"},
      {"--user", "a:1", "--user", "a:2"},
      {"--user", std::string(33, 'u') + ":p"},
      {"--keepalive", "-1"},
      {"--timezone", "3600:2"},
      {"--reply", "0x1014"},
      {"--reply", "0x1014=maybe"},
      {"--reply", "0x10000=1"},
      {"--camera-name", "0=X"},
      {"--camera-name", "17=X"},
      {"--camera-name", "1=\xC3"},
      {"--camera-name", "1=" + std::string(33, 'n')},
      {"--scenario", "/nonexistent/dvrsim.scn"},
      {"--log-requests=1"},
  };
  for (const auto& args : bad) {
    SimConfig c;
    std::string error;
    EXPECT_EQ(Parse(args, &c, &error), ParseOutcome::kError) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

TEST(DvrsimScenario, StepsBecomeMessagesInTimeOrder) {
  const char* text =
      "# comment line\n"
      "\n"
      "2.5 event motion channel=3 state=1 time=0x01020304\n"
      "0.25 event sensor channel=0 state=1   # trailing comment\n"
      "1 event system code=7 time=9 text=\"disk \\\"A\\\" full\\n\\x01\"\n"
      "1 event ignored\n"
      "3 rights\n"
      "3 talk 0x4003\n"
      "3.0 send 0x7777 0102\n"
      "4 raw 28180001\n"
      "5 keepalive off\n"
      "6 keepalive on\n"
      "7 close\n";
  dvrsim::Scenario s;
  std::string error;
  ASSERT_TRUE(dvrsim::ParseScenario(text, "t.scn", &s, &error)) << error;
  ASSERT_EQ(s.steps.size(), 11u);
  // Sorted by time; equal times keep file order.
  EXPECT_EQ(s.steps[0].at_ms, 250);
  EXPECT_EQ(s.steps[0].code, 0x6023);
  EXPECT_EQ(s.steps[0].now_time_offset, 4);  // no time given: stamped when sent
  EXPECT_EQ(s.steps[1].code, 0x6033);
  const std::vector<uint8_t> sys = {0, 7, 0, 0, 0, 9, 'd', 'i', 's', 'k', ' ', '"', 'A', '"', ' ', 'f', 'u', 'l', 'l',
                                    '\n', 1};
  EXPECT_EQ(s.steps[1].bytes, sys);
  EXPECT_EQ(s.steps[2].code, 0x6053);
  EXPECT_EQ(s.steps[2].bytes, std::vector<uint8_t>(8, 0));
  EXPECT_EQ(s.steps[3].at_ms, 2500);
  EXPECT_EQ(s.steps[3].bytes, (std::vector<uint8_t>{0, 3, 0, 1, 1, 2, 3, 4}));
  EXPECT_EQ(s.steps[3].now_time_offset, -1);
  EXPECT_EQ(s.steps[4].code, 0x6103);
  EXPECT_EQ(s.steps[5].bytes, (std::vector<uint8_t>{0x40, 0x03}));
  EXPECT_EQ(s.steps[6].code, 0x7777);
  EXPECT_EQ(s.steps[6].bytes, (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(s.steps[7].kind, dvrsim::StepKind::kRaw);
  EXPECT_EQ(s.steps[7].bytes, (std::vector<uint8_t>{0x28, 0x18, 0, 1}));
  EXPECT_EQ(s.steps[8].kind, dvrsim::StepKind::kKeepAliveOff);
  EXPECT_EQ(s.steps[9].kind, dvrsim::StepKind::kKeepAliveOn);
  EXPECT_EQ(s.steps[10].kind, dvrsim::StepKind::kClose);
}

TEST(DvrsimScenario, ErrorsNameFileAndLine) {
  const std::vector<std::string> bad_lines = {
      "event motion channel=1 state=1",          // no time
      "-1 rights",                                // negative time
      "1",                                        // no action
      "1 dance",                                  // unknown action
      "1 event motion channel=1",                 // state missing
      "1 event motion channel=70000 state=1",     // channel beyond u16
      "1 event motion channel=1 state=1 colour=2",
      "1 event motion channel=1 channel=2 state=1",
      "1 event quake channel=1 state=1",
      "1 event system text=\"x\"",                // code missing
      "1 event system code=1 text=\"unterminated",
      "1 event system code=1 text=\"" + std::string(201, 'x') + "\"",
      "1 event system code=1 text=\"\\q\"",
      "1 event ignored now",
      "1 talk",
      "1 send 0x7777 0g",
      "1 send 0x7777 012",
      "1 raw",
      "1 keepalive maybe",
      "1 close now",
  };
  for (const std::string& line : bad_lines) {
    dvrsim::Scenario s;
    std::string error;
    const std::string text = "# header\n1 rights\n" + line + "\n2 close\n";
    EXPECT_FALSE(dvrsim::ParseScenario(text, "bad.scn", &s, &error)) << line;
    EXPECT_EQ(error.rfind("bad.scn:3: ", 0), 0u) << line << " -> " << error;
  }
}

TEST(DvrsimScenario, OptionLoadsTheFileAndReportsItsErrors) {
  const std::string path = ::testing::TempDir() + "dvrsim_option_test.scn";
  {
    std::ofstream(path) << "0.5 event alarm channel=2 state=0\n";
  }
  SimConfig c;
  std::string error;
  ASSERT_EQ(Parse({"--scenario", path}, &c, &error), ParseOutcome::kRun) << error;
  ASSERT_EQ(c.scenario.steps.size(), 1u);
  EXPECT_EQ(c.scenario.steps[0].code, 0x6063);
  {
    std::ofstream(path) << "\n\n1 event alarm\n";
  }
  EXPECT_EQ(Parse({"--scenario", path}, &c, &error), ParseOutcome::kError);
  EXPECT_NE(error.find(path + ":3:"), std::string::npos) << error;
}

}  // namespace
