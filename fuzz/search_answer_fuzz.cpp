// The control session's month and day search answers after requests whose
// parameters come from the input, checked against what an answer may do:
// the maps hold only 0 and 1, every delivered map is a whole copy, and a month search moves only to a month
// a calendar has.
//
// Input: mode, year, month and day of the requests, a time-zone answer
// (offset and daylight flag), then answers: a byte choosing 0x4068 or
// 0x4062 (odd: a new request first), a 16-bit length and that many bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "protocol/control_session.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "search_answer_fuzz: %s\n", what);
    std::abort();
  }
}

void OnData(int code, void*, const StateBlockRef* block) {
  Check(code == kDataRecordDays || code == kDataRecordMinutes, "data code");
  Check(block->size_bytes == (code == kDataRecordDays ? 31 : 1440), "map size");
  for (int i = 0; i < block->size_bytes; ++i) Check(block->data[i] <= 1, "map value");
}

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  CControlSession session;  // no socket: requests set the state and fail to send
  session.SetDataCallback(&OnData, nullptr);
  const uint32_t mode = data[0] % 3;
  const int year = U16(data + 1);
  const int month = data[3];
  const int day = data[4];
  session.Dispatch(0x7F02, data + 5, 5);
  session.SendMonthSearch(static_cast<uint32_t>(year), static_cast<uint32_t>(month), mode);
  session.SendDaySearch(year, month, day);
  size_t pos = 10;
  while (pos + 3 <= size) {
    const uint8_t kind = data[pos];
    size_t length = U16(data + pos + 1);
    pos += 3;
    if (length > size - pos) length = size - pos;
    if ((kind & 1) != 0) {
      session.SendMonthSearch(static_cast<uint32_t>(year), static_cast<uint32_t>(month), mode);
      session.SendDaySearch(year, month, day);
    }
    session.Dispatch((kind & 2) != 0 ? 0x4062 : 0x4068, data + pos, static_cast<int>(length));
    pos += length;
    uint8_t days[31];
    uint8_t minutes[1440];
    session.CopyRecordDays(days);
    session.CopyRecordMinutes(minutes);
    for (uint8_t v : days) Check(v <= 1, "day value");
    for (uint8_t v : minutes) Check(v <= 1, "minute value");
    const uint32_t kept = session.SearchMonth();
    Check(mode == 0 || kept == static_cast<uint32_t>(month) || (kept >= 1 && kept <= 12), "moved to no month");
  }
  return 0;
}
