// The control session: dispatch of every message kind, state blocks, the
// keep-alive rule, and whole sessions against a scripted peer.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

#include "platform/clock.h"
#include "protocol/commands.h"
#include "protocol/control_session.h"
#include "support/fake_peer.h"

namespace {

struct Recorder {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<int> notes;
  std::vector<int> data;
  std::vector<EventRecord> events;
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<int> counts;

  static void OnNotify(int code, void* user) {
    auto* r = static_cast<Recorder*>(user);
    std::lock_guard<std::mutex> l(r->lock);
    r->notes.push_back(code);
    r->changed.notify_all();
  }
  static void OnData(int code, void* user, const StateBlockRef* block) {
    auto* r = static_cast<Recorder*>(user);
    std::lock_guard<std::mutex> l(r->lock);
    r->data.push_back(code);
    r->blocks.emplace_back(block->data, block->data + block->size_bytes);
    r->counts.push_back(block->count);
    r->changed.notify_all();
  }
  static void OnEvent(const EventRecord* record, void* user) {
    auto* r = static_cast<Recorder*>(user);
    std::lock_guard<std::mutex> l(r->lock);
    r->events.push_back(*record);
  }
  void Attach(CControlSession& s) {
    s.SetNotifyCallback(OnNotify, this);
    s.SetDataCallback(OnData, this);
    s.SetEventCallback(OnEvent, this);
  }
  bool WaitForNote(int code, long timeout_ms) {
    std::unique_lock<std::mutex> l(lock);
    return changed.wait_for(l, std::chrono::milliseconds(timeout_ms),
                            [&] { return std::find(notes.begin(), notes.end(), code) != notes.end(); });
  }
  std::vector<int> Notes() {
    std::lock_guard<std::mutex> l(lock);
    return notes;
  }
};

std::vector<uint8_t> EventPayload(uint16_t channel, uint16_t state, uint32_t time) {
  auto p = FakePeer::Be16s({channel, state});
  FakePeer::AppendBe32(p, time);
  return p;
}

void Feed(CControlSession& s, uint16_t command, const std::vector<uint8_t>& payload) {
  s.Dispatch(command, payload.data(), static_cast<int>(payload.size()));
}

TEST(Dispatch, EventsBecomeRecordsInHostOrder) {
  Recorder r;  // outlives the session, whose stop still reports
  CControlSession s;
  r.Attach(s);
  const std::pair<uint16_t, uint16_t> kinds[] = {{0x6013, 18}, {0x6023, 19}, {0x6043, 20}, {0x6063, 22}};
  for (auto [code, type] : kinds) Feed(s, code, EventPayload(0x0102, 0x0304, 0x05060708));
  ASSERT_EQ(r.events.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.events[i].type, kinds[i].second);
    EXPECT_EQ(r.events[i].channel, 0x0102);
    EXPECT_EQ(r.events[i].state, 0x0304);
    EXPECT_EQ(r.events[i].time, 0x05060708u);
    EXPECT_EQ(r.events[i].code, 0);
    EXPECT_EQ(r.events[i].text[0], '\0');
  }
  EXPECT_EQ(s.EventQueue().Size(), 4);

  // A system event with a text longer than the record holds.
  auto sys = FakePeer::Be16s({0x0042});
  FakePeer::AppendBe32(sys, 1700000000u);
  std::string text(120, 'x');
  sys.insert(sys.end(), text.begin(), text.end());
  Feed(s, 0x6033, sys);
  ASSERT_EQ(r.events.size(), 5u);
  const EventRecord& e = r.events.back();
  EXPECT_EQ(e.type, 23);
  EXPECT_EQ(e.channel, 0xFFFF);
  EXPECT_EQ(e.code, 0x42);
  EXPECT_EQ(e.state, 0);
  EXPECT_EQ(e.time, 1700000000u);
  EXPECT_EQ(std::string(e.text), std::string(79, 'x'));

  // Exactly the six header bytes: an empty text.
  sys.resize(6);
  Feed(s, 0x6033, sys);
  EXPECT_EQ(std::string(r.events.back().text), "");

  // Too short to hold their fields: ignored, as is 0x6053.
  const size_t before = r.events.size();
  Feed(s, 0x6013, {0, 1, 0, 0, 0, 0, 0});
  Feed(s, 0x6033, {0, 1, 0, 0, 0});
  Feed(s, 0x6053, EventPayload(1, 1, 1));
  EXPECT_EQ(r.events.size(), before);
  EXPECT_TRUE(r.notes.empty());
}

