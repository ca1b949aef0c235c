#include "logvista/log_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace logvista {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// -1, 0 or 1 comparing ASCII letters in either case as equal, then the bytes.
int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool ContainsText(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  if (needle.size() > haystack.size()) return false;
  for (size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && Lower(haystack[i + k]) == Lower(needle[k])) ++k;
    if (k == needle.size()) return true;
  }
  return false;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A channel's number for ordering: blanks before numbers, numbers by value,
// anything else after them by text.
int CompareChannel(std::string_view a, std::string_view b) {
  auto rank = [](std::string_view s, long long* value) {
    if (s.empty()) return 0;
    if (s.size() > 9 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) return 2;
    *value = std::stoll(std::string(s));
    return 1;
  };
  long long va = 0, vb = 0;
  const int ra = rank(a, &va), rb = rank(b, &vb);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (ra == 1 && va != vb) return va < vb ? -1 : 1;
  return CompareText(a, b);
}

// Time order: the file's hour, the file (two names of one hour differ only
// in the case of ".ini"), the TIME text, the record number.
int CompareTime(const Entry& a, const Entry& b) {
  if (a.hour != b.hour) return a.hour < b.hour ? -1 : 1;
  if (int c = a.file.compare(b.file); c != 0) return c < 0 ? -1 : 1;
  if (int c = a.row.time.compare(b.row.time); c != 0) return c < 0 ? -1 : 1;
  if (a.record != b.record) return a.record < b.record ? -1 : 1;
  return 0;
}

int CompareIn(const Entry& a, const Entry& b, Column column) {
  switch (column) {
    case Column::kTime:
      return 0;
    case Column::kChannel:
      return CompareChannel(ColumnText(a, column), ColumnText(b, column));
    default:
      return CompareText(ColumnText(a, column), ColumnText(b, column));
  }
}

std::vector<std::string> Distinct(const std::vector<const Entry*>& entries, Column column) {
  std::set<std::string_view> seen;
  for (const Entry* e : entries) seen.insert(ColumnText(*e, column));
  std::vector<std::string> values(seen.begin(), seen.end());
  std::sort(values.begin(), values.end(), [column](const std::string& a, const std::string& b) {
    return column == Column::kChannel ? CompareChannel(a, b) < 0 : CompareText(a, b) < 0;
  });
  return values;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

std::string_view ColumnText(const Entry& entry, Column column) {
  switch (column) {
    case Column::kTime:
      return entry.row.time;
    case Column::kKind:
      return entry.row.kind;
    case Column::kDvr:
      return entry.row.dvr;
    case Column::kChannel:
      return Trimmed(entry.row.channel);
    case Column::kDescription:
      return entry.row.description;
  }
  return {};
}

bool Matches(const Entry& entry, const Filter& filter) {
  if (entry.hour < filter.from_hour || entry.hour > filter.to_hour) return false;
  if (filter.kind && entry.row.kind != *filter.kind) return false;
  if (filter.dvr && entry.row.dvr != *filter.dvr) return false;
  if (filter.channel && ColumnText(entry, Column::kChannel) != *filter.channel) return false;
  if (filter.text.empty()) return true;
  for (int c = 0; c < kColumnCount; ++c) {
    if (ContainsText(ColumnText(entry, static_cast<Column>(c)), filter.text)) return true;
  }
  return false;
}

void SortRows(std::vector<const Entry*>& rows, const Order& order) {
  std::stable_sort(rows.begin(), rows.end(), [&order](const Entry* a, const Entry* b) {
    int c = CompareIn(*a, *b, order.column);
    if (c == 0) c = CompareTime(*a, *b);
    return order.descending ? c > 0 : c < 0;
  });
}

RefreshResult EventStore::Refresh() {
  RefreshResult result;
  DIR* dir = ::opendir(folder_.c_str());
  if (dir == nullptr) {
    // A folder that is missing (or went away) holds no records.
    result.changed = !entries_.empty();
    if (result.changed) ++generation_;
    files_.clear();
    entries_.clear();
    return result;
  }
  result.folder_present = true;
  std::set<std::string> present;
  while (dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    if (events::HourOfLogName(name) < 0) continue;
    const std::string path = folder_ + "/" + name;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    present.insert(name);
    const int64_t mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    auto it = files_.find(name);
    if (it != files_.end() && it->second.size == st.st_size && it->second.mtime_ns == mtime_ns &&
        it->second.inode == st.st_ino) {
      continue;
    }
    FileState state;
    state.size = st.st_size;
    state.mtime_ns = mtime_ns;
    state.inode = st.st_ino;
    // The reader gives no failure of its own, so a file it could not open
    // is found here and reported rather than shown as an empty hour.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      result.notes.push_back("cannot read " + path + ": " + std::strerror(errno));
    } else {
      ::close(fd);
      state.readable = true;
      const int64_t hour = events::HourOfLogName(name);
      for (events::LoggedEvent& logged : events::ReadHourlyLog(path)) {
        state.entries.push_back(Entry{std::move(logged.row), name, logged.record, hour});
      }
      std::stable_sort(state.entries.begin(), state.entries.end(),
                       [](const Entry& a, const Entry& b) { return CompareTime(a, b) < 0; });
    }
    const bool had_entries = it != files_.end() && !it->second.entries.empty();
    if (had_entries || !state.entries.empty()) result.changed = true;
    files_[name] = std::move(state);
  }
  ::closedir(dir);
  for (auto it = files_.begin(); it != files_.end();) {
    if (present.count(it->first) == 0) {
      if (!it->second.entries.empty()) result.changed = true;
      it = files_.erase(it);
    } else {
      ++it;
    }
  }
  if (result.changed) {
    ++generation_;
    entries_.clear();
    for (const auto& [name, state] : files_) {
      for (const Entry& e : state.entries) entries_.push_back(&e);
    }
  }
  return result;
}

