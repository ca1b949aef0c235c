// tavrel-cli events and log against dvrsim: every event kind of a scenario
// becomes list rows, printed and appended to the hourly log, which log reads
// back in the same order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>

#include "support/process.h"
#include "support/sim_process.h"

namespace {

std::string Hour(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H", &local);
  return text;
}

TEST(CliEvents, EveryKindIsListedLoggedAndReadBack) {
  unsetenv("TAVREL_HOME");
  const std::string dir = ::testing::TempDir() + "/cli_events";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string scenario = dir + "/events.scn";
  // A sensor map of our own (sensor 1: channels 1-3; sensor 2: every bit),
  // then one event of each kind, a motion on a channel the DVR lacks and a
  // system text with a line break.
  std::ofstream(scenario) << "1.0 send 0x2F22 0000000300000000000100070002FFFF\n"
                             "1.5 event motion channel=2 state=0\n"
                             "1.6 event sensor channel=1 state=0\n"
                             "1.7 event videoloss channel=3 state=1\n"
                             "1.8 event alarm channel=1 state=0\n"
                             "1.9 event system code=5 text=\"disk\\x0d\\nfull\"\n"
                             "2.0 event motion channel=40 state=1\n";
  SimProcess sim(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--scenario", scenario});
  ASSERT_FALSE(sim.base.empty());
  const std::time_t start = std::time(nullptr);
  CliRun run = RunCliCommand(TAVREL_CLI_PATH, "events", sim, "netuser", "pass",
                             {"--seconds", "4", "--home", dir + "/home"}, 30000);
  ASSERT_EQ(run.status, 0) << run.err;

  std::vector<std::string> rows;
  const std::regex line("^event time=\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d dvr=127\\.0\\.0\\.1 (channel=.*)$");
  for (const std::string& l : run.lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, line)) << l;
    rows.push_back(m[1]);
  }
  const std::vector<std::string> expected = {
      "channel=- kind=Connection text=Connected and logged in",
      "channel=3 kind=Motion text=Motion detected",
      "channel=2 kind=Sensor text=Sensor triggered",
      "channel=1 kind=Sensor text=Sensor triggered",
      "channel=2 kind=Sensor text=Sensor triggered",
      "channel=3 kind=Sensor text=Sensor triggered",
      "channel=4 kind=Video loss text=Video restored",
      "channel=- kind=Alarm output text=Alarm output on:port2",
      "channel=- kind=System text=disk  full",
      "channel=41 kind=Motion text=Motion ended",
  };
  EXPECT_EQ(rows, expected);

  // The log holds the same rows, in the same order, numbered per hour file.
  CliRun log;
  {
    ChildProcess cli(TAVREL_CLI_PATH, {"log", "--from", Hour(start - 3600), "--to", Hour(std::time(nullptr) + 3600),
                                       "--home", dir + "/home"});
    log.status = cli.Wait(30000);
    log.lines = cli.RestOfStdout();
    log.err = cli.Stderr();
  }
  ASSERT_EQ(log.status, 0) << log.err;
  ASSERT_EQ(log.lines.size(), run.lines.size());
  for (size_t i = 0; i < log.lines.size(); ++i) {
    const std::string tail = run.lines[i].substr(std::string("event ").size());
    EXPECT_NE(log.lines[i].find(tail), std::string::npos) << log.lines[i];
    EXPECT_EQ(log.lines[i].rfind("record file=", 0), 0u);
  }

  // Usage and a missing folder.
  ChildProcess bad(TAVREL_CLI_PATH, {"log", "--from", "2026-13-01 00", "--to", "2026-12-01 00"});
  EXPECT_EQ(bad.Wait(10000), 2);
  ChildProcess none(TAVREL_CLI_PATH, {"log", "--from", "2026-12-01 00", "--to", "2026-12-01 00", "--home",
                                      dir + "/nothing"});
  EXPECT_EQ(none.Wait(10000), 1);
  EXPECT_NE(none.Stderr().find("event folder"), std::string::npos);
}

}  // namespace