TEST(Dispatch, NotificationsTimeZoneAndAcknowledgement) {
  Recorder r;  // outlives the session, whose stop still reports
  CControlSession s;
  r.Attach(s);
  platform::AutoResetEvent ack;
  s.SetAckEvent(&ack);
  Feed(s, 0x7116, {});
  EXPECT_TRUE(ack.Wait(0));
  EXPECT_TRUE(r.events.empty());

  Feed(s, 0x6103, {});
  for (uint16_t sub : {0x4010, 0x4050, 0x4003, 0x400A, 0x400B, 0x4060, 0x4001}) Feed(s, 0x4032, FakePeer::Be16s({sub}));
  Feed(s, 0x4032, {0x40});  // too short
  EXPECT_EQ(r.notes, (std::vector<int>{27, 29, 29, 30, 32, 33, 35}));

  // A negative offset with the daylight flag.
  std::vector<uint8_t> tz;
  FakePeer::AppendBe32(tz, static_cast<uint32_t>(-18000));
  tz.push_back(1);
  Feed(s, 0x7F02, tz);
  EXPECT_EQ(r.notes.back(), 26);
  EXPECT_EQ(s.TimeZoneOffset(), -18000);
  EXPECT_EQ(s.EffectiveTimeZoneOffset(), -14400);
  tz.resize(4);
  r.notes.clear();
  Feed(s, 0x7F02, tz);  // too short: ignored
  EXPECT_TRUE(r.notes.empty());
  // Extreme offsets do not overflow.
  tz = {0x7F, 0xFF, 0xFF, 0xFF, 1};
  Feed(s, 0x7F02, tz);
  EXPECT_EQ(s.EffectiveTimeZoneOffset(), int64_t{0x7FFFFFFF} + 3600);
}

