#include "events/event_log.h"

#include "platform/profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using events::AppendEventRecord;
using events::EventRow;
using events::ReadEventFolder;
using events::ReadHourlyLog;

namespace {

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    std::string tmpl = ::testing::TempDir() + "event_log_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    folder_ = root_ + "/event";
  }
  void TearDown() override { fs::remove_all(root_); }

  // 2026-12-07 13:00:00 UTC plus seconds.
  static std::time_t At(int seconds) { return 1796648400 + seconds; }
  static EventRow Row(const std::string& desc, const std::string& channel = "1") {
    return EventRow{"2026/12/07 13:00:00", "Motion", "DVR A", channel, desc};
  }
  std::string File(const std::string& name) const { return folder_ + "/" + name; }

  std::string root_;
  std::string folder_;
};

TEST_F(EventLogTest, RecordsOfOneHourCountUpFromZeroInAFolderMadeOnDemand) {
  ASSERT_TRUE(AppendEventRecord(folder_, Row("first"), At(5)));
  const std::string path = File("2026120713.ini");
  EXPECT_EQ(platform::GetProfileString(path, "LOG", "TOTAL", ""), "1");
  EXPECT_EQ(platform::GetProfileString(path, "LOG0000", "DESC", ""), "first");

  ASSERT_TRUE(AppendEventRecord(folder_, Row("second", " "), At(6)));
  EXPECT_EQ(platform::GetProfileString(path, "LOG", "TOTAL", ""), "2");
  // A row without a channel keeps its single blank.
  EXPECT_EQ(platform::GetProfileString(path, "LOG0001", "CH", "missing"), " ");
  auto records = ReadHourlyLog(path);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].record, 1);
  EXPECT_EQ(records[1].row.channel, " ");
  EXPECT_EQ(records[1].row.kind, "Motion");
  EXPECT_EQ(records[1].row.dvr, "DVR A");
  EXPECT_EQ(records[1].file, "2026120713.ini");
}

TEST_F(EventLogTest, QuickEventsAcrossTheHourEachLandInTheirOwnHour) {
  // 50 events 2 ms apart around 14:00:00; the hour comes from each event's
  // own time, not from when it is written.
  int in_13 = 0;
  for (int i = 0; i < 50; ++i) {
    const std::time_t when = At(3600 - 25 + i / 2);  // 13:59:35 ... 14:00:24
    if (when < At(3600)) ++in_13;
    ASSERT_TRUE(AppendEventRecord(folder_, Row("e" + std::to_string(i)), when));
  }
  EXPECT_EQ(ReadHourlyLog(File("2026120713.ini")).size(), static_cast<size_t>(in_13));
  EXPECT_EQ(ReadHourlyLog(File("2026120714.ini")).size(), static_cast<size_t>(50 - in_13));
  EXPECT_EQ(platform::GetProfileInt(File("2026120714.ini"), "LOG", "TOTAL", 0), 50 - in_13);
  auto all = ReadEventFolder(folder_, 0, INT64_MAX);
  ASSERT_EQ(all.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(all[i].row.description, "e" + std::to_string(i));
}

TEST_F(EventLogTest, TextsWithLineBreaksStayOneRecord) {
  EventRow row = Row("disk full\r\n[LOG0005]\nTOTAL=99");
  row.dvr = "DVR\nB";
  ASSERT_TRUE(AppendEventRecord(folder_, row, At(0)));
  const std::string path = File("2026120713.ini");
  EXPECT_EQ(platform::GetProfileSectionNames(path), (std::vector<std::string>{"LOG", "LOG0000"}));
  EXPECT_EQ(platform::GetProfileInt(path, "LOG", "TOTAL", 0), 1);
  auto records = ReadHourlyLog(path);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].row.dvr, "DVR B");
}

TEST_F(EventLogTest, AppendsFromSeveralThreadsNeverShareARecordNumber) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < 10; ++i) AppendEventRecord(folder_, Row(std::to_string(t * 10 + i)), At(1));
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(ReadHourlyLog(File("2026120713.ini")).size(), 40u);
  EXPECT_EQ(platform::GetProfileInt(File("2026120713.ini"), "LOG", "TOTAL", 0), 40);
}

TEST_F(EventLogTest, DamagedFilesGiveTheRecordsThatExist) {
  fs::create_directories(folder_);
  // TOTAL too large, a record with a missing key, a gap in the numbers.
  std::ofstream(File("2026120713.ini")) << "[LOG]\nTOTAL=9\n[LOG0000]\nTIME=2026/12/07 13:00:02\nTYPE=Sensor\n"
                                           "[LOG0002]\nTIME=2026/12/07 13:00:01\nDESC=x\n";
  // TOTAL not a number; no [LOG] at all.
  std::ofstream(File("2026120712.ini")) << "[LOG]\nTOTAL=abc\n[LOG0000]\nTIME=2026/12/07 12:00:00\n";
  std::ofstream(File("2026120711.ini")) << "[LOG0000]\nTIME=2026/12/07 11:00:00\n";
  std::ofstream(File("notes.ini")) << "[LOG0000]\nTIME=x\n";
  std::ofstream(File("2026121399.ini")) << "[LOG0000]\nTIME=x\n";

  auto h13 = ReadHourlyLog(File("2026120713.ini"));
  ASSERT_EQ(h13.size(), 2u);
  EXPECT_EQ(h13[0].row.kind, "Sensor");
  EXPECT_EQ(h13[0].row.description, "");
  EXPECT_EQ(h13[1].record, 2);

  auto all = ReadEventFolder(folder_, 0, INT64_MAX);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].file, "2026120711.ini");
  EXPECT_EQ(all[1].file, "2026120712.ini");
  EXPECT_EQ(all[2].row.time, "2026/12/07 13:00:01");  // by TIME within the hour
  EXPECT_EQ(ReadEventFolder(folder_, 2026120712, 2026120712).size(), 1u);
  EXPECT_TRUE(ReadEventFolder(root_ + "/none", 0, INT64_MAX).empty());

  // Appending to a damaged file never overwrites a record that is there.
  ASSERT_TRUE(AppendEventRecord(folder_, Row("new"), At(0)));
  EXPECT_EQ(platform::GetProfileString(File("2026120712.ini"), "LOG0000", "TIME", ""), "2026/12/07 12:00:00");
  ASSERT_TRUE(AppendEventRecord(folder_, Row("new"), At(-7200)));
  EXPECT_EQ(platform::GetProfileString(File("2026120711.ini"), "LOG0000", "TIME", ""), "2026/12/07 11:00:00");
  EXPECT_EQ(platform::GetProfileString(File("2026120711.ini"), "LOG0001", "DESC", ""), "new");
  EXPECT_EQ(platform::GetProfileInt(File("2026120711.ini"), "LOG", "TOTAL", 0), 2);
}

}  // namespace
