#include "dvrsim/archive.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "dvrsim/sim_config.h"

namespace dvrsim {
namespace {

constexpr int64_t kDay = 86400;

int64_t FloorDay(int64_t t) { return t - ((t % kDay) + kDay) % kDay; }

}  // namespace

int64_t ZoneSeconds(int year, int month, int day, int hour, int minute, int second) {
  tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  return static_cast<int64_t>(timegm(&fields));
}

Archive::Archive(std::vector<ArchiveSegment> segments, int64_t zone_offset_s)
    : segments_(std::move(segments)), zone_offset_s_(zone_offset_s) {
  segments_.erase(std::remove_if(segments_.begin(), segments_.end(),
                                 [](const ArchiveSegment& s) { return s.end <= s.start || s.channels == 0; }),
                  segments_.end());
  std::sort(segments_.begin(), segments_.end(),
            [](const ArchiveSegment& a, const ArchiveSegment& b) { return a.start < b.start; });
}

std::vector<ArchiveSegment> Archive::DefaultPattern(int days, int64_t now_utc, int64_t zone_offset_s,
                                                    int channels) {
  const uint16_t all = static_cast<uint16_t>(channels >= 16 ? 0xFFFF : (1u << channels) - 1);
  const uint16_t even = all & 0x5555;
  const uint16_t odd = all & 0xAAAA;
  const int64_t today = FloorDay(now_utc + zone_offset_s);  // DVR-zone midnight
  std::vector<ArchiveSegment> out;
  for (int d = days; d >= 1; --d) {
    const int64_t midnight = today - d * kDay - zone_offset_s;  // in UTC
    auto at = [&](int h, int m) { return midnight + h * 3600 + m * 60; };
    out.push_back({at(8, 0), at(12, 30), even});
    if (odd != 0) out.push_back({at(8, 0), at(12, 0), odd});
    out.push_back({at(13, 15), at(18, 0), all});
    if (d == 1) out.push_back({at(22, 30), at(25, 0), static_cast<uint16_t>(all & 0x0003)});
  }
  return out;
}

Archive Archive::FromConfig(const SimConfig& config, int64_t now_utc) {
  const int64_t offset = int64_t{config.timezone_seconds} + (config.daylight ? 3600 : 0);
  const uint16_t all = static_cast<uint16_t>(config.channels >= 16 ? 0xFFFF : (1u << config.channels) - 1);
  if (!config.archive_segments.empty()) {
    std::vector<ArchiveSegment> segments = config.archive_segments;
    for (ArchiveSegment& s : segments) {
      s.start -= offset;
      s.end -= offset;
      s.channels &= all;
    }
    return Archive(std::move(segments), offset);
  }
  return Archive(DefaultPattern(config.archive_days, now_utc, offset, config.channels), offset);
}

std::vector<Bytes> Archive::MonthAnswer() const {
  std::vector<int64_t> days;  // DVR-zone midnights
  for (const ArchiveSegment& s : segments_) {
    for (int64_t d = FloorDay(s.start + zone_offset_s_); d < s.end + zone_offset_s_; d += kDay) days.push_back(d);
  }
  std::sort(days.begin(), days.end());
  days.erase(std::unique(days.begin(), days.end()), days.end());
  if (days.size() > 0xFFFF) days.resize(0xFFFF);  // what a u16 total can count
  std::vector<Bytes> out;
  const size_t total = days.size();
  size_t next = 0;
  do {
    const size_t n = std::min<size_t>(kMonthItemsPerMessage, total - next);
    PayloadWriter w;
    w.U16(static_cast<uint16_t>(total)).U16(static_cast<uint16_t>(n)).Zeros(4);
    for (size_t i = 0; i < n; ++i) {
      const time_t t = static_cast<time_t>(days[next + i]);
      tm f{};
      gmtime_r(&t, &f);
      w.U16(static_cast<uint16_t>(f.tm_year + 1900)).U16(static_cast<uint16_t>(f.tm_mon + 1));
      w.U16(static_cast<uint16_t>(f.tm_mday)).U16(0);
    }
    out.push_back(w.Take());
    next += n;
  } while (next < total);
  return out;
}

std::vector<Bytes> Archive::DayAnswer(int year, int month, int day) const {
  struct Item {
    int channel;
    int64_t start;
    int64_t end;
  };
  std::vector<Item> items;
  const int64_t day_start = ZoneSeconds(year, month, day, 0, 0, 0) - zone_offset_s_;
  const int64_t day_end = day_start + kDay;
  for (const ArchiveSegment& s : segments_) {
    if (s.end <= day_start || s.start >= day_end) continue;
    for (int c = 0; c < 16; ++c) {
      if (((s.channels >> c) & 1u) != 0 && items.size() < 0xFFFF) items.push_back({c, s.start, s.end});
    }
  }
  std::vector<Bytes> out;
  const size_t total = items.size();
  size_t next = 0;
  do {
    const size_t n = std::min<size_t>(kDayItemsPerMessage, total - next);
    PayloadWriter w;
    w.U16(static_cast<uint16_t>(total)).U16(static_cast<uint16_t>(n)).Zeros(2);
    for (size_t i = 0; i < n; ++i) {
      const Item& it = items[next + i];
      w.U16(1).U16(static_cast<uint16_t>(it.channel + 1)).Zeros(30);
      w.U32(static_cast<uint32_t>(it.start)).U32(static_cast<uint32_t>(it.end));
    }
    out.push_back(w.Take());
    next += n;
  } while (next < total);
  return out;
}

bool Archive::Recorded(int channel, int64_t t) const {
  if (channel < 0 || channel >= 16) return false;
  return AnyRecorded(static_cast<uint16_t>(1u << channel), t);
}

bool Archive::AnyRecorded(uint16_t mask, int64_t t) const {
  for (const ArchiveSegment& s : segments_) {
    if ((s.channels & mask) != 0 && s.start <= t && t < s.end) return true;
  }
  return false;
}

int64_t Archive::NextRecorded(uint16_t mask, int64_t t) const {
  int64_t best = -1;
  for (const ArchiveSegment& s : segments_) {
    if ((s.channels & mask) == 0 || s.end <= t) continue;
    const int64_t candidate = std::max(s.start, t);
    if (best < 0 || candidate < best) best = candidate;
  }
  return best;
}

int64_t Archive::PreviousRecorded(uint16_t mask, int64_t t) const {
  int64_t best = -1;
  for (const ArchiveSegment& s : segments_) {
    if ((s.channels & mask) == 0 || s.start > t) continue;
    const int64_t candidate = std::min(s.end - 1, t);
    if (candidate > best) best = candidate;
  }
  return best;
}

bool ParseArchiveSegment(const std::string& text, ArchiveSegment* out, std::string* why) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
      y < 1970 || y > 2105 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || used <= 0) {
    *why = "expected YYYY-MM-DDTHH:MM:SS+SECONDS[@MASK]";
    return false;
  }
  std::string rest = text.substr(static_cast<size_t>(used));
  if (rest.empty() || rest[0] != '+') {
    *why = "expected +SECONDS after the start";
    return false;
  }
  rest.erase(0, 1);
  int64_t mask = 0xFFFF;
  const size_t at = rest.find('@');
  if (at != std::string::npos) {
    if (!ParseInteger(rest.substr(at + 1), 1, 0xFFFF, &mask)) {
      *why = "MASK must be a u16 other than 0";
      return false;
    }
    rest.resize(at);
  }
  int64_t length = 0;
  if (!ParseInteger(rest, 1, 366 * kDay, &length)) {
    *why = "SECONDS must be 1.." + std::to_string(366 * kDay);
    return false;
  }
  out->start = ZoneSeconds(y, mo, d, h, mi, s);
  out->end = out->start + length;
  out->channels = static_cast<uint16_t>(mask);
  return true;
}

}  // namespace dvrsim