TEST(Dispatch, UnknownAnswersAreQueuedForWaiters) {
  Recorder r;  // outlives the session, whose stop still reports
  CControlSession s;
  r.Attach(s);
  Feed(s, 0x7777, {1, 2});
  Feed(s, 0x8112, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(r.notes, (std::vector<int>{12, 12}));
  uint8_t buf[kPacketPayloadCapacity];
  EXPECT_EQ(s.WaitForAnswer(0x8112, buf, sizeof buf, 1), 12);
  EXPECT_EQ(s.AnswerQueue().Size(), 0);  // the unrelated answer was discarded
}

TEST(StateBlocks, StoreConvertAndLimitCounts) {
  Recorder r;  // outlives the session, whose stop still reports
  CControlSession s;
  r.Attach(s);

  // System information: integer fields in host order, texts unchanged.
  std::vector<uint8_t> info(76, 0);
  info[1] = 0;
  std::memcpy(info.data() + 2, "Front Gate", 10);
  const uint16_t nums[] = {16, 4, 16, 4, 480};
  for (int i = 0; i < 5; ++i) platform::PutU16BE(info.data() + 34 + 2 * i, nums[i]);
  std::memcpy(info.data() + 44, "MODEL-X", 7);
  Feed(s, 0x2F01, info);
  ASSERT_EQ(r.data.back(), 51);
  StateBlockRef sys = s.State().system_info.Ref(0x2F01);
  EXPECT_EQ(sys.U16(34), 16);
  EXPECT_EQ(sys.U16(42), 480);
  EXPECT_STREQ(reinterpret_cast<const char*>(sys.data + 44), "MODEL-X");

  // Camera names claim 16 but carry 2: the count is limited to what came.
  std::vector<uint8_t> names = FakePeer::Be16s({0, 16});
  names.resize(4 + 2 * 32 + 5, 0);
  std::memcpy(names.data() + 4, "Entr\xC3\xA9" "e", 7);
  Feed(s, 0x2F12, names);
  EXPECT_EQ(r.data.back(), 50);
  EXPECT_EQ(r.counts.back(), 2);
  EXPECT_EQ(s.State().camera_names.Ref(0x2F12).U16(2), 2);

  // More camera names than the block holds.
  names = FakePeer::Be16s({0, 40});
  names.resize(4 + 40 * 32, 'n');
  Feed(s, 0x2F12, names);
  EXPECT_EQ(r.counts.back(), 16);
  EXPECT_EQ(s.State().camera_names.size_bytes, 4 + 16 * 32);

  // Disks: items {u16, u32, u32} converted.
  std::vector<uint8_t> disks = FakePeer::Be16s({0, 2});
  for (int i = 0; i < 2; ++i) {
    auto idx = FakePeer::Be16s({static_cast<uint16_t>(i)});
    disks.insert(disks.end(), idx.begin(), idx.end());
    FakePeer::AppendBe32(disks, 2000000 + i);
    FakePeer::AppendBe32(disks, 1000 + i);
  }
  Feed(s, 0x2F04, disks);
  StateBlockRef d = s.State().disks.Ref(0x2F04);
  EXPECT_EQ(r.data.back(), 54);
  EXPECT_EQ(d.U16(2), 2);
  EXPECT_EQ(d.U32(6), 2000000u);
  EXPECT_EQ(d.U32(10 + 10), 1001u);

  // Sensor map pairs.
  std::vector<uint8_t> sensors = FakePeer::Be16s({0, 3, 0, 0x0001, 1, 0x0002, 2, 0x8000});
  Feed(s, 0x2F22, sensors);
  StateBlockRef m = s.State().sensor_map.Ref(0x2F22);
  EXPECT_EQ(m.U16(2), 3);
  EXPECT_EQ(m.U16(4 + 2 * 4 + 2), 0x8000);

  // User rights.
  std::vector<uint8_t> rights = FakePeer::Be16s({0});
  rights.push_back(1);
  rights.push_back(1);
  FakePeer::AppendBe32(rights, 0x06);
  rights.push_back(0);
  FakePeer::AppendBe32(rights, 0x01020304);
  Feed(s, 0x7E02, rights);
  StateBlockRef u = s.State().user_rights.Ref(0x7E02);
  EXPECT_EQ(r.data.back(), 25);
  EXPECT_EQ(u.U8(2), 1);
  EXPECT_EQ(u.U32(4), 6u);
  EXPECT_EQ(u.U32(9), 0x01020304u);

  // Every stored answer reports its data code.
  const std::pair<uint16_t, int> codes[] = {{0x2F16, 28}, {0x7E04, 36}, {0x7E08, 37}, {0x7E06, 38}, {0x7E0A, 39},
                                             {0x2012, 42}, {0x750A, 44}, {0x7506, 46}, {0x7502, 48}, {0x1063, 52}};
  for (auto [code, data] : codes) {
    Feed(s, code, std::vector<uint8_t>(3000, 0x11));
    EXPECT_EQ(r.data.back(), data) << std::hex << code;
  }
  EXPECT_EQ(s.State().users_ext.size_bytes, 32 * 46 + 3);  // a longer answer is cut
  EXPECT_TRUE(r.notes.empty());
}

std::vector<uint8_t> Description(const char* platform_text, size_t text_bytes, uint16_t channels,
                                 uint16_t length = kDescriptionBlockBytes) {
  std::vector<uint8_t> p = FakePeer::Be16s({length});
  p.resize(2 + kDescriptionBlockBytes, 0);
  std::memcpy(p.data() + 2 + kDescriptionPlatformOffset, platform_text, text_bytes);
  platform::PutU16BE(p.data() + 2 + kDescriptionChannelOffset, channels);
  return p;
}

TEST(StateBlocks, DescriptionGivesPlatformTalkFormatAndChannels) {
  CControlSession s;
  struct Case {
    const char* text;
    int platform;
    int talk;
  };
  const Case cases[] = {{"SOLO6010", 161, 148}, {"SOLO6110", 163, 148}, {"AT2041", 160, 148},
                        {"AH844", 162, 149},    {"HI3515", 164, 150},   {"HI3515X", 163, 148},
                        {"HI351", 163, 148},    {"", 163, 148}};
  for (const Case& c : cases) {
    Feed(s, 0x7802, Description(c.text, std::strlen(c.text) + 1, 8));
    const StateBlockRef ref = s.State().description.Ref(0x7802);
    const PlatformInfo info = PlatformFromDescription(ref);
    EXPECT_EQ(info.platform_code, c.platform) << c.text;
    EXPECT_EQ(info.talk_format, c.talk) << c.text;
    EXPECT_EQ(ChannelCountFromDescription(ref), 8);
  }
  // A platform text filling its field without a terminator matches nothing.
  Feed(s, 0x7802, Description("AH844AH844AH844A", 16, 4));
  EXPECT_EQ(PlatformFromDescription(s.State().description.Ref(0x7802)).platform_code, 163);

  for (uint16_t n : {4, 8, 9, 16}) {
    Feed(s, 0x7802, Description("HI3515", 7, n));
    EXPECT_EQ(ChannelCountFromDescription(s.State().description.Ref(0x7802)), n);
  }
  for (uint16_t n : {0, 1, 5, 17, 64, 0xFFFF}) {
    Feed(s, 0x7802, Description("HI3515", 7, n));
    EXPECT_EQ(ChannelCountFromDescription(s.State().description.Ref(0x7802)), 16) << n;
  }

  // A stated length beyond what arrived is limited to what arrived: the
  // channel count that was never sent does not come from stale bytes.
  auto p = Description("AH844", 6, 4, 0xFFFF);
  p.resize(2 + 200);
  Feed(s, 0x7802, p);
  const StateBlockRef ref = s.State().description.Ref(0x7802);
  EXPECT_EQ(ref.count, 200);
  EXPECT_EQ(PlatformFromDescription(ref).platform_code, 162);
  EXPECT_EQ(ChannelCountFromDescription(ref), 16);
  // A stated length shorter than the platform field hides it.
  Feed(s, 0x7802, Description("AH844", 6, 4, 100));
  EXPECT_EQ(PlatformFromDescription(s.State().description.Ref(0x7802)).platform_code, 163);
}

TEST(SearchMaps, MonthAndDayAnswersMarkTheirMaps) {
  Recorder r;  // outlives the session, whose stop still reports
  CControlSession s;
  r.Attach(s);
  s.ClearSearchState();
  s.SetMonthSearch(0, 0, 2);  // move to the later month found
  // Two messages, total 3 items.
  auto month1 = FakePeer::Be16s({3, 2, 0, 0, 2026, 11, 5, 0, 2026, 12, 3, 0});
  auto month2 = FakePeer::Be16s({3, 1, 0, 0, 2026, 12, 31, 0});
  Feed(s, 0x4068, month1);
  EXPECT_TRUE(r.data.empty());
  Feed(s, 0x4068, month2);
  ASSERT_EQ(r.data, (std::vector<int>{55}));
  EXPECT_EQ(s.SearchYear(), 2026u);
  EXPECT_EQ(s.SearchMonth(), 12u);
  EXPECT_EQ(s.RecordDays()[2], 1);
  EXPECT_EQ(s.RecordDays()[30], 1);
  EXPECT_EQ(s.RecordDays()[4], 0);  // November's day was cleared by the move

  // Across a year boundary: December 2025 is not later than December 2026,
  // and January 2027 is.
  r.data.clear();
  Feed(s, 0x4068, FakePeer::Be16s({2, 2, 0, 0, 2025, 12, 9, 0, 2027, 1, 9, 0}));
  EXPECT_EQ(r.data, (std::vector<int>{55}));
  EXPECT_EQ(s.SearchYear(), 2027u);
  EXPECT_EQ(s.SearchMonth(), 1u);
  EXPECT_EQ(s.RecordDays()[8], 1);
  EXPECT_EQ(s.RecordDays()[2], 0);
  s.SetMonthSearch(2027, 1, 1);  // now move to an earlier month
  Feed(s, 0x4068, FakePeer::Be16s({1, 1, 0, 0, 2026, 12, 24, 0}));
  EXPECT_EQ(s.SearchYear(), 2026u);
  EXPECT_EQ(s.SearchMonth(), 12u);
  EXPECT_EQ(s.RecordDays()[23], 1);

  // Day answer: 10:15..10:20 and 23:58..00:00:00 (to the end of the day).
  std::vector<uint8_t> day = FakePeer::Be16s({2, 2, 0});
  auto item = [&](uint16_t valid, uint32_t start, uint32_t end) {
    auto v = FakePeer::Be16s({valid});
    day.insert(day.end(), v.begin(), v.end());
    day.resize(day.size() + 32, 0);
    FakePeer::AppendBe32(day, start);
    FakePeer::AppendBe32(day, end);
  };
  const uint32_t midnight = 1796774400u;  // 2026-12-07 00:00:00 UTC
  item(1, midnight + 10 * 3600 + 15 * 60, midnight + 10 * 3600 + 20 * 60);
  item(1, midnight + 23 * 3600 + 58 * 60, midnight + 24 * 3600);
  Feed(s, 0x4062, day);
  ASSERT_EQ(r.data.back(), 56);
  const uint8_t* minutes = s.RecordMinutes();
  EXPECT_EQ(minutes[10 * 60 + 14], 0);
  EXPECT_EQ(minutes[10 * 60 + 15], 1);
  EXPECT_EQ(minutes[10 * 60 + 20], 1);
  EXPECT_EQ(minutes[10 * 60 + 21], 0);
  EXPECT_EQ(minutes[1439], 1);

  // Item counts beyond what arrived: nothing is read past the message (the
  // payloads are exactly their size), so the maps keep what they had; the
  // counts still complete the answers.
  const std::vector<uint8_t> days_before(s.RecordDays(), s.RecordDays() + 31);
  const std::vector<uint8_t> minutes_before(s.RecordMinutes(), s.RecordMinutes() + 1440);
  r.data.clear();
  Feed(s, 0x4062, FakePeer::Be16s({100, 100, 0}));
  Feed(s, 0x4068, FakePeer::Be16s({100, 100, 0, 0}));
  EXPECT_EQ(r.data, (std::vector<int>{56, 55}));
  EXPECT_EQ(std::vector<uint8_t>(s.RecordDays(), s.RecordDays() + 31), days_before);
  EXPECT_EQ(std::vector<uint8_t>(s.RecordMinutes(), s.RecordMinutes() + 1440), minutes_before);
}

// A 0x4062 item: valid flag, 32 bytes, start and end as the DVR counts them.
void AppendDayItem(std::vector<uint8_t>& day, uint16_t valid, uint32_t start, uint32_t end) {
  auto v = FakePeer::Be16s({valid});
  day.insert(day.end(), v.begin(), v.end());
  day.resize(day.size() + 32, 0);
  FakePeer::AppendBe32(day, start);
  FakePeer::AppendBe32(day, end);
}

std::vector<int> MarkedMinutes(const CControlSession& s) {
  std::vector<int> out;
  for (int m = 0; m < 1440; ++m) {
    if (s.RecordMinutes()[m] != 0) out.push_back(m);
  }
  return out;
}

TEST(SearchMaps, RequestsGoOutWholeAndStartTheirMapsAfresh) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  Recorder r;
  CControlSession s;
  r.Attach(s);
  s.AdoptSocket(fds[0]);
  // A month answer cut short (2 of 3 items) leaves its count behind ...
  s.SetMonthSearch(2026, 12, 0);
  Feed(s, 0x4068, FakePeer::Be16s({3, 2, 0, 0, 2026, 12, 5, 0, 2026, 12, 6, 0}));
  EXPECT_TRUE(r.data.empty());
  // ... which the next request drops, with the days marked so far.
  ASSERT_EQ(s.SendMonthSearch(2026, 11, 0), 7);
  Feed(s, 0x4068, FakePeer::Be16s({1, 1, 0, 0, 2026, 11, 30, 0}));
  ASSERT_EQ(r.data, (std::vector<int>{55}));
  EXPECT_EQ(r.blocks.back()[29], 1);
  EXPECT_EQ(r.blocks.back()[4], 0);
  EXPECT_EQ(s.SearchMonth(), 11u);

  // The same for the day answer and the minute map.
  std::vector<uint8_t> part = FakePeer::Be16s({2, 1, 0});
  AppendDayItem(part, 1, 1796774400u + 600, 1796774400u + 660);
  Feed(s, 0x4062, part);
  ASSERT_EQ(s.SendDaySearch(2026, 12, 7), 20);
  EXPECT_TRUE(MarkedMinutes(s).empty());
  Feed(s, 0x4062, FakePeer::Be16s({0, 0, 0}));  // nothing recorded that day
  EXPECT_EQ(r.data, (std::vector<int>{55, 56}));

  uint8_t wire[27];
  size_t got = 0;
  while (got < sizeof wire) {
    const ssize_t n = read(fds[1], wire + got, sizeof wire - got);
    ASSERT_GT(n, 0);
    got += static_cast<size_t>(n);
  }
  const std::vector<uint8_t> expected = {0x28, 0x18, 0x40, 0x67, 0x00, 0x07, 0x00,  // month search, 1 byte 0
                                         0x28, 0x18, 0x40, 0x61, 0x00, 0x14,        // day search, 14 bytes
                                         0x00, 0x00, 0x07, 0xEA, 0x00, 0x0C, 0x00, 0x07,
                                         0x07, 0xEA, 0x00, 0x0C, 0x00, 0x07};
  EXPECT_EQ(std::vector<uint8_t>(wire, wire + sizeof wire), expected);
  close(fds[1]);
}

