// The viewer's picture of an event folder: every record of its hourly log
// files, kept up to date file by file, with the filters, the orders and the
// calendar of days and hours that the window shows. Qt-free, so that the
// command-line export and the tests follow the same rules as the window.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "events/event_log.h"

namespace logvista {

// Names a record for as long as its file keeps it: the file name and the
// record number. Used to keep the selection across refreshes.
using EntryKey = std::pair<std::string, int>;

// One logged record and the file it came from.
struct Entry {
  events::EventRow row;
  std::string file;  // file name without folder ("2026120713.ini")
  int record = 0;    // record number within the file
  int64_t hour = 0;  // the file's hour, YYYYMMDDHH

  EntryKey Key() const { return {file, record}; }
};

enum class Column { kTime = 0, kKind, kDvr, kChannel, kDescription };
inline constexpr int kColumnCount = 5;

// The column's value of a row; the channel without surrounding blanks.
std::string_view ColumnText(const Entry& entry, Column column);

// What a row has to match to be shown. An unset choice matches every row.
struct Filter {
  std::optional<std::string> kind;     // kind text, exactly
  std::optional<std::string> dvr;      // DVR name, exactly
  std::optional<std::string> channel;  // channel without surrounding blanks; "" for rows without one
  std::string text;                    // found in any column, ASCII letters in either case; "" matches all
  int64_t from_hour = 0;               // the file's hour lies in [from_hour, to_hour]
  int64_t to_hour = INT64_MAX;
};

bool Matches(const Entry& entry, const Filter& filter);

struct Order {
  Column column = Column::kTime;
  bool descending = true;  // newest first
};

// Days (YYYYMMDD) holding records, each with its hours (0..23) and the number
// of records of that hour.
using CalendarIndex = std::map<int, std::map<int, int>>;

struct RefreshResult {
  bool folder_present = false;     // the folder exists and can be listed
  bool changed = false;            // records came, went or changed
  std::vector<std::string> notes;  // what could not be read, one line each
};

class EventStore {
 public:
  explicit EventStore(std::string folder) : folder_(std::move(folder)) {}

  const std::string& folder() const { return folder_; }

  // Brings the store up to date with the folder: reads the hourly files that
  // are new or whose size, modification time or inode changed since the last
  // call, and forgets files that went away. Files are only opened for
  // reading. A file that cannot be opened contributes no records and gives
  // one note until it changes again; names that are not hourly log names and
  // anything but regular files are passed over.
  RefreshResult Refresh();

  // Every record in time order: by file hour, then file, then TIME, then
  // record number. The pointers stay valid until the next Refresh.
  const std::vector<const Entry*>& entries() const { return entries_; }
  // Counts the refreshes that changed the records (and so the pointers).
  uint64_t generation() const { return generation_; }

  // The records matching filter in the given order; rows equal in the
  // order's column follow time in the same direction.
  std::vector<const Entry*> Select(const Filter& filter, const Order& order) const;

  // The distinct kinds, DVR names and channels (without surrounding blanks)
  // of all records: texts in ASCII-case-insensitive order, channels by number
  // with the empty one first.
  std::vector<std::string> Kinds() const;
  std::vector<std::string> Dvrs() const;
  std::vector<std::string> Channels() const;

  // The days and hours holding records that match filter, whatever its hour
  // range says.
  CalendarIndex Calendar(const Filter& filter) const;

  // How many hourly files could not be opened at the last Refresh.
  int UnreadableFiles() const;

 private:
  struct FileState {
    off_t size = 0;
    int64_t mtime_ns = 0;
    ino_t inode = 0;
    bool readable = false;
    std::vector<Entry> entries;  // by TIME, then record number
  };

  std::string folder_;
  std::map<std::string, FileState> files_;  // by name, which is hour order
  // The files' records one after the other, so a refresh that reads one
  // file neither copies nor sorts the others.
  std::vector<const Entry*> entries_;
  uint64_t generation_ = 0;
};

// Sorts rows by order; rows equal in the order's column follow time in the
// same direction (newest first when descending).
void SortRows(std::vector<const Entry*>& rows, const Order& order);

// An hour given on the command line: "YYYY-MM-DD HH" or "YYYY-MM-DD" (then
// hour 0, or hour 23 when end_of_day), as YYYYMMDDHH; nothing when the text
// is not a valid date and hour.
std::optional<int64_t> ParseHourArgument(std::string_view text, bool end_of_day);

}  // namespace logvista
