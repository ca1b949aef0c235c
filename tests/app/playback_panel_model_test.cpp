// The remote playback panel's rules against a fake port that writes down
// every request in order: opening, the search answers' choices, the
// transport buttons per state with their speed steps and labels, the
// refusal without a recording, the session's status reports, the selection
// following the pictures, and closing.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "playback/playback_panel_model.h"

namespace {

using playback::CPlaybackPanelModel;
using playback::PanelButton;
using playback::PanelTime;

class FakePort : public playback::IPlaybackPanelPort {
 public:
  std::vector<std::string> calls;
  bool session = false;
  bool show_hidden = false;

  void ClearSearchState() override { calls.push_back("clear"); }
  void SendMonthSearch(int y, int m, int mode) override { Add("month", y, m, mode); }
  void SendDaySearch(int y, int m, int d) override { Add("day", y, m, d); }
  void CreateSession() override {
    session = true;
    calls.push_back("create");
  }
  bool HasSession() override { return session; }
  void StartSession() override { calls.push_back("start"); }
  void RestartSession() override { calls.push_back("restart"); }
  void SendClose() override { calls.push_back("4112"); }
  void DeleteSession() override {
    session = false;
    calls.push_back("delete");
  }
  void SetPosition(const PanelTime& t) override { Add("4126", t.day, t.hour, t.minute); }
  void PlayControl(int a, int d, int s) override { Add("412C", a, d, s); }
  void SendZeroRequest(uint16_t command) override { calls.push_back(command == 0x4128 ? "4128" : "412A"); }
  void ShowHiddenChannels() override { calls.push_back("7911"); }
  void SetSpeedCode(int code) override { Add("speed", code); }
  void ResetPlaybackView() override { calls.push_back("reset-view"); }
  void CopyChannelNames() override { calls.push_back("names"); }
  void ShowMessage(int n) override { Add("message", n); }
  bool ShowHiddenSetting() override { return show_hidden; }

  std::vector<std::string> Take() { return std::exchange(calls, {}); }

 private:
  void Add(const char* what, int a, int b = -1, int c = -1) {
    std::string s = std::string(what) + " " + std::to_string(a);
    if (b >= 0) s += " " + std::to_string(b);
    if (c >= 0) s += " " + std::to_string(c);
    calls.push_back(s);
  }
};

using Calls = std::vector<std::string>;

class PlaybackPanelModelTest : public ::testing::Test {
 protected:
  // Open with every right, then the answers: days 3, 9 and 20 of March
  // 2026; minutes 10:05..10:07 and 14:00 of the chosen day.
  void OpenWithRecordings(int platform = 163) {
    model.Open(15, platform, PanelTime{2026, 4, 2, 8, 30, 15});
    uint8_t days[31] = {};
    days[2] = days[8] = days[19] = 1;
    model.OnRecordDays(2026, 3, days);
    uint8_t minutes[1440] = {};
    minutes[10 * 60 + 5] = minutes[10 * 60 + 6] = minutes[10 * 60 + 7] = minutes[14 * 60] = 1;
    model.OnRecordMinutes(minutes);
    port.Take();
  }