TEST(SearchMaps, MonthModesMoveByWholeMonthsAndStartTheDaysAgain) {
  Recorder r;
  CControlSession s;
  r.Attach(s);
  // Mode 1 moves to the earlier month and forgets the days of the later one;
  // months outside 1..12 are neither marked nor moved to.
  s.SetMonthSearch(2027, 1, 1);
  Feed(s, 0x4068, FakePeer::Be16s({4, 4, 0, 0, 2027, 1, 3, 0, 2026, 12, 20, 0, 2026, 13, 1, 0, 2026, 0, 2, 0}));
  EXPECT_EQ(s.SearchYear(), 2026u);
  EXPECT_EQ(s.SearchMonth(), 12u);
  EXPECT_EQ(s.RecordDays()[2], 0);
  EXPECT_EQ(s.RecordDays()[19], 1);
  EXPECT_EQ(s.RecordDays()[0], 0);
  EXPECT_EQ(s.RecordDays()[1], 0);
  // Mode 0 keeps the month: other months' days are left out, days 0 and 32
  // mark nothing.
  s.SendMonthSearch(2026, 12, 0);
  Feed(s, 0x4068, FakePeer::Be16s({4, 4, 0, 0, 2027, 1, 9, 0, 2026, 12, 31, 0, 2026, 12, 0, 0, 2026, 12, 32, 0}));
  EXPECT_EQ(std::count(s.RecordDays(), s.RecordDays() + 31, 1), 1);
  EXPECT_EQ(s.RecordDays()[30], 1);
  EXPECT_EQ(s.SearchYear(), 2026u);
}

