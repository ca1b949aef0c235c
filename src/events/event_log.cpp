#include "events/event_log.h"

#include "platform/profile.h"
#include "platform/user_folder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace events {
namespace {

constexpr char kLogSection[] = "LOG";
constexpr char kTotalKey[] = "TOTAL";

std::string RecordSection(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "LOG%04d", n);
  return name;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The record number of a section name "LOG<digits>" (any case), or -1.
int RecordNumberOf(std::string_view section) {
  if (section.size() < 4 || section.size() > 12) return -1;
  for (size_t i = 0; i < 3; ++i) {
    if ((section[i] | 0x20) != "log"[i]) return -1;
  }
  std::string_view digits = section.substr(3);
  if (!AllDigits(digits)) return -1;
  long long n = std::stoll(std::string(digits));
  return n > INT_MAX ? -1 : static_cast<int>(n);
}

// A decimal TOTAL value, or -1 when it is missing or not a number.
int ParseTotal(const std::string& value) {
  if (!AllDigits(value) || value.size() > 9) return -1;
  return std::stoi(value);
}

// Holds an exclusive lock on the event folder, so that appends from the
// client and from tavrel-cli (separate processes) never read the same TOTAL.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

// Appends within this process take turns as well (flock is per open file,
// so two threads with their own descriptors would both hold it otherwise).
std::mutex& AppendMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

std::string HourlyLogName(const std::tm& local) {
  char name[64];
  std::snprintf(name, sizeof name, "%04d%02d%02d%02d.ini", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour);
  return name;
}

bool AppendEventRecord(const std::string& event_folder, const EventRow& row, std::time_t when) {
  std::tm local{};
  if (::localtime_r(&when, &local) == nullptr) return false;
  if (!platform::MakeFolders(event_folder)) return false;
  const std::string path = event_folder + "/" + HourlyLogName(local);

  std::lock_guard<std::mutex> lock(AppendMutex());
  FolderLock folder_lock(event_folder);
  // The next record number follows TOTAL, and also every record present: a
  // file whose TOTAL was damaged or lowered by hand never has a record
  // overwritten.
  int next = 0;
  for (const std::string& section : platform::GetProfileSectionNames(path)) {
    const int number = RecordNumberOf(section);
    if (number >= 0) next = std::max(next, number == INT_MAX ? INT_MAX : number + 1);
  }
  next = std::max(next, ParseTotal(platform::GetProfileString(path, kLogSection, kTotalKey, "")));
  if (next == INT_MAX) return false;
  const std::string record = RecordSection(next);
  // [LOG] comes first in a new file, the records after it.
  return platform::WriteProfileStrings(path, {
                                                 {kLogSection, kTotalKey, std::to_string(next + 1)},
                                                 {record, "TIME", row.time},
                                                 {record, "TYPE", row.kind},
                                                 {record, "DVR", row.dvr},
                                                 {record, "CH", row.channel},
                                                 {record, "DESC", row.description},
                                             });
}

std::vector<LoggedEvent> ReadHourlyLog(const std::string& path) {
  std::vector<LoggedEvent> out;
  const size_t slash = path.find_last_of('/');
  const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  // Every record section present is read, whatever TOTAL says: a TOTAL that
  // is missing, damaged or too large must not hide or invent records.
  for (const platform::ProfileSection& section : platform::ReadProfileSections(path)) {
    const int number = RecordNumberOf(section.name);
    if (number < 0) continue;
    LoggedEvent e;
    e.row.time = section.Get("TIME");
    e.row.kind = section.Get("TYPE");
    e.row.dvr = section.Get("DVR");
    e.row.channel = section.Get("CH");
    e.row.description = section.Get("DESC");
    e.file = file;
    e.record = number;
    out.push_back(std::move(e));
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const LoggedEvent& a, const LoggedEvent& b) { return a.record < b.record; });
  return out;
}

int64_t HourOfLogName(const std::string& file_name) {
  if (file_name.size() != 14) return -1;
  const std::string digits = file_name.substr(0, 10);
  const std::string ext = file_name.substr(10);
  if (!AllDigits(digits)) return -1;
  if (ext.size() != 4 || ext[0] != '.' || (ext[1] | 0x20) != 'i' || (ext[2] | 0x20) != 'n' || (ext[3] | 0x20) != 'i') {
    return -1;
  }
  const int month = std::stoi(digits.substr(4, 2));
  const int day = std::stoi(digits.substr(6, 2));
  const int hour = std::stoi(digits.substr(8, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23) return -1;
  return std::stoll(digits);
}

std::vector<LoggedEvent> ReadEventFolder(const std::string& event_folder, int64_t from_hour, int64_t to_hour) {
  std::vector<std::pair<int64_t, std::string>> files;
  if (DIR* dir = ::opendir(event_folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      const int64_t hour = HourOfLogName(name);
      if (hour >= 0 && hour >= from_hour && hour <= to_hour) files.emplace_back(hour, name);
    }
    ::closedir(dir);
  }
  std::sort(files.begin(), files.end());

  std::vector<LoggedEvent> out;
  for (const auto& [hour, name] : files) {
    std::vector<LoggedEvent> records = ReadHourlyLog(event_folder + "/" + name);
    // Within an hour: by TIME, then by record number (equal seconds keep the
    // order they were written in).
    std::stable_sort(records.begin(), records.end(),
                     [](const LoggedEvent& a, const LoggedEvent& b) { return a.row.time < b.row.time; });
    for (LoggedEvent& e : records) out.push_back(std::move(e));
  }
  return out;
}

}  // namespace events
