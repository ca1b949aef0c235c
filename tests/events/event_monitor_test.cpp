#include "events/event_monitor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using events::CEventMonitor;
using events::EventRow;
using events::EventSiteFacts;

namespace {

std::time_t FixedClock() { return 1796648400 + 59 * 60 + 59; }  // 2026-12-07 13:59:59 UTC

EventRecord Record(uint16_t type, uint16_t channel, uint16_t state, const char* text = "") {
  EventRecord r;
  r.type = type;
  r.channel = channel;
  r.state = state;
  std::strncpy(r.text, text, sizeof r.text - 1);
  return r;
}

// Host, grid and list in one: every reaction is written down as a word.
class Fakes : public events::IEventHost, public events::IEventGrid, public events::IEventList {
 public:
  EventPopupSettings settings;
  bool live = true;
  bool list_view = false;
  bool rotating = false;
  int current = 1;
  std::map<int, EventSiteFacts> sites;
  std::vector<std::string> grid;
  std::vector<EventRow> rows;
  std::vector<std::pair<EventRow, std::time_t>> logged;
  std::vector<int> sensor_map_requests;

  EventPopupSettings Settings() override { return settings; }
  bool IsLiveMode() override { return live; }
  bool InListView() override { return list_view; }
  int CurrentSiteId() override { return current; }
  bool RotationRunning() override { return rotating; }
  bool SiteFacts(int id, EventSiteFacts* facts) override {
    auto it = sites.find(id);
    if (it == sites.end()) return false;
    *facts = it->second;
    return true;
  }
  void RequestSensorMap(int id) override { sensor_map_requests.push_back(id); }
  void PopUp(int c) override { grid.push_back("popup " + std::to_string(c)); }
  void Highlight(int c, int kind, bool on) override {
    grid.push_back("highlight " + std::to_string(c) + " kind " + std::to_string(kind) + (on ? " on" : " off"));
  }
  void MarkVideoLoss(int c, bool lost) override { grid.push_back("loss " + std::to_string(c) + (lost ? " on" : " off")); }
  void Beep() override { grid.push_back("beep"); }
  void AddRow(const EventRow& row) override { rows.insert(rows.begin(), row); }
  void AppendToLog(const EventRow& row, std::time_t when) override { logged.emplace_back(row, when); }
};

class EventMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    f_.sites[1] = EventSiteFacts{"Shop", 8, {0, 0b1000'0110, 0xFFFF}};
    f_.sites[2] = EventSiteFacts{"Depot", 4, {}};
    monitor_.SetClock(&FixedClock);
  }
  void Event(int site, uint16_t type, uint16_t channel, uint16_t state, const char* text = "") {
    monitor_.OnSiteEvent(site, Record(type, channel, state, text));
  }
  using Grid = std::vector<std::string>;