TEST(SearchMaps, DayItemsAreClippedToTheSearchedDay) {
  Recorder r;
  CControlSession s;
  r.Attach(s);
  // The DVR is 9 hours ahead of UTC with daylight time: 10 hours in all.
  Feed(s, 0x7F02, {0x00, 0x00, 0x7E, 0x90, 0x01});
  const int64_t offset = 36000;
  const uint32_t day = static_cast<uint32_t>(1796601600 - offset);  // 2026-12-07 00:00 in the DVR's zone
  s.SendDaySearch(2026, 12, 7);
  std::vector<uint8_t> answer = FakePeer::Be16s({6, 6, 0});
  AppendDayItem(answer, 1, day + 23 * 3600 + 10 * 60, day + 24 * 3600);        // 23:10 to 00:00:00 of the next day
  AppendDayItem(answer, 1, day - 3600, day + 90);                              // from the day before: 00:00..00:01
  AppendDayItem(answer, 1, day + 12 * 3600, day + 12 * 3600 + 2 * 86400);      // on past the day: 12:00..23:59
  AppendDayItem(answer, 1, day - 7200, day);                                   // ends as the day begins: nothing
  AppendDayItem(answer, 1, day + 86400 + 60, day + 86400 + 600);               // the next day: nothing
  AppendDayItem(answer, 0, day + 6 * 3600, day + 7 * 3600);                    // not valid: nothing
  Feed(s, 0x4062, answer);
  ASSERT_EQ(r.data, (std::vector<int>{56}));
  std::vector<int> expected = {0, 1};
  for (int m = 12 * 60; m <= 1439; ++m) expected.push_back(m);
  EXPECT_EQ(MarkedMinutes(s), expected);

  // Without the day that crosses midnight in the other direction: 23:10 to
  // 00:00:00 alone marks 1390..1439.
  s.SendDaySearch(2026, 12, 7);
  answer = FakePeer::Be16s({1, 1, 0});
  AppendDayItem(answer, 1, day + 23 * 3600 + 10 * 60, day + 24 * 3600);
  Feed(s, 0x4062, answer);
  const std::vector<int> minutes = MarkedMinutes(s);
  ASSERT_EQ(minutes.size(), 50u);
  EXPECT_EQ(minutes.front(), 1390);
  EXPECT_EQ(minutes.back(), 1439);

  // Counts that overshoot the total deliver at once; an end before the
  // start marks nothing.
  r.data.clear();
  s.SendDaySearch(2026, 12, 7);
  answer = FakePeer::Be16s({1, 3, 0});
  AppendDayItem(answer, 1, day + 3600, day + 60);
  Feed(s, 0x4062, answer);
  EXPECT_EQ(r.data, (std::vector<int>{56}));
  EXPECT_TRUE(MarkedMinutes(s).empty());
}

