// Event folders for the viewer's tests: records appended the way the client
// appends them, and hand-written files for damage the client never writes.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "events/event_log.h"

namespace logvista_test {

// A fresh, empty folder below the test temporary folder.
inline std::string FreshFolder(const std::string& name) {
  const std::string folder = ::testing::TempDir() + "/logvista_" + name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// Appends a record handled at the given local time (seconds 0).
inline void Log(const std::string& folder, int year, int month, int day, int hour, int minute, const std::string& kind,
                const std::string& dvr, const std::string& channel, const std::string& description) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_isdst = -1;
  char time_text[32];
  std::snprintf(time_text, sizeof time_text, "%04d/%02d/%02d %02d:%02d:00", year, month, day, hour, minute);
  ASSERT_TRUE(events::AppendEventRecord(folder, events::EventRow{time_text, kind, dvr, channel, description},
                                        std::mktime(&local)));
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace logvista_test