  Fakes f_;
  CEventMonitor monitor_{&f_, &f_, &f_, [](int n) { return n == 239 ? std::string("Mouvement") : std::string(); }};
};

TEST_F(EventMonitorTest, MotionWithDefaultSettingsHighlightsButNeitherPopsUpNorBeeps) {
  f_.settings.motion = true;  // the kind must be chosen; the rest stays at the defaults
  Event(1, kEventTypeMotion, 2, 0);
  Event(1, kEventTypeMotion, 2, 1);
  EXPECT_EQ(f_.grid, (Grid{"highlight 2 kind 1 on", "highlight 2 kind 1 off"}));
  ASSERT_EQ(f_.rows.size(), 2u);
  // Newest on top; the looked-up kind text, the built-in English otherwise.
  const EventRow& first = f_.rows[1];
  EXPECT_EQ(first.time, "2026/12/07 13:59:59");
  EXPECT_EQ(first.kind, "Mouvement");
  EXPECT_EQ(first.dvr, "Shop");
  EXPECT_EQ(first.channel, "3");
  EXPECT_EQ(first.description, "Motion detected");
  EXPECT_EQ(f_.rows[0].description, "Motion ended");
  // Each row is logged with the time it was handled.
  ASSERT_EQ(f_.logged.size(), 2u);
  EXPECT_EQ(f_.logged[0].second, FixedClock());
  EXPECT_EQ(f_.logged[0].first.description, "Motion detected");
}

TEST_F(EventMonitorTest, PopUpAndBeepFollowTheSettingsTheDvrAndTheMode) {
  f_.settings = EventPopupSettings{true, true, true, true, true, true, true, true};
  Event(1, kEventTypeMotion, 0, 0);
  Event(1, kEventTypeMotion, 0, 1);  // an end never beeps
  EXPECT_EQ(f_.grid, (Grid{"popup 0", "highlight 0 kind 1 on", "beep", "popup 0", "highlight 0 kind 1 off"}));

  // Another DVR: beeps, never touches the grid.
  f_.grid.clear();
  Event(2, kEventTypeMotion, 1, 0);
  Event(2, kEventTypeVideoLoss, 1, 0);
  EXPECT_EQ(f_.grid, (Grid{"beep", "beep"}));

  // Rotation running: highlights, no pop-up.
  f_.grid.clear();
  f_.rotating = true;
  Event(1, kEventTypeMotion, 3, 0);
  EXPECT_EQ(f_.grid, (Grid{"highlight 3 kind 1 on", "beep"}));

  // Not live: motion and video loss neither pop up, highlight nor beep.
  f_.grid.clear();
  f_.rotating = false;
  f_.live = false;
  Event(1, kEventTypeMotion, 3, 0);
  Event(1, kEventTypeVideoLoss, 3, 0);
  EXPECT_TRUE(f_.grid.empty());
  EXPECT_EQ(f_.rows.size(), 7u);  // every event still adds its row
}

TEST_F(EventMonitorTest, SensorFansOutToTheChannelsOfItsMask) {
  f_.settings.sensor = true;
  f_.settings.popup = true;
  f_.settings.beep = true;
  Event(1, kEventTypeSensor, 1, 0);  // mask 0b1000'0110: channels 1, 2 and 7
  EXPECT_EQ(f_.grid, (Grid{"popup 1", "highlight 1 kind 4 on", "beep", "popup 2", "highlight 2 kind 4 on", "popup 7",
                           "highlight 7 kind 4 on"}));
  ASSERT_EQ(f_.rows.size(), 4u);
  EXPECT_EQ(f_.rows[3].channel, "2");  // the sensor's own row first
  EXPECT_EQ(f_.rows[2].channel, "2");
  EXPECT_EQ(f_.rows[1].channel, "3");
  EXPECT_EQ(f_.rows[0].channel, "8");
  EXPECT_EQ(f_.rows[0].description, "Sensor triggered");
  EXPECT_EQ(f_.logged.size(), 4u);

  // A mask naming channels beyond the DVR's count, and a sensor index beyond
  // the masks kept: only rows for what exists.
  f_.grid.clear();
  f_.rows.clear();
  Event(1, kEventTypeSensor, 2, 1);  // 0xFFFF on an 8-channel DVR
  EXPECT_EQ(f_.rows.size(), 9u);
  EXPECT_EQ(f_.grid.back(), "highlight 7 kind 4 off");
  f_.rows.clear();
  Event(1, kEventTypeSensor, 40, 0);
  ASSERT_EQ(f_.rows.size(), 1u);
  EXPECT_EQ(f_.rows[0].channel, "41");
}

TEST_F(EventMonitorTest, VideoLossIsMarkedWhateverTheSettingsOnChannelsTheDvrHas) {
  Event(1, kEventTypeVideoLoss, 4, 0);
  Event(1, kEventTypeVideoLoss, 4, 1);
  Event(2, kEventTypeVideoLoss, 1, 0);  // not the current DVR
  EXPECT_EQ(f_.grid, (Grid{"loss 4 on", "loss 4 off"}));
  EXPECT_EQ(f_.rows[2].description, "Video lost");
  EXPECT_EQ(f_.rows[1].description, "Video restored");

  // Channels beyond the DVR's count: a row with the number as received,
  // nothing on the grid.
  f_.grid.clear();
  f_.settings = EventPopupSettings{true, true, true, true, true, true, true, true};
  Event(1, kEventTypeMotion, 8, 0);
  Event(1, kEventTypeVideoLoss, 65535, 0);
  EXPECT_EQ(f_.grid, (Grid{"beep", "beep"}));
  EXPECT_EQ(f_.rows[1].channel, "9");
  EXPECT_EQ(f_.rows[0].channel, "65536");
  Event(1, kEventTypeVideoLoss, 4, 0);
  EXPECT_EQ(f_.grid, (Grid{"beep", "beep", "loss 4 on", "popup 4", "highlight 4 kind 0 on", "beep"}));
}

TEST_F(EventMonitorTest, AlarmAndSystemBeepsAndTheSensorMapAfterStatus39) {
  f_.settings.beep = true;
  Event(1, kEventTypeAlarm, 2, 0);  // ALARMOUT not set: no beep
  f_.settings.alarm_out = true;
  Event(1, kEventTypeAlarm, 2, 1);  // off: no beep
  Event(1, kEventTypeAlarm, 0, 0);
  f_.settings.system = true;
  Event(1, kEventTypeSystem, 0xFFFF, 0, "disk\r\nfull");
  EXPECT_EQ(f_.grid, (Grid{"beep", "beep"}));
  EXPECT_EQ(f_.rows[1].description, "Alarm output on:port1");
  EXPECT_EQ(f_.rows[0].description, "disk  full");
  // A 79-byte text cut inside a two-byte character loses the half.
  std::string long_text(78, 'a');
  long_text += "\xC3\xA9";
  EventRecord r = Record(kEventTypeSystem, 0xFFFF, 0);
  std::memcpy(r.text, long_text.data(), 79);
  monitor_.OnSiteEvent(1, r);
  EXPECT_EQ(f_.rows[0].description, std::string(78, 'a'));

  monitor_.OnSiteCode(1, 39);
  Event(1, kEventTypeSystem, 0xFFFF, 0, "users changed");
  monitor_.OnSiteCode(1, 51);
  Event(1, kEventTypeSystem, 0xFFFF, 0, "again");
  EXPECT_EQ(f_.sensor_map_requests, (std::vector<int>{1}));

  // Other record types, and sites that are gone, add nothing.
  const size_t rows = f_.rows.size();
  Event(1, kEventTypeAck, 0, 0);
  Event(9, kEventTypeMotion, 0, 0);
  EXPECT_EQ(f_.rows.size(), rows);
}

}  // namespace