TEST(KeepAliveRule, FiveSilentRoundsEndASessionWithoutKeepAlives) {
  std::atomic<int> keep_alives{0};
  int idle = 0;
  for (int round = 1; round <= 4; ++round) EXPECT_TRUE(IdleRoundKeepsSession(idle, keep_alives)) << round;
  EXPECT_FALSE(IdleRoundKeepsSession(idle, keep_alives));

  // Four silent rounds, a keep-alive, more silence: the next check passes and
  // the count starts again at 1.
  idle = 0;
  for (int round = 1; round <= 4; ++round) IdleRoundKeepsSession(idle, keep_alives);
  keep_alives = 1;
  EXPECT_TRUE(IdleRoundKeepsSession(idle, keep_alives));
  EXPECT_EQ(idle, 1);
  EXPECT_EQ(keep_alives.load(), 0);
  for (int round = 2; round <= 4; ++round) EXPECT_TRUE(IdleRoundKeepsSession(idle, keep_alives));
  EXPECT_FALSE(IdleRoundKeepsSession(idle, keep_alives));
}

TEST(Session, LogsInDispatchesAndEndsWhenTheLineStaysSilent) {
  FakePeer peer;
  Recorder r;  // outlives the session, whose stop still reports
  CControlSession s;
  r.Attach(s);
  s.SetReceiveTimeoutMs(100);
  s.StartSession("127.0.0.1", peer.Port(), "netuser", "pass");
  ASSERT_TRUE(peer.Accept());
  PeerMessage login;
  ASSERT_TRUE(peer.AnswerLogin(1, 0x0203, &login));
  ASSERT_TRUE(r.WaitForNote(1, 2000));
  EXPECT_EQ(s.GetSessionId(), 0x0203);
  EXPECT_TRUE(s.IsConnected());

  // The user interface sends; the peer answers into a state block.
  const uint8_t zero = 0;
  EXPECT_EQ(s.Send(cmd::kSystemInfo, &zero, 1), 7);
  PeerMessage req;
  ASSERT_TRUE(peer.Read(&req));
  EXPECT_EQ(req.command, 0x2F01);
  ASSERT_TRUE(peer.Send(0x2F01, std::vector<uint8_t>(76, 0xEE)));
  // A shorter answer in the reused receive packet shows nothing of the earlier one.
  ASSERT_TRUE(peer.Send(0x2F01, std::vector<uint8_t>(10, 0)));

  // Keep-alives every 150 ms keep it alive over many 100 ms rounds.
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(peer.Send(0x1040));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  EXPECT_TRUE(s.IsConnected());
  EXPECT_EQ(r.Notes(), (std::vector<int>{1}));
  {
    std::lock_guard<std::mutex> l(r.lock);
    EXPECT_EQ(r.data, (std::vector<int>{51, 51}));
    ASSERT_EQ(r.blocks.size(), 2u);
    EXPECT_EQ(r.blocks[1], std::vector<uint8_t>(10, 0));
    EXPECT_EQ(s.State().system_info.Ref(0x2F01).U16(34), 0);
    EXPECT_EQ(s.State().system_info.bytes[40], 0);
  }

  // Then silence: five rounds later the session ends with notification 11.
  const int64_t start = platform::MonotonicMs();
  ASSERT_TRUE(r.WaitForNote(11, 3000));
  EXPECT_GE(platform::MonotonicMs() - start, 350);
  EXPECT_EQ(s.GetSessionId(), -1);
  EXPECT_FALSE(s.IsConnected());
  EXPECT_TRUE(s.IsRetryAllowed());
  EXPECT_TRUE(peer.SeesClose(1000));
  s.Stop();
}

