#include "playback/playback_panel_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "playback/playback_session.h"
#include "protocol/commands.h"

namespace playback {

namespace {

// The next fast step: 1 -> 2 -> 3 -> 4 -> 2.
int NextStep(int step) {
  const int next = step + 1;
  return next < 2 || next > 4 ? 2 : next;
}

}  // namespace

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

void CPlaybackPanelModel::Open(uint32_t rights_word, int platform_code, const PanelTime& now) {
  if (open_) return;
  open_ = true;
  playback_allowed_ = (rights_word & kRightPlayback) != 0;
  backup_allowed_ = (rights_word & kRightBackup) != 0;
  platform_code_ = platform_code;
  state_ = kPanelStopped;
  forward_step_ = 1;
  backward_step_ = 1;
  speed_code_ = 0;
  map_year_ = 0;
  map_month_ = 0;
  std::memset(days_, 0, sizeof days_);
  std::memset(minutes_, 0, sizeof minutes_);
  selected_ = now;
  selection_enabled_ = false;
  transport_enabled_ = false;
  if (!playback_allowed_) return;

  port_.CreateSession();
  EnableForState();
  // The latest month that holds recordings: from year and month 0, every
  // later month in the answer moves the search on.
  port_.ClearSearchState();
  port_.SendMonthSearch(0, 0, kMonthLater);
  port_.StartSession();
}

void CPlaybackPanelModel::Close() {
  if (!open_) return;
  // The DVR is told first, while the connection is still up; the session
  // goes whether or not the DVR ever said it plays, so no worker outlives
  // the panel.
  const bool session = playback_allowed_ && port_.HasSession();
  if (session) port_.SendClose();
  state_ = kPanelClosed;
  if (speed_code_ != 0) {
    speed_code_ = 0;
    port_.SetSpeedCode(0);
  }
  if (session) port_.DeleteSession();
  open_ = false;
  selection_enabled_ = false;
  transport_enabled_ = false;
}

bool CPlaybackPanelModel::Enabled(PanelButton button) const {
  if (!open_) return false;
  switch (button) {
    case PanelButton::kBackup:
      return backup_allowed_;
    case PanelButton::kPlay:
    case PanelButton::kStepBackward:
    case PanelButton::kStepForward:
      return playback_allowed_ && selection_enabled_;
    case PanelButton::kStop:
    case PanelButton::kFastBackward:
    case PanelButton::kFastForward:
      return playback_allowed_ && transport_enabled_;
  }
  return false;
}

void CPlaybackPanelModel::EnableForState() {
  if (state_ == kPanelStopped || state_ == kPanelClosed) {
    selection_enabled_ = true;
    transport_enabled_ = false;
  } else if (state_ == kPanelPlaying) {
    selection_enabled_ = false;
    transport_enabled_ = true;
  }
  // The fast and single-step states keep what the state before them had.
}

void CPlaybackPanelModel::Press(PanelButton button) {
  if (!Enabled(button)) return;
  switch (button) {
    case PanelButton::kFastBackward: Fast(kDirectionBackward); break;
    case PanelButton::kStepBackward: StepRequest(kPanelAfter412A, cmd::kPlayback412A); break;
    case PanelButton::kStop: Stop(); break;
    case PanelButton::kPlay: Play(); break;
    case PanelButton::kStepForward: StepRequest(kPanelAfter4128, cmd::kPlayback4128); break;
    case PanelButton::kFastForward: Fast(kDirectionForward); break;
    case PanelButton::kBackup: break;  // the widget opens the backup sheet
  }
}

int CPlaybackPanelModel::SpeedLabel(int direction, int step) const {
  // Steps 2..4: -8X, -32X, -128X and 8X, 32X, 128X; the newest platform's
  // DVRs play 16, 32 and 64 times as fast and have labels of their own.
  const int base = direction == kDirectionBackward ? 1 : 4;
  return base + (step - 2) + (platform_code_ == 164 ? 6 : 0);
}

void CPlaybackPanelModel::Fast(int direction) {
  if (!SelectedMinuteMarked()) {
    port_.ShowMessage(kMsgNoRecording);
    return;
  }
  int step = 1;
  if (direction == kDirectionBackward) {
    state_ = kPanelFastBackward;
    forward_step_ = 1;
    step = backward_step_ = NextStep(backward_step_);
  } else {
    state_ = kPanelFastForward;
    backward_step_ = 1;
    step = forward_step_ = NextStep(forward_step_);
  }
  followed_channel_ = -1;
  port_.SetPosition(selected_);
  port_.PlayControl(kPlayActionPlay, direction, step);
  speed_code_ = SpeedLabel(direction, step);
  port_.SetSpeedCode(speed_code_);
}

void CPlaybackPanelModel::StepRequest(int state, uint16_t command) {
  if (!SelectedMinuteMarked()) {
    port_.ShowMessage(kMsgNoRecording);
    return;
  }
  speed_code_ = 0;
  port_.SetSpeedCode(0);
  if (state_ == kPanelClosed) return;
  state_ = state;
  port_.SendZeroRequest(command);
}

void CPlaybackPanelModel::Stop() {
  if (port_.HasSession()) port_.PlayControl(kPlayActionStop, kDirectionForward, 1);
  state_ = kPanelStopped;
  followed_channel_ = -1;
  speed_code_ = 0;
  port_.SetSpeedCode(0);
  EnableForState();
}

void CPlaybackPanelModel::Play() {
  if (!SelectedMinuteMarked()) {
    port_.ShowMessage(kMsgNoRecording);
    return;
  }
  forward_step_ = 1;
  backward_step_ = 1;
  if (state_ == kPanelPlaying) return;
  speed_code_ = 0;
  port_.SetSpeedCode(0);
  state_ = kPanelPlaying;
  followed_channel_ = -1;
  port_.SetPosition(selected_);
  port_.PlayControl(kPlayActionPlay, kDirectionForward, 1);
  EnableForState();
}

void CPlaybackPanelModel::SearchDay() {
  // Until the day's answer comes no minute counts as recorded.
  std::memset(minutes_, 0, sizeof minutes_);
  port_.SendDaySearch(selected_.year, selected_.month, selected_.day);
}

void CPlaybackPanelModel::ShowMonth(int year, int month) {
  if (!CalendarEnabled() || month < 1 || month > 12) return;
  if (year == map_year_ && month == map_month_) return;
  selected_.year = year;
  selected_.month = month;
  selected_.day = std::min(std::max(selected_.day, 1), DaysInMonth(year, month));
  map_year_ = year;
  map_month_ = month;
  std::memset(days_, 0, sizeof days_);
  std::memset(minutes_, 0, sizeof minutes_);
  // The kept maps belong to another month: start from empty ones.
  port_.ClearSearchState();
  port_.SendMonthSearch(year, month, kMonthKeep);
}

void CPlaybackPanelModel::SelectDay(int year, int month, int day) {
  if (!CalendarEnabled() || day < 1 || day > DaysInMonth(year, month)) return;
  selected_.year = year;
  selected_.month = month;
  selected_.day = day;
  if (year == map_year_ && month == map_month_ && DayMarked(day)) {
    SearchDay();
  } else {
    // Nothing recorded that day (or its month is still being searched).
    std::memset(minutes_, 0, sizeof minutes_);
  }
}

void CPlaybackPanelModel::SelectHour(int hour) {
  if (!SlidersEnabled() || hour < 0 || hour > 23) return;
  selected_.hour = hour;
  selected_.second = 0;
}

void CPlaybackPanelModel::SelectMinute(int minute) {
  if (!SlidersEnabled() || minute < 0 || minute > 59) return;
  selected_.minute = minute;
  selected_.second = 0;
}

bool CPlaybackPanelModel::HourMarked(int hour) const {
  if (hour < 0 || hour > 23) return false;
  return std::any_of(minutes_ + hour * 60, minutes_ + hour * 60 + 60, [](uint8_t m) { return m != 0; });
}

bool CPlaybackPanelModel::MinuteMarked(int hour, int minute) const {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return false;
  return minutes_[hour * 60 + minute] != 0;
}

void CPlaybackPanelModel::OnRecordDays(int year, int month, const uint8_t* days) {
  if (!open_ || !playback_allowed_ || days == nullptr) return;
  std::memcpy(days_, days, sizeof days_);
  map_year_ = year;
  map_month_ = month;
  // No month at all: the DVR holds no recordings; the selection stays.
  if (year <= 0 || month < 1 || month > 12) {
    std::memset(minutes_, 0, sizeof minutes_);
    return;
  }
  // Playing forward starts at the month's first recorded day; otherwise
  // the latest one is the likelier choice.
  const int days_in_month = DaysInMonth(year, month);
  int chosen = 0;
  for (int d = 1; d <= days_in_month; ++d) {
    if (!DayMarked(d)) continue;
    if (chosen == 0 || !(state_ == kPanelPlaying || state_ == kPanelFastForward)) chosen = d;
  }
  selected_.year = year;
  selected_.month = month;
  if (chosen == 0) {
    selected_.day = std::min(std::max(selected_.day, 1), days_in_month);
    std::memset(minutes_, 0, sizeof minutes_);
    return;
  }
  selected_.day = chosen;
  SearchDay();
}

void CPlaybackPanelModel::OnRecordMinutes(const uint8_t* minutes) {
  if (!open_ || !playback_allowed_ || minutes == nullptr) return;
  std::memcpy(minutes_, minutes, sizeof minutes_);
  const uint8_t* first = std::find_if(minutes_, minutes_ + 1440, [](uint8_t m) { return m != 0; });
  if (first == minutes_ + 1440) return;
  const int index = static_cast<int>(first - minutes_);
  selected_.hour = index / 60;
  selected_.minute = index % 60;
  selected_.second = 0;
}

namespace {

// Seconds since 1970 of a calendar time taken as UTC (days from the civil
// date), for comparing two capture times without the C library's zone.
int64_t CalendarSeconds(const PanelTime& t) {
  const int64_t y = t.year - (t.month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t year_of_era = y - era * 400;
  const int64_t day_of_year = (153 * (t.month + (t.month > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const int64_t days = era * 146097 + day_of_era - 719468;
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

}  // namespace

void CPlaybackPanelModel::OnPictureTime(int channel, const PanelTime& time) {
  if (!open_ || state_ == kPanelStopped || state_ == kPanelClosed) return;
  if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour < 0 || time.hour > 23 ||
      time.minute < 0 || time.minute > 59) {
    return;
  }
  if (followed_channel_ < 0 || channel < followed_channel_) followed_channel_ = channel;
  if (channel != followed_channel_) {
    // The followed channel's recording may end before the others': once
    // another channel's pictures run clearly ahead of the selection in the
    // playing direction, that channel is followed instead, so the shown
    // time keeps moving. Fast play shows pictures further apart.
    const int step = state_ == kPanelFastBackward ? backward_step_ : forward_step_;
    const int64_t allowed_s = int64_t{kTakeOverSeconds} << (step > 1 ? step - 1 : 0);
    const int64_t ahead_s = state_ == kPanelFastBackward ? CalendarSeconds(selected_) - CalendarSeconds(time)
                                                           : CalendarSeconds(time) - CalendarSeconds(selected_);
    if (ahead_s <= allowed_s) return;
    followed_channel_ = channel;
  }
  const PanelTime before = selected_;
  selected_ = time;
  if (time.year != before.year || time.month != before.month) {
    port_.ClearSearchState();
    port_.SendMonthSearch(time.year, time.month, kMonthKeep);
  } else if (time.day != before.day) {
    SearchDay();
  }
  // A picture of this minute was just shown, so the minute holds a
  // recording even before the day's answer says so.
  minutes_[time.hour * 60 + time.minute] = 1;
}

void CPlaybackPanelModel::OnStatus(int code) {
  // A report queued before the panel closed is stale.
  if (!open_ || !playback_allowed_ || state_ == kPanelClosed) return;
  if (code == kPlaybackStatusEnded) {
    Stop();
    port_.ClearSearchState();
    port_.SendMonthSearch(0, 0, kMonthLater);
    port_.RestartSession();
    port_.ResetPlaybackView();
  } else if (code == kPlaybackStatusRunning) {
    port_.CopyChannelNames();
    if (port_.ShowHiddenSetting()) port_.ShowHiddenChannels();
  }
}

std::string CPlaybackPanelModel::DateTimeText() const {
  char text[64];
  std::snprintf(text, sizeof text, "  %04d/%02d/%02d    %02d:%02d:%02d", selected_.year, selected_.month, selected_.day,
                selected_.hour, selected_.minute, selected_.second);
  return text;
}

}  // namespace playback
