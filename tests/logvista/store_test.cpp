// The viewer's rules without a window: loading generated and damaged hourly
// files, filters, orders, the calendar, CSV and following appends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "log_fixture.h"
#include "logvista/csv_export.h"
#include "logvista/log_store.h"

namespace {

using logvista::Column;
using logvista::Entry;
using logvista::EventStore;
using logvista::Filter;
using logvista::Order;
using logvista_test::Log;
using logvista_test::WriteFile;

std::vector<std::string> Descriptions(const std::vector<const Entry*>& rows) {
  std::vector<std::string> out;
  for (const Entry* e : rows) out.push_back(e->row.description);
  return out;
}

// Two days: three records at 13h on the 7th from two DVRs, one at 9h on the
// 6th, and one on the 7th at 14h.
std::string SampleFolder(const std::string& name) {
  const std::string folder = logvista_test::FreshFolder(name);
  Log(folder, 2026, 12, 6, 9, 15, "Video loss", "Gate", "10", "lost");
  Log(folder, 2026, 12, 7, 13, 1, "Motion", "Lobby DVR", "2", "Motion begins");
  Log(folder, 2026, 12, 7, 13, 5, "System", "Lobby DVR", " ", "Disk \"A\", full");
  Log(folder, 2026, 12, 7, 13, 9, "Sensor", "Gate", "10", "Sensor on");
  Log(folder, 2026, 12, 7, 14, 0, "Motion", "gate", "1", "Motion ends");
  return folder;
}

TEST(LogvistaStore, ReadsGeneratedAndDamagedFilesInTimeOrder) {
  const std::string folder = SampleFolder("damaged");
  // Missing keys, a TOTAL beyond the sections present, a TOTAL that is no
  // number, and names that are not hourly logs.
  WriteFile(folder + "/2026120802.ini", "[LOG]\nTOTAL=40\n[LOG0000]\nTIME=2026/12/08 02:10:00\nDVR=Yard\n");
  WriteFile(folder + "/2026120803.ini", "[LOG]\nTOTAL=x7\n[LOG0000]\nTIME=2026/12/08 03:00:00\nTYPE=System\nDESC=boot\n");
  WriteFile(folder + "/notes.ini", "[LOG]\nTOTAL=1\n[LOG0000]\nDESC=not a log\n");
  WriteFile(folder + "/2026120713.ini.bak", "[LOG]\nTOTAL=1\n[LOG0000]\nDESC=backup\n");
  std::filesystem::create_directory(folder + "/2026120804.ini");

  EventStore store(folder);
  const logvista::RefreshResult result = store.Refresh();
  EXPECT_TRUE(result.folder_present);
  EXPECT_TRUE(result.changed);
  EXPECT_TRUE(result.notes.empty());
  EXPECT_EQ(Descriptions(store.Select(Filter{}, Order{Column::kTime, false})),
            (std::vector<std::string>{"lost", "Motion begins", "Disk \"A\", full", "Sensor on", "Motion ends", "", "boot"}));
  const Entry& damaged = *store.entries()[5];
  EXPECT_EQ(damaged.file, "2026120802.ini");
  EXPECT_EQ(damaged.row.dvr, "Yard");
  EXPECT_EQ(damaged.row.kind, "");
  EXPECT_EQ(damaged.hour, 2026120802);
  EXPECT_EQ(store.UnreadableFiles(), 0);

  // A second look at an unchanged folder reads nothing and changes nothing.
  EXPECT_FALSE(store.Refresh().changed);

  // A missing folder is an empty store, not a failure.
  EventStore missing(folder + "/nowhere");
  const logvista::RefreshResult none = missing.Refresh();
  EXPECT_FALSE(none.folder_present);
  EXPECT_TRUE(missing.entries().empty());
}

TEST(LogvistaStore, UnreadableFileIsNotedOnceAndSkipped) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  const std::string folder = SampleFolder("unreadable");
  WriteFile(folder + "/2026120901.ini", "[LOG]\nTOTAL=1\n[LOG0000]\nDESC=secret\n");
  std::filesystem::permissions(folder + "/2026120901.ini", std::filesystem::perms::none);
  EventStore store(folder);
  const logvista::RefreshResult first = store.Refresh();
  ASSERT_EQ(first.notes.size(), 1u);
  EXPECT_NE(first.notes[0].find("2026120901.ini"), std::string::npos);
  EXPECT_EQ(store.entries().size(), 5u);
  EXPECT_EQ(store.UnreadableFiles(), 1);
  EXPECT_TRUE(store.Refresh().notes.empty());
}

