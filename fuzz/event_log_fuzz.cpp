// Feeds arbitrary bytes as an hourly event log file to the reader and to an
// append. Checked: the reader takes what it can without failing, and an
// append adds exactly one record and keeps every record that was there,
// whatever the file's TOTAL and sections claim.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "events/event_log.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "event_log_fuzz: %s\n", what);
    std::abort();
  }
}

const std::string& Folder() {
  static const std::string folder = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(base) + "/event_log_fuzz." + std::to_string(getpid());
  }();
  return folder;
}

bool Same(const events::LoggedEvent& a, const events::LoggedEvent& b) {
  return a.record == b.record && a.row.time == b.row.time && a.row.kind == b.row.kind && a.row.dvr == b.row.dvr &&
         a.row.channel == b.row.channel && a.row.description == b.row.description;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A fixed moment; the file is named by its local hour as an append names it.
  const std::time_t when = 1796649000;
  std::tm local{};
  localtime_r(&when, &local);
  const std::string path = Folder() + "/" + events::HourlyLogName(local);
  std::remove(path.c_str());
  std::remove(Folder().c_str());
  ::mkdir(Folder().c_str(), 0700);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  const std::vector<events::LoggedEvent> before = events::ReadHourlyLog(path);
  events::EventRow row{"2026/12/07 13:30:00", "Motion", "DVR\r\n[LOG0000]", " ", "text\nTOTAL=0"};
  if (!events::AppendEventRecord(Folder(), row, when)) return 0;  // a record number that cannot grow
  const std::vector<events::LoggedEvent> after = events::ReadHourlyLog(path);
  Check(after.size() == before.size() + 1, "an append did not add exactly one record");
  for (const events::LoggedEvent& old : before) {
    bool kept = false;
    for (const events::LoggedEvent& now : after) kept = kept || Same(old, now);
    Check(kept, "an append changed or lost a record");
  }
  return 0;
}
