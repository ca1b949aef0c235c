// The remote playback panel's rules without widgets: its state, the fast
// speed steps, the selected date and time, the record maps of the searched
// month and day, what each transport button sends and which controls are
// enabled, what the search answers choose, how the selection follows the
// pictures, and what the playback session's status reports start. The panel
// widget forwards the operator's presses and the site's reports here and
// paints what this decides; everything the rules send or show goes through
// IPlaybackPanelPort, so they are tested with a fake.
#pragma once
#include <cstdint>
#include <string>

#include "playback/playback_consumer.h"

namespace playback {

// The panel's states are those the frame consumer reads
// (PlaybackPanelState); its selected time is a PlaybackTime.
using PanelTime = ::PlaybackTime;

// Play-control values (0x412C).
inline constexpr int kPlayActionPlay = 1;
inline constexpr int kPlayActionStop = 2;
inline constexpr int kDirectionForward = 0;
inline constexpr int kDirectionBackward = 1;

// Month search modes: keep the month, move to an earlier month found in the
// answer, move to a later one.
inline constexpr int kMonthKeep = 0;
inline constexpr int kMonthEarlier = 1;
inline constexpr int kMonthLater = 2;

// The MESSAGE text shown when the selected minute holds no recording.
inline constexpr int kMsgNoRecording = 36;

// The rights word's bits for this panel.
inline constexpr uint32_t kRightPlayback = 2;
inline constexpr uint32_t kRightBackup = 4;

// The panel's buttons, the transport ones from left to right.
enum class PanelButton { kFastBackward, kStepBackward, kStop, kPlay, kStepForward, kFastForward, kBackup };
inline constexpr int kTransportButtons = 6;

// Days in a month of the Gregorian calendar (0 for a month outside 1..12).
int DaysInMonth(int year, int month);

// What the rules ask of the site, its playback session, the grid and the
// operator. Called on the user-interface thread only.
class IPlaybackPanelPort {
 public:
  virtual ~IPlaybackPanelPort() = default;
  // The control connection's search: forget the kept month, both maps and
  // the answers counted so far; keep (year, month, mode) and send 0x4067;
  // send 0x4061 for one day.
  virtual void ClearSearchState() = 0;
  virtual void SendMonthSearch(int year, int month, int mode) = 0;
  virtual void SendDaySearch(int year, int month, int day) = 0;
  // The playback session: made when the panel opens, started on the site's
  // address, base port + 2, with the control session's session id;
  // restarted (the ended worker joined first) with the session id of the
  // moment; closed with 0x4112 and then stopped and deleted.
  virtual void CreateSession() = 0;
  virtual bool HasSession() = 0;
  virtual void StartSession() = 0;
  virtual void RestartSession() = 0;
  virtual void SendClose() = 0;
  virtual void DeleteSession() = 0;
  // Requests on the playback connection.
  virtual void SetPosition(const PanelTime& time) = 0;                // 0x4126
  virtual void PlayControl(int action, int direction, int step) = 0;  // 0x412C
  virtual void SendZeroRequest(uint16_t command) = 0;                 // 0x4128, 0x412A
  virtual void ShowHiddenChannels() = 0;                              // 0x7911
  // The grid.
  virtual void SetSpeedCode(int code) = 0;
  virtual void ResetPlaybackView() = 0;
  virtual void CopyChannelNames() = 0;
  // The operator and the local settings.
  virtual void ShowMessage(int message_number) = 0;
  virtual bool ShowHiddenSetting() = 0;  // "HIDDEN" "SHOW" is 1
};

class CPlaybackPanelModel {
 public:
  explicit CPlaybackPanelModel(IPlaybackPanelPort& port) : port_(port) {}

  // Opens the panel for a site with these rights. Without the playback
  // right nothing is created or sent and only the backup button may be
  // enabled; with it the session is made, the selection becomes `now`, the
  // latest recorded month is searched and the session started.
  void Open(uint32_t rights_word, int platform_code, const PanelTime& now);
  // Sends 0x4112 and deletes the session (whether or not the DVR ever said
  // it plays); the state becomes closed. Nothing is sent afterwards.
  void Close();
  bool IsOpen() const { return open_; }

  // A press of a panel button. Presses of disabled buttons do nothing.
  void Press(PanelButton button);

  // The operator's choices in the calendar and on the sliders.
  void ShowMonth(int year, int month);
  void SelectDay(int year, int month, int day);
  void SelectHour(int hour);
  void SelectMinute(int minute);

  // Data code 55: the kept year and month and their 31-day map (index
  // day - 1). Data code 56: the 1440-minute map of the searched day.
  void OnRecordDays(int year, int month, const uint8_t* days);
  void OnRecordMinutes(const uint8_t* minutes);
  // A channel's picture with a new capture time was shown. The selection
  // follows one channel, the lowest that reports, so that channels a second
  // apart do not pull it to and fro (and across midnight, searches). When
  // another channel runs more than kTakeOverSeconds (times the fast speed)
  // ahead in the playing direction, the followed one has stopped and that
  // channel is followed.
  static constexpr int kTakeOverSeconds = 5;
  void OnPictureTime(int channel, const PanelTime& time);
  // A status of the playback session (57 running, 15 ended).
  void OnStatus(int code);

  int State() const { return state_; }
  int ForwardStep() const { return forward_step_; }
  int BackwardStep() const { return backward_step_; }
  int SpeedCode() const { return speed_code_; }
  const PanelTime& Selected() const { return selected_; }
  // "  YYYY/MM/DD    hh:mm:ss" of the selection.
  std::string DateTimeText() const;

  bool PlaybackAllowed() const { return playback_allowed_; }
  bool Enabled(PanelButton button) const;
  bool CalendarEnabled() const { return playback_allowed_ && selection_enabled_; }
  bool SlidersEnabled() const { return playback_allowed_ && selection_enabled_; }

  // The maps last delivered: the month they belong to (0 before the first
  // answer) and whether a day, an hour or a minute holds recordings.
  int MapYear() const { return map_year_; }
  int MapMonth() const { return map_month_; }
  bool DayMarked(int day) const { return day >= 1 && day <= 31 && days_[day - 1] != 0; }
  bool HourMarked(int hour) const;
  bool MinuteMarked(int hour, int minute) const;

 private:
  // Fast backward and fast forward share this: advance the step (1 -> 2 ->
  // 3 -> 4 -> 2), position, play.
  void Fast(int direction);
  void StepRequest(int state, uint16_t command);
  void Stop();
  void Play();
  // The stopped state's controls (states 0 and 6), or the playing state's.
  void EnableForState();
  void SearchDay();
  bool SelectedMinuteMarked() const { return MinuteMarked(selected_.hour, selected_.minute); }
  int SpeedLabel(int direction, int step) const;

  IPlaybackPanelPort& port_;
  bool open_ = false;
  bool playback_allowed_ = false;
  bool backup_allowed_ = false;
  int platform_code_ = 0;
  int state_ = kPanelClosed;
  int forward_step_ = 1;
  int backward_step_ = 1;
  int speed_code_ = 0;
  PanelTime selected_;
  // Enabled controls: play and the two request buttons with the calendar
  // and sliders, or stop with the two fast buttons.
  bool selection_enabled_ = false;
  bool transport_enabled_ = false;
  int map_year_ = 0;
  int map_month_ = 0;
  uint8_t days_[31] = {};
  uint8_t minutes_[1440] = {};
  int followed_channel_ = -1;  // -1: the next reporting channel is taken
};

}  // namespace playback