TEST(Session, LastingRefusalsClearTheRetryFlag) {
  struct Case {
    uint16_t result;
    int note;
    bool retry;
  };
  for (const Case& c : {Case{0xF001, 6, false}, Case{0xF003, 7, false}, Case{0xF004, 8, false},
                        Case{0xF006, 9, false}}) {
    FakePeer peer;
    Recorder r;  // outlives the session, whose stop still reports
    CControlSession s;
    r.Attach(s);
    s.StartSession("127.0.0.1", peer.Port(), "u", "p");
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(peer.AnswerLogin(c.result, 0));
    ASSERT_TRUE(r.WaitForNote(c.note, 3000)) << std::hex << c.result;
    s.Stop();
    EXPECT_EQ(s.IsRetryAllowed(), c.retry);
    EXPECT_EQ(r.Notes(), (std::vector<int>{c.note}));
  }
  // No connection at all: notification 3, retry stays allowed.
  const int port = FakePeer::UnusedPort();
  Recorder r;  // outlives the session, whose stop still reports
  CControlSession s;
  r.Attach(s);
  s.StartSession("127.0.0.1", port, "u", "p");
  ASSERT_TRUE(r.WaitForNote(3, 3000));
  s.Stop();
  EXPECT_TRUE(s.IsRetryAllowed());
}