std::vector<const Entry*> EventStore::Select(const Filter& filter, const Order& order) const {
  std::vector<const Entry*> rows;
  for (const Entry* e : entries_) {
    if (Matches(*e, filter)) rows.push_back(e);
  }
  // The records are kept in time order, which is the usual view.
  if (order.column == Column::kTime) {
    if (order.descending) std::reverse(rows.begin(), rows.end());
  } else {
    SortRows(rows, order);
  }
  return rows;
}

std::vector<std::string> EventStore::Kinds() const { return Distinct(entries_, Column::kKind); }
std::vector<std::string> EventStore::Dvrs() const { return Distinct(entries_, Column::kDvr); }
std::vector<std::string> EventStore::Channels() const { return Distinct(entries_, Column::kChannel); }

int EventStore::UnreadableFiles() const {
  return static_cast<int>(std::count_if(files_.begin(), files_.end(), [](const auto& f) { return !f.second.readable; }));
}

CalendarIndex EventStore::Calendar(const Filter& filter) const {
  Filter any_hour = filter;
  any_hour.from_hour = 0;
  any_hour.to_hour = INT64_MAX;
  CalendarIndex index;
  for (const Entry* e : entries_) {
    if (Matches(*e, any_hour)) ++index[static_cast<int>(e->hour / 100)][static_cast<int>(e->hour % 100)];
  }
  return index;
}

std::optional<int64_t> ParseHourArgument(std::string_view text, bool end_of_day) {
  auto number = [&text](size_t at, size_t len) -> int {
    if (at + len > text.size()) return -1;
    int v = 0;
    for (size_t i = at; i < at + len; ++i) {
      if (text[i] < '0' || text[i] > '9') return -1;
      v = v * 10 + (text[i] - '0');
    }
    return v;
  };
  if (text.size() != 10 && text.size() != 13) return std::nullopt;
  if (text[4] != '-' || text[7] != '-') return std::nullopt;
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  int hour = end_of_day ? 23 : 0;
  if (text.size() == 13) {
    if (text[10] != ' ') return std::nullopt;
    hour = number(11, 2);
  }
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || month < 1 || month > 12 || hour < 0 || hour > 23 || day < 1) return std::nullopt;
  if (day > kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0)) return std::nullopt;
  return ((static_cast<int64_t>(year) * 100 + month) * 100 + day) * 100 + hour;
}

}  // namespace logvista
