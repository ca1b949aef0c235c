// The simulated DVR's recordings: segments of recorded time per channel,
// either given on the command line or a pattern over the last days, and what
// the DVR answers about them (the month search lists the recorded days, the
// day search the segments of a day, both split over several messages).
//
// Times are kept as the DVR counts them in its search answers: UTC seconds.
// Dates and times the operator sees are in the DVR's zone, i.e. UTC plus the
// zone offset (and an hour when the daylight flag is set).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "dvrsim/framing.h"

namespace dvrsim {

struct SimConfig;

struct ArchiveSegment {
  int64_t start = 0;  // UTC seconds, first recorded second
  int64_t end = 0;    // UTC seconds, first second after the recording
  uint16_t channels = 0xFFFF;  // bit n: channel n + 1 recorded
};

// Items per answer message: real DVRs cut long lists, and clients must add
// the parts up.
inline constexpr int kMonthItemsPerMessage = 8;
inline constexpr int kDayItemsPerMessage = 16;
inline constexpr size_t kDayItemBytes = 42;

class Archive {
 public:
  Archive() = default;
  explicit Archive(std::vector<ArchiveSegment> segments, int64_t zone_offset_s = 0);

  // The simulator's archive: the configured segments, or else the pattern of
  // DefaultPattern over config.archive_days days before now_utc.
  static Archive FromConfig(const SimConfig& config, int64_t now_utc);
  // Per day, in the DVR's zone: 08:00-12:30 on even channel indexes and
  // 08:00-12:00 on odd ones, 13:15-18:00 on all; on the last day channels 1
  // and 2 also record from 22:30 to 01:00 of the next day (today), across
  // midnight. The days are the `days` days before the DVR's today.
  static std::vector<ArchiveSegment> DefaultPattern(int days, int64_t now_utc, int64_t zone_offset_s,
                                                    int channels);

  const std::vector<ArchiveSegment>& segments() const { return segments_; }
  int64_t zone_offset() const { return zone_offset_s_; }

  // Payloads of the 0x4068 answer: u16 total, u16 count, 4 zero bytes, then
  // items {u16 year, u16 month, u16 day, u16 0}, one per recorded day (in
  // the DVR's zone), in date order. At least one message, even when empty.
  std::vector<Bytes> MonthAnswer() const;
  // Payloads of the 0x4062 answer for the DVR-zone date: u16 total, u16
  // count, 2 zero bytes, then 42-byte items {u16 valid 1, u16 channel, 30
  // zero bytes, u32 start, u32 end}, one per channel and segment touching
  // the day, the times unclipped.
  std::vector<Bytes> DayAnswer(int year, int month, int day) const;

  // Whether channel (index 0..15) recorded the UTC second t.
  bool Recorded(int channel, int64_t t) const;
  // Whether any channel of mask recorded t.
  bool AnyRecorded(uint16_t mask, int64_t t) const;
  // The first recorded second of a mask channel at or after t, -1 if none.
  int64_t NextRecorded(uint16_t mask, int64_t t) const;
  // The last recorded second of a mask channel at or before t, -1 if none.
  int64_t PreviousRecorded(uint16_t mask, int64_t t) const;

 private:
  std::vector<ArchiveSegment> segments_;  // ordered by start
  int64_t zone_offset_s_ = 0;
};

// Parses "YYYY-MM-DDTHH:MM:SS+SECONDS[@MASK]" (a DVR-zone start, a length,
// the channel mask as decimal or 0x hex, default all). The start is kept in
// DVR-zone seconds; FromConfig moves it to UTC. False with *why set.
bool ParseArchiveSegment(const std::string& text, ArchiveSegment* out, std::string* why);

// The DVR-zone date and time fields <-> DVR-zone seconds since 1970.
int64_t ZoneSeconds(int year, int month, int day, int hour, int minute, int second);

}  // namespace dvrsim
