// The logvista program itself: the command-line CSV export and its exit
// statuses, and the end on SIGTERM the client relies on at shutdown.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "log_fixture.h"
#include "support/process.h"

namespace {

using logvista_test::Log;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(LogvistaProgram, ExportsCsvFromTheCommandLine) {
  const std::string folder = logvista_test::FreshFolder("cli_export");
  Log(folder, 2026, 12, 6, 23, 59, "Motion", "Gate", "1", "late");
  Log(folder, 2026, 12, 7, 0, 1, "System", "Gate, north", " ", "say \"hi\"");
  Log(folder, 2026, 12, 7, 13, 0, "Motion", "Gate", "2", "afternoon");
  Log(folder, 2026, 12, 8, 0, 0, "Motion", "Gate", "3", "next day");
  const std::string out = ::testing::TempDir() + "/logvista_cli.csv";

  ChildProcess export_day(LOGVISTA_PATH, {folder, "--export-csv", out, "--from", "2026-12-07", "--to", "2026-12-07 13"});
  EXPECT_EQ(export_day.Wait(20000), 0) << export_day.Stderr();
  EXPECT_EQ(export_day.RestOfStdout(), std::vector<std::string>{"exported 2 " + out});
  EXPECT_EQ(ReadAll(out),
            "Time,Kind,DVR,Channel,Description\r\n"
            "2026/12/07 00:01:00,System,\"Gate, north\", ,\"say \"\"hi\"\"\"\r\n"
            "2026/12/07 13:00:00,Motion,Gate,2,afternoon\r\n");

  // A missing folder exports the header alone; it is no failure.
  ChildProcess missing(LOGVISTA_PATH, {folder + "/nowhere", "--export-csv", out});
  EXPECT_EQ(missing.Wait(20000), 0);
  EXPECT_EQ(ReadAll(out), "Time,Kind,DVR,Channel,Description\r\n");

  ChildProcess unwritable(LOGVISTA_PATH, {folder, "--export-csv", folder + "/no/such/folder.csv"});
  EXPECT_EQ(unwritable.Wait(20000), 1);
  ChildProcess bad_hour(LOGVISTA_PATH, {folder, "--export-csv", out, "--from", "2026-12-07 25"});
  EXPECT_EQ(bad_hour.Wait(20000), 2);
}

TEST(LogvistaProgram, EndsOnSigtermWithStatusZero) {
  const std::string folder = logvista_test::FreshFolder("cli_sigterm");
  Log(folder, 2026, 12, 7, 13, 0, "Motion", "Gate", "2", "afternoon");
  ChildProcess viewer(LOGVISTA_PATH, {folder});  // offscreen, from this test's environment
  ASSERT_EQ(viewer.WaitForLine("loaded", 20000), "loaded 1 events from " + folder) << viewer.Stderr();
  viewer.Signal(SIGTERM);
  EXPECT_EQ(viewer.Wait(10000), 0) << viewer.Stderr();
}

}  // namespace