TEST(LogvistaStore, FiltersAndCalendar) {
  EventStore store(SampleFolder("filters"));
  store.Refresh();
  const Order oldest_first{Column::kTime, false};
  auto select = [&](const Filter& f) { return Descriptions(store.Select(f, oldest_first)); };

  Filter by_kind;
  by_kind.kind = "Motion";
  EXPECT_EQ(select(by_kind), (std::vector<std::string>{"Motion begins", "Motion ends"}));
  Filter by_dvr;
  by_dvr.dvr = "Gate";  // exactly: "gate" is another name
  EXPECT_EQ(select(by_dvr), (std::vector<std::string>{"lost", "Sensor on"}));
  Filter no_channel;
  no_channel.channel = "";
  EXPECT_EQ(select(no_channel), (std::vector<std::string>{"Disk \"A\", full"}));
  Filter channel_ten;
  channel_ten.channel = "10";
  channel_ten.text = "SENSOR";  // any column, either case
  EXPECT_EQ(select(channel_ten), (std::vector<std::string>{"Sensor on"}));
  Filter one_hour;
  one_hour.from_hour = one_hour.to_hour = 2026120713;
  EXPECT_EQ(select(one_hour).size(), 3u);

  EXPECT_EQ(store.Kinds(), (std::vector<std::string>{"Motion", "Sensor", "System", "Video loss"}));
  EXPECT_EQ(store.Channels(), (std::vector<std::string>{"", "1", "2", "10"}));

  // The calendar follows the other filters and ignores the hour range.
  EXPECT_EQ(store.Calendar(one_hour),
            (logvista::CalendarIndex{{20261206, {{9, 1}}}, {20261207, {{13, 3}, {14, 1}}}}));
  EXPECT_EQ(store.Calendar(by_kind), (logvista::CalendarIndex{{20261207, {{13, 1}, {14, 1}}}}));
}

TEST(LogvistaStore, Orders) {
  EventStore store(SampleFolder("orders"));
  store.Refresh();
  EXPECT_EQ(Descriptions(store.Select(Filter{}, Order{})),
            (std::vector<std::string>{"Motion ends", "Sensor on", "Disk \"A\", full", "Motion begins", "lost"}));
  // Channels by number, blanks first; equal channels keep time order.
  EXPECT_EQ(Descriptions(store.Select(Filter{}, Order{Column::kChannel, false})),
            (std::vector<std::string>{"Disk \"A\", full", "Motion ends", "Motion begins", "lost", "Sensor on"}));
  EXPECT_EQ(Descriptions(store.Select(Filter{}, Order{Column::kDvr, true})),
            (std::vector<std::string>{"Disk \"A\", full", "Motion begins", "Motion ends", "Sensor on", "lost"}));
}

TEST(LogvistaStore, CsvExport) {
  EventStore store(SampleFolder("csv"));
  store.Refresh();
  Filter lobby;
  lobby.dvr = "Lobby DVR";
  const auto rows = store.Select(lobby, Order{Column::kTime, false});
  const std::string expected =
      "Time,Kind,DVR,Channel,Description\r\n"
      "2026/12/07 13:01:00,Motion,Lobby DVR,2,Motion begins\r\n"
      "2026/12/07 13:05:00,System,Lobby DVR, ,\"Disk \"\"A\"\", full\"\r\n";
  EXPECT_EQ(logvista::CsvDocument(rows), expected);
  EXPECT_EQ(logvista::CsvField("two\r\nlines"), "\"two\r\nlines\"");
  EXPECT_FALSE(logvista::WriteCsvFile(::testing::TempDir() + "/no/such/folder/x.csv", rows));
}

TEST(LogvistaStore, RefreshFollowsTheFolder) {
  const std::string folder = logvista_test::FreshFolder("refresh");
  EventStore store(folder + "/event");
  EXPECT_FALSE(store.Refresh().folder_present);

  Log(folder + "/event", 2026, 12, 7, 13, 1, "Motion", "Lobby DVR", "2", "first");
  logvista::RefreshResult r = store.Refresh();
  EXPECT_TRUE(r.folder_present && r.changed);
  ASSERT_EQ(store.entries().size(), 1u);

  Log(folder + "/event", 2026, 12, 7, 13, 2, "Motion", "Lobby DVR", "2", "second");
  Log(folder + "/event", 2026, 12, 7, 15, 0, "Motion", "Lobby DVR", "2", "third");
  EXPECT_TRUE(store.Refresh().changed);
  EXPECT_EQ(Descriptions(store.Select(Filter{}, Order{})), (std::vector<std::string>{"third", "second", "first"}));
  EXPECT_EQ(store.entries()[1]->Key(), (logvista::EntryKey{"2026120713.ini", 1}));

  std::filesystem::remove(folder + "/event/2026120713.ini");
  EXPECT_TRUE(store.Refresh().changed);
  EXPECT_EQ(Descriptions(store.Select(Filter{}, Order{})), (std::vector<std::string>{"third"}));
}

TEST(LogvistaStore, HourArguments) {
  EXPECT_EQ(logvista::ParseHourArgument("2024-02-29 13", false), 2024022913);
  EXPECT_EQ(logvista::ParseHourArgument("2026-12-07", true), 2026120723);
  for (const char* bad : {"2026-02-29", "2026-12-07 24", "2026-13-01", "2026/12/07", "2026-12-07 1x"}) {
    EXPECT_FALSE(logvista::ParseHourArgument(bad, false)) << bad;
  }
}

}  // namespace
