// tavrel-cli login against dvrsim: the follow-up conversation, every login
// refusal, events, keep-alive and the silent-line rule, as an operator's
// scripts would see them.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "support/process.h"
#include "support/sim_process.h"

namespace {

struct Sim : SimProcess {
  explicit Sim(std::vector<std::string> args) : SimProcess(DVRSIM_PATH, std::move(args)) {}
};

CliRun RunCli(const Sim& sim, std::vector<std::string> extra, const std::string& user = "netuser",
              const std::string& password = "pass") {
  return RunCliCommand(TAVREL_CLI_PATH, "login", sim, user, password, extra, 30000);
}

TEST(CliLogin, FollowUpConversationInOrder) {
  Sim sim({"--platform", "164", "--channels", "16", "--user", "netuser:pass", "--keepalive", "1",
           "--timezone", "-18000:1", "--log-requests"});
  ASSERT_FALSE(sim.base.empty());
  CliRun run = RunCli(sim, {"--follow-up", "--seconds", "3"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> expected = {
      "notify 1", "data 51", "data 40", "platform 164 talk 150", "data 42", "notify 26",
      "timezone -14400", "data 53", "data 25", "data 28"};
  EXPECT_EQ(run.lines, expected);

  // What the client sent, in order, as the simulator logged it.
  sim.proc->Signal(SIGTERM);
  sim.proc->Wait(5000);
  std::vector<std::string> commands;
  std::string user_payload;
  for (const auto& line : sim.proc->RestOfStdout()) {
    std::smatch m;
    if (std::regex_search(line, m, std::regex("^request port=[0-9]+ cmd=0x([0-9A-F]{4}) length=([0-9]+) payload=([0-9a-f]*)"))) {
      commands.push_back(m[1]);
      if (m[1] == "7E01") user_payload = m[3];
    }
  }
  EXPECT_EQ(commands, (std::vector<std::string>{"1013", "2F01", "7801", "2011", "7F01", "2F21", "7E01", "2F15"}));
  EXPECT_EQ(user_payload, "6e657475736572" + std::string(50, '0'));  // "netuser" in 32 bytes
}

TEST(CliLogin, PlatformFollowsTheDescription) {
  for (auto [platform, expected] : {std::pair{"160", "platform 160 talk 148"}, {"161", "platform 161 talk 148"},
                                    {"162", "platform 162 talk 149"}, {"163", "platform 163 talk 148"}}) {
    Sim sim({"--platform", platform, "--user", "netuser:pass", "--channels", "4"});
    CliRun run = RunCli(sim, {"--follow-up", "--seconds", "1"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), expected), run.lines.end()) << platform;
  }
  Sim odd({"--platform-text", "MYSTERY9", "--user", "netuser:pass"});
  CliRun run = RunCli(odd, {"--follow-up", "--seconds", "1"});
  EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), "platform 163 talk 148"), run.lines.end());
}