  FakePort port;
  CPlaybackPanelModel model{port};
};

TEST_F(PlaybackPanelModelTest, OpeningFollowsTheRights) {
  model.Open(15, 163, PanelTime{2026, 4, 2, 8, 30, 15});
  EXPECT_EQ(port.Take(), (Calls{"create", "clear", "month 0 0 2", "start"}));
  EXPECT_EQ(model.State(), kPanelStopped);
  EXPECT_EQ(model.DateTimeText(), "  2026/04/02    08:30:15");
  for (PanelButton b :
       {PanelButton::kPlay, PanelButton::kStepBackward, PanelButton::kStepForward, PanelButton::kBackup})
    EXPECT_TRUE(model.Enabled(b));
  for (PanelButton b : {PanelButton::kStop, PanelButton::kFastBackward, PanelButton::kFastForward})
    EXPECT_FALSE(model.Enabled(b));
  EXPECT_TRUE(model.CalendarEnabled());

  // Backup only: no session, nothing sent, only the backup button.
  FakePort backup_port;
  CPlaybackPanelModel backup_only(backup_port);
  backup_only.Open(4, 163, PanelTime{2026, 4, 2, 8, 30, 15});
  EXPECT_TRUE(backup_port.calls.empty());
  EXPECT_TRUE(backup_only.Enabled(PanelButton::kBackup));
  EXPECT_FALSE(backup_only.Enabled(PanelButton::kPlay));
  EXPECT_FALSE(backup_only.CalendarEnabled());
  backup_only.Press(PanelButton::kPlay);
  backup_only.OnStatus(15);
  EXPECT_TRUE(backup_port.calls.empty());
}

TEST_F(PlaybackPanelModelTest, AnswersChooseTheDayAndMinute) {
  model.Open(15, 163, PanelTime{2026, 4, 2, 8, 30, 15});
  port.Take();
  uint8_t days[31] = {};
  days[2] = days[8] = days[19] = 1;
  // Stopped: the latest recorded day of the kept month.
  model.OnRecordDays(2026, 3, days);
  EXPECT_EQ(port.Take(), (Calls{"day 2026 3 20"}));
  uint8_t minutes[1440] = {};
  minutes[14 * 60 + 30] = minutes[10 * 60 + 5] = 1;
  model.OnRecordMinutes(minutes);
  EXPECT_EQ(model.DateTimeText(), "  2026/03/20    10:05:00");

  // Playing: the first recorded day.
  model.Press(PanelButton::kPlay);
  port.Take();
  model.OnRecordDays(2026, 3, days);
  EXPECT_EQ(port.Take(), (Calls{"day 2026 3 3"}));

  // A month without recordings, and a DVR without any: no day is searched.
  uint8_t none[31] = {};
  model.OnRecordDays(2026, 5, none);
  model.OnRecordDays(0, 0, none);
  EXPECT_TRUE(port.Take().empty());
  EXPECT_FALSE(model.MinuteMarked(10, 5));
}

TEST_F(PlaybackPanelModelTest, NoRecordingAtTheSelectedMinuteSendsNothing) {
  OpenWithRecordings();
  model.SelectHour(11);
  for (PanelButton b : {PanelButton::kPlay, PanelButton::kStepForward, PanelButton::kStepBackward}) {
    model.Press(b);
    EXPECT_EQ(port.Take(), (Calls{"message 36"}));
    EXPECT_EQ(model.State(), kPanelStopped);
  }
  // A day without recordings has no recorded minute either.
  model.SelectHour(10);
  model.SelectDay(2026, 3, 4);
  model.Press(PanelButton::kPlay);
  EXPECT_EQ(port.Take(), (Calls{"message 36"}));
  // A recorded day is searched again.
  model.SelectDay(2026, 3, 9);
  EXPECT_EQ(port.Take(), (Calls{"day 2026 3 9"}));
}

TEST_F(PlaybackPanelModelTest, TransportButtonsAndSpeedSteps) {
  OpenWithRecordings();
  model.Press(PanelButton::kPlay);
  EXPECT_EQ(port.Take(), (Calls{"speed 0", "4126 20 10 5", "412C 1 0 1"}));
  EXPECT_EQ(model.State(), kPanelPlaying);
  EXPECT_FALSE(model.Enabled(PanelButton::kPlay));
  EXPECT_FALSE(model.CalendarEnabled());
  EXPECT_TRUE(model.Enabled(PanelButton::kFastForward));

  // Fast forward four times: steps 2, 3, 4, 2 with labels 8X, 32X, 128X.
  Calls expected;
  for (int step : {2, 3, 4, 2}) {
    model.Press(PanelButton::kFastForward);
    expected.insert(expected.end(), {"4126 20 10 5", "412C 1 0 " + std::to_string(step),
                                     "speed " + std::to_string(step + 2)});
  }
  EXPECT_EQ(port.Take(), expected);
  EXPECT_EQ(model.State(), kPanelFastForward);
  // Fast backward starts its own steps and resets the forward one.
  model.Press(PanelButton::kFastBackward);
  EXPECT_EQ(port.Take(), (Calls{"4126 20 10 5", "412C 1 1 2", "speed 1"}));
  EXPECT_EQ(model.ForwardStep(), 1);
  model.Press(PanelButton::kFastForward);
  EXPECT_EQ(port.Take(), (Calls{"4126 20 10 5", "412C 1 0 2", "speed 4"}));

  model.Press(PanelButton::kStop);
  EXPECT_EQ(port.Take(), (Calls{"412C 2 0 1", "speed 0"}));
  EXPECT_EQ(model.State(), kPanelStopped);
  EXPECT_FALSE(model.Enabled(PanelButton::kStop));
  EXPECT_FALSE(model.Enabled(PanelButton::kFastForward));

  // The single-step requests from stopped leave the buttons as they were.
  model.Press(PanelButton::kStepForward);
  EXPECT_EQ(port.Take(), (Calls{"speed 0", "4128"}));
  EXPECT_EQ(model.State(), kPanelAfter4128);
  model.Press(PanelButton::kStepBackward);
  EXPECT_EQ(port.Take(), (Calls{"speed 0", "412A"}));
  EXPECT_EQ(model.State(), kPanelAfter412A);
  EXPECT_TRUE(model.Enabled(PanelButton::kPlay));
  EXPECT_FALSE(model.Enabled(PanelButton::kStop));
}

TEST_F(PlaybackPanelModelTest, NewestPlatformHasItsOwnSpeedLabels) {
  OpenWithRecordings(164);
  model.Press(PanelButton::kPlay);
  model.Press(PanelButton::kFastBackward);
  EXPECT_EQ(model.SpeedCode(), 7);
  model.Press(PanelButton::kFastBackward);
  EXPECT_EQ(model.SpeedCode(), 8);
  model.Press(PanelButton::kFastForward);
  EXPECT_EQ(model.SpeedCode(), 10);
}

TEST_F(PlaybackPanelModelTest, SessionStatusRestartsOrShowsNames) {
  OpenWithRecordings();
  model.Press(PanelButton::kPlay);
  port.Take();
  model.OnStatus(57);
  EXPECT_EQ(port.Take(), (Calls{"names"}));
  port.show_hidden = true;
  model.OnStatus(57);
  EXPECT_EQ(port.Take(), (Calls{"names", "7911"}));

  // The DVR ended playback: stopped, a new search from the latest month,
  // the session started again, the grid's playback view reset.
  model.OnStatus(15);
  EXPECT_EQ(port.Take(), (Calls{"412C 2 0 1", "speed 0", "clear", "month 0 0 2", "restart", "reset-view"}));
  EXPECT_EQ(model.State(), kPanelStopped);
  EXPECT_TRUE(model.Enabled(PanelButton::kPlay));
}

TEST_F(PlaybackPanelModelTest, SelectionFollowsThePictures) {
  OpenWithRecordings();
  // Stopped: pictures do not move the selection.
  model.OnPictureTime(0, PanelTime{2026, 3, 20, 10, 6, 1});
  EXPECT_EQ(model.DateTimeText(), "  2026/03/20    10:05:00");
  model.Press(PanelButton::kPlay);
  port.Take();
  model.OnPictureTime(0, PanelTime{2026, 3, 20, 10, 9, 41});
  EXPECT_EQ(model.DateTimeText(), "  2026/03/20    10:09:41");
  // Another channel a second behind does not pull the selection back.
  model.OnPictureTime(2, PanelTime{2026, 3, 20, 10, 9, 40});
  EXPECT_EQ(model.DateTimeText(), "  2026/03/20    10:09:41");
  EXPECT_TRUE(port.Take().empty());
  // Channel 0's recording ends: once channel 2 runs well ahead, the
  // selection follows it.
  model.OnPictureTime(2, PanelTime{2026, 3, 20, 10, 9, 46});
  EXPECT_EQ(model.DateTimeText(), "  2026/03/20    10:09:41");
  model.OnPictureTime(2, PanelTime{2026, 3, 20, 10, 9, 47});
  EXPECT_EQ(model.DateTimeText(), "  2026/03/20    10:09:47");
  model.OnPictureTime(0, PanelTime{2026, 3, 20, 10, 9, 48});
  EXPECT_EQ(model.DateTimeText(), "  2026/03/20    10:09:48");
  // A minute the day's answer did not mark, but a picture came from.
  EXPECT_TRUE(model.MinuteMarked(10, 9));
  model.OnPictureTime(0, PanelTime{2026, 3, 21, 0, 0, 2});
  EXPECT_EQ(port.Take(), (Calls{"day 2026 3 21"}));
  model.OnPictureTime(0, PanelTime{2026, 4, 1, 0, 0, 3});
  EXPECT_EQ(port.Take(), (Calls{"clear", "month 2026 4 0"}));
  // The fast buttons play from where the pictures are.
  model.Press(PanelButton::kFastForward);
  EXPECT_EQ(port.Take().front(), "4126 1 0 0");
}

TEST_F(PlaybackPanelModelTest, ClosingBeforeTheDvrPlaysDeletesTheSession) {
  OpenWithRecordings();
  model.Close();
  EXPECT_EQ(port.Take(), (Calls{"4112", "delete"}));
  EXPECT_EQ(model.State(), kPanelClosed);
  EXPECT_FALSE(model.Enabled(PanelButton::kPlay));
  // Reports still queued when the panel closed change nothing.
  model.OnStatus(15);
  model.OnStatus(57);
  uint8_t days[31] = {1};
  model.OnRecordDays(2026, 3, days);
  model.Press(PanelButton::kStepForward);
  EXPECT_TRUE(port.Take().empty());

  // A fast speed's label goes with the panel.
  OpenWithRecordings();
  model.Press(PanelButton::kPlay);
  model.Press(PanelButton::kFastForward);
  port.Take();
  model.Close();
  EXPECT_EQ(port.Take(), (Calls{"4112", "speed 0", "delete"}));
}

}  // namespace
