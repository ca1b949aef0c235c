// The hourly event log: one profile file per hour in the user folder's
// "event" folder, named "YYYYMMDDHH.ini", with the record count under
// [LOG] TOTAL and each record in its own section [LOG%04d] (record number
// from 0) holding TIME, TYPE, DVR, CH and DESC, the five columns of the
// event list. The client appends; the viewer and the CLI read, tolerating
// damaged files.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace events {

// One row of the event list, as it is shown and logged.
struct EventRow {
  std::string time;         // "%Y/%m/%d %H:%M:%S", local time the event was handled
  std::string kind;         // the kind text (or "NULL")
  std::string dvr;          // DVR name
  std::string channel;      // "%d" (channel index + 1) or a single blank
  std::string description;  // description text
};

// The hourly file name for a local time: "%04d%02d%02d%02d.ini".
std::string HourlyLogName(const std::tm& local);

// Appends one record to the file of the hour of `when` (local time) in
// `event_folder`, creating the folder when it is missing. All keys of the
// record and the new TOTAL are written in one file update. Returns false
// when the record could not be stored.
bool AppendEventRecord(const std::string& event_folder, const EventRow& row, std::time_t when);

// A record read back from a log file.
struct LoggedEvent {
  EventRow row;
  std::string file;  // file name without folder ("2026120713.ini")
  int record = 0;    // record number within the file
};

// Reads one hourly file read-only. A damaged file gives what can be read:
// a missing key is an empty text; a TOTAL that is missing, not a number or
// larger than the sections present reads the records that exist.
std::vector<LoggedEvent> ReadHourlyLog(const std::string& path);

// Every hourly file of the folder whose hour lies in [from_hour, to_hour]
// (hours as YYYYMMDDHH numbers; pass 0 and INT64_MAX for all), records in
// time order (by file hour, then TIME, then record number). Files whose
// names are not hourly log names are skipped.
std::vector<LoggedEvent> ReadEventFolder(const std::string& event_folder, int64_t from_hour, int64_t to_hour);

// The hour number (YYYYMMDDHH) of an hourly file name, or -1 when the name
// is not one.
int64_t HourOfLogName(const std::string& file_name);

}  // namespace events