TEST(CliLogin, RefusalsGiveTheirNotificationAndExitOne) {
  struct Case {
    std::vector<std::string> sim_args;
    std::string user, password;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {{}, "netuser", "wrong", {"notify 6"}},
      {{}, "nobody", "pass", {"notify 7"}},
      {{"--reply", "0x1014=0xF004"}, "netuser", "pass", {"notify 8"}},
      {{"--reply", "0x1014=0xF006"}, "netuser", "pass", {"notify 9"}},
      {{"--reply", "0x1014=0xF002"}, "netuser", "pass", {}},
      {{"--reply", "0x1014=0x7777"}, "netuser", "pass", {}},
      {{"--reply", "0x1014=none"}, "netuser", "pass", {"notify 5"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--user", "netuser:pass"};
    args.insert(args.end(), c.sim_args.begin(), c.sim_args.end());
    Sim sim(args);
    CliRun run = RunCli(sim, {"--seconds", "5"}, c.user, c.password);
    EXPECT_EQ(run.status, 1) << c.user << " " << (c.sim_args.empty() ? "" : c.sim_args[1]);
    EXPECT_EQ(run.lines, c.lines) << (c.sim_args.empty() ? c.user : c.sim_args[1]);
    EXPECT_FALSE(run.err.empty());
    if (!c.sim_args.empty() && c.sim_args[1] == "0x1014=0xF002") {
      EXPECT_NE(run.err.find("Exceed visitor can Dvr"), std::string::npos) << run.err;
    }
  }
}

TEST(CliLogin, AFullDvrAndAMissingDvr) {
  Sim sim({"--user", "netuser:pass", "--max-sessions", "1"});
  ChildProcess first(TAVREL_CLI_PATH, {"login", "--host", "127.0.0.1", "--port", sim.base, "--user", "netuser",
                                       "--password", "pass", "--seconds", "4"});
  ASSERT_EQ(first.WaitForLine("notify 1", 5000), "notify 1");
  CliRun second = RunCli(sim, {"--seconds", "2"});
  EXPECT_EQ(second.status, 1);
  EXPECT_TRUE(second.lines.empty());
  EXPECT_NE(second.err.find("Exceed visitor can Dvr"), std::string::npos);
  EXPECT_EQ(first.Wait(10000), 0);

  // Nobody listening on the control port.
  Sim gone({});
  const std::string base = gone.base;
  gone.proc->Signal(SIGTERM);
  gone.proc->Wait(5000);
  ChildProcess cli(TAVREL_CLI_PATH, {"login", "--host", "127.0.0.1", "--port", base, "--user", "u", "--password", "p"});
  EXPECT_EQ(cli.Wait(10000), 1);
  EXPECT_EQ(cli.RestOfStdout(), (std::vector<std::string>{"notify 3"}));
}

TEST(CliLogin, ScenarioEventsAndUnexpectedAnswers) {
  const std::string path = ::testing::TempDir() + "/events.scenario";
  {
    std::ofstream f(path);
    f << "0.2 event motion channel=3 state=1 time=1765000000\n"
         "0.3 event sensor channel=1 state=0 time=1765000001\n"
         "0.4 event videoloss channel=15 state=1 time=1765000002\n"
         "0.5 event alarm channel=2 state=1 time=1765000003\n"
         "0.6 event system code=7 time=1765000004 text=\"Disk 2 full\"\n"
         "0.7 event ignored\n"
         "0.8 rights\n"
         "0.9 send 0x7777 0102\n";
  }
  Sim sim({"--user", "netuser:pass", "--scenario", path});
  CliRun run = RunCli(sim, {"--seconds", "2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.lines, (std::vector<std::string>{
                           "notify 1",
                           "event type=18 channel=3 state=1 time=1765000000 text=",
                           "event type=19 channel=1 state=0 time=1765000001 text=",
                           "event type=20 channel=15 state=1 time=1765000002 text=",
                           "event type=22 channel=2 state=1 time=1765000003 text=",
                           "event type=23 channel=65535 state=0 time=1765000004 text=Disk 2 full",
                           "notify 27",
                           "notify 12",
                       }));
}

TEST(CliLogin, SilentLineEndsTheSessionButKeepAlivesHoldIt) {
  // Rounds of 200 ms: five silent rounds take about a second.
  Sim silent({"--user", "netuser:pass", "--keepalive", "0"});
  CliRun ended = RunCli(silent, {"--seconds", "10", "--round-ms", "200"});
  EXPECT_EQ(ended.status, 0);  // the login itself succeeded
  EXPECT_EQ(ended.lines, (std::vector<std::string>{"notify 1", "notify 11"}));

  Sim lively({"--user", "netuser:pass", "--keepalive", "1"});
  CliRun held = RunCli(lively, {"--seconds", "3", "--round-ms", "200"});
  EXPECT_EQ(held.status, 0);
  EXPECT_EQ(held.lines, (std::vector<std::string>{"notify 1"}));
}

TEST(CliLogin, BadUsageExitsTwo) {
  ChildProcess missing(TAVREL_CLI_PATH, {"login", "--host", "127.0.0.1"});
  EXPECT_EQ(missing.Wait(5000), 2);
  ChildProcess unknown(TAVREL_CLI_PATH, {"login", "--bogus"});
  EXPECT_EQ(unknown.Wait(5000), 2);
  ChildProcess bad_port(TAVREL_CLI_PATH, {"login", "--host", "h", "--user", "u", "--password", "p", "--port", "x"});
  EXPECT_EQ(bad_port.Wait(5000), 2);
  ChildProcess command(TAVREL_CLI_PATH, {"dance"});
  EXPECT_EQ(command.Wait(5000), 2);
}

}  // namespace