// A session logged in to a scripted peer with session id 1.
struct LoggedInSession {
  FakePeer peer;
  Recorder r;  // outlives the session, whose stop still reports
  CControlSession s;
  explicit LoggedInSession(long round_ms = CControlSession::kReceiveTimeoutMs) {
    r.Attach(s);
    s.SetReceiveTimeoutMs(round_ms);
    s.SetRestTimeoutMs(round_ms);
    s.StartSession("127.0.0.1", peer.Port(), "u", "p");
    EXPECT_TRUE(peer.Accept());
    EXPECT_TRUE(peer.AnswerLogin(1, 1));
    EXPECT_TRUE(r.WaitForNote(1, 2000));
  }
};

TEST(Session, GarbageAfterLoginEndsTheSessionCleanly) {
  LoggedInSession l(200);
  auto& [peer, r, s] = l;
  // A message longer than a receive packet cannot be skipped: the session ends.
  std::vector<uint8_t> big(5000, 0);
  ASSERT_TRUE(peer.Send(0x2F01, big));
  ASSERT_TRUE(r.WaitForNote(11, 3000));
  s.Stop();
}

TEST(Session, ADvrThatStopsReadingNeitherHangsTheSessionNorItsStop) {
  const std::vector<uint8_t> mib(1 << 20, 0x5A);
  // Sends 1 MiB blocks until one fails; the sender's result.
  auto sender = [&](CControlSession& s) {
    return std::async(std::launch::async, [&] {
      int r;
      while ((r = s.SendAll(mib.data(), static_cast<int>(mib.size()))) > 0) {
      }
      return r;
    });
  };
  {
    // Long send time-out: the session ends by its silence rule, and its
    // close does not wait for the send stuck on the DVR.
    LoggedInSession l(100);
    auto& [peer, r, s] = l;
    s.SetSendTimeoutMs(60000);
    auto sent = sender(s);
    ASSERT_TRUE(r.WaitForNote(11, 2000));
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(sent.get(), -1);
    const int64_t start = platform::MonotonicMs();
    s.Stop();
    EXPECT_LT(platform::MonotonicMs() - start, 2000);
  }
  {
    // A session the silence rule would keep for 5 s: the send that runs out
    // of time fails, and since it left half a message the session ends.
    LoggedInSession l(1000);
    auto& [peer, r, s] = l;
    s.SetSendTimeoutMs(300);
    const int64_t start = platform::MonotonicMs();
    auto sent = sender(s);
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(sent.get(), -1);
    ASSERT_TRUE(r.WaitForNote(11, 2000));
    EXPECT_LT(platform::MonotonicMs() - start, 2500);
    EXPECT_EQ(s.GetSessionId(), -1);
    s.Stop();
  }
}

TEST(Session, StopDuringTheReceiveLoopReturnsPromptly) {
  LoggedInSession l;
  auto& [peer, r, s] = l;
  const int64_t start = platform::MonotonicMs();
  s.Stop();
  EXPECT_LT(platform::MonotonicMs() - start, 1000);
  EXPECT_EQ(r.Notes(), (std::vector<int>{1, 11}));
  // It can be started again on the same object.
  {
    std::lock_guard<std::mutex> l(r.lock);
    r.notes.clear();
  }
  s.StartSession("127.0.0.1", peer.Port(), "u", "p");
  ASSERT_TRUE(peer.Accept());
  ASSERT_TRUE(peer.AnswerLogin(1, 2));
  ASSERT_TRUE(r.WaitForNote(1, 2000));
  EXPECT_EQ(s.GetSessionId(), 2);
}

}  // namespace
