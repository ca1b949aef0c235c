// tavrel-cli search-month, search-day and play against dvrsim's recordings:
// the days and minutes of given segments in the DVR's zone, pictures and
// capture times for every platform, fast and backward play at key pictures,
// the end of the recordings, and a minute that holds none.
#include <gtest/gtest.h>

#include <regex>

#include "support/process.h"
#include "support/sim_process.h"

namespace {

// Ten minutes on 2026-12-03 from 08:00 on all channels, and three hours on
// channel 1 from 22:00 on 2026-11-30, across midnight and the month's end.
std::vector<std::string> Recordings(std::vector<std::string> args) {
  args.insert(args.end(), {"--user", "netuser:pass", "--channels", "4", "--resolution", "qcif", "--archive",
                           "2026-12-03T08:00:00+600", "--archive", "2026-11-30T22:00:00+10800@0x1"});
  return args;
}

CliRun Cli(const std::string& command, const SimProcess& sim, std::vector<std::string> extra) {
  return RunCliCommand(TAVREL_CLI_PATH, command, sim, "netuser", "pass", extra, 30000);
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& l : lines) {
    if (l.rfind(prefix, 0) == 0) out.push_back(l);
  }
  return out;
}

// Seconds of the day of each "time channel=1 ..." line.
std::vector<int> ChannelOneTimes(const CliRun& run, std::string* first) {
  static const std::regex kTime("time channel=1 (\\d{4}-\\d\\d-\\d\\d) (\\d\\d):(\\d\\d):(\\d\\d)");
  std::vector<int> out;
  for (const std::string& l : run.lines) {
    std::smatch m;
    if (!std::regex_match(l, m, kTime)) continue;
    if (out.empty() && first != nullptr) *first = m[1].str() + " " + l.substr(l.size() - 8);
    out.push_back(std::stoi(m[2]) * 3600 + std::stoi(m[3]) * 60 + std::stoi(m[4]));
  }
  return out;
}

TEST(CliPlayback, SearchesListDaysAndMinutesInTheDvrsZone) {
  // An offset west of UTC with daylight time: the DVR's dates differ from
  // UTC's and still come out as recorded.
  SimProcess sim(DVRSIM_PATH, Recordings({"--timezone", "-18000:1"}));
  ASSERT_FALSE(sim.base.empty());
  CliRun run = Cli("search-month", sim, {"--year", "2026", "--month", "12"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.lines, (std::vector<std::string>{"day 1", "day 3"}));
  run = Cli("search-month", sim, {"--year", "2026", "--month", "11"});
  EXPECT_EQ(run.lines, (std::vector<std::string>{"day 30"}));
  run = Cli("search-month", sim, {"--year", "2027", "--month", "1"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.lines.empty());

  run = Cli("search-day", sim, {"--date", "2026-11-30"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.lines, (std::vector<std::string>{"minutes 22:00-23:59"}));
  run = Cli("search-day", sim, {"--date", "2026-12-01"});
  EXPECT_EQ(run.lines, (std::vector<std::string>{"minutes 00:00-01:00"}));
  run = Cli("search-day", sim, {"--date", "2026-12-03"});
  EXPECT_EQ(run.lines, (std::vector<std::string>{"minutes 08:00-08:10"}));
  EXPECT_EQ(Cli("search-day", sim, {"--date", "2026-12-3x"}).status, 2);
}

TEST(CliPlayback, EveryPlatformPlaysFromTheRequestedTime) {
  for (int platform = 160; platform <= 164; ++platform) {
    SCOPED_TRACE(platform);
    SimProcess sim(DVRSIM_PATH, Recordings({"--platform", std::to_string(platform)}));
    ASSERT_FALSE(sim.base.empty());
    const CliRun run = Cli("play", sim, {"--at", "2026-12-03 08:05:00", "--seconds", "1", "--channels", "1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Matching(run.lines, "picture "), (std::vector<std::string>{"picture channel=1 176x144"}));
    EXPECT_EQ(Matching(run.lines, "status "), (std::vector<std::string>{"status 57"}));
    std::string first;
    const std::vector<int> times = ChannelOneTimes(run, &first);
    EXPECT_EQ(first, "2026-12-03 08:05:00");
    ASSERT_FALSE(times.empty());
    for (size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i], times[i - 1] + 1);
    const std::vector<std::string> summary = Matching(run.lines, "summary ");
    ASSERT_EQ(summary.size(), 1u);
    std::smatch m;
    const std::regex summary_line("summary channel=1 frames=(\\d+) keys=(\\d+) pictures=(\\d+)");
    ASSERT_TRUE(std::regex_match(summary[0], m, summary_line));
    EXPECT_GE(std::stoi(m[1]), 15);
    EXPECT_LT(std::stoi(m[2]), std::stoi(m[1]));  // normal speed plays every frame
    EXPECT_EQ(m[3], m[1]);                          // and every one is shown
  }
}

TEST(CliPlayback, FastAndBackwardShowKeyPicturesAndTheEndIsReported) {
  SimProcess sim(DVRSIM_PATH, Recordings({}));
  ASSERT_FALSE(sim.base.empty());
  const std::regex kSummary("summary channel=1 frames=(\\d+) keys=(\\d+) pictures=(\\d+)");
  struct Case {
    std::vector<std::string> args;
    int step;  // seconds of the archive between consecutive pictures
    size_t at_least;
  } cases[] = {
      {{"--speed", "4"}, 1, 6},                // eight key pictures a second
      {{"--backward", "--speed", "3"}, -1, 3},  // four a second, backwards
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--at", "2026-12-03 08:05:00", "--seconds", "1", "--channels", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = Cli("play", sim, args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<int> times = ChannelOneTimes(run, nullptr);
    ASSERT_GE(times.size(), c.at_least);
    EXPECT_EQ(times[0], 8 * 3600 + 5 * 60);
    for (size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i], times[i - 1] + c.step);
    std::smatch m;
    const std::vector<std::string> summary = Matching(run.lines, "summary ");
    ASSERT_EQ(summary.size(), 1u);
    ASSERT_TRUE(std::regex_match(summary[0], m, kSummary));
    EXPECT_EQ(m[1], m[2]);  // key pictures only
    EXPECT_EQ(m[3], m[1]);
  }

  // Two seconds before the recording's end the DVR reports the end.
  CliRun run = Cli("play", sim, {"--at", "2026-12-03 08:09:58", "--seconds", "10", "--channels", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Matching(run.lines, "status "), (std::vector<std::string>{"status 57", "status 15"}));

  // A minute with nothing recorded: the language file's message, no playback.
  const std::string language = std::string(TAVREL_SOURCE_DIR) + "/Skin/Eng_QuorvantaString.ini";
  run = Cli("play", sim, {"--at", "2026-12-03 08:11:00", "--language-file", language});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("There is no recording at the selected time."), std::string::npos) << run.err;
  EXPECT_TRUE(Matching(run.lines, "playback ").empty());
}

}  // namespace
