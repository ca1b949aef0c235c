#include "app/config_pages.h"

#include <algorithm>

#include "app/text_ids.h"

namespace app {

const std::array<ConfigCheck, CEventPopupState::kCount>& CEventPopupState::Checks() {
  static const std::array<ConfigCheck, kCount> checks = {{
      {kEvtPopup, text::kStrEvtPopup, "Show the event pop-up"},
      {kEvtHighlight, text::kStrEvtHighlight, "Highlight the channel"},
      {kEvtBeep, text::kStrEvtBeep, "Beep"},
      {kEvtVideoLoss, text::kStrEvtVideoLoss, "Video loss"},
      {kEvtMotion, text::kStrEvtMotion, "Motion"},
      {kEvtSensor, text::kStrEvtSensor, "Sensor"},
      {kEvtAlarmOut, text::kStrEvtAlarmOut, "Alarm output"},
      {kEvtSystem, text::kStrEvtSystem, "System"},
  }};
  return checks;
}

void CEventPopupState::Load() {
  for (size_t i = 0; i < checked_.size(); ++i) checked_[i] = ReadConfigFlag(Checks()[i].flag);
}

bool CEventPopupState::Toggle(int i, bool on) {
  if (i < 0 || i >= kCount) return false;
  const size_t k = static_cast<size_t>(i);
  if (!WriteConfigFlag(Checks()[k].flag, on)) {
    checked_[k] = ReadConfigFlag(Checks()[k].flag);
    return false;
  }
  checked_[k] = on;
  return true;
}

void CNetworkState::Load() {
  const NetworkSettings s = ReadNetworkSettings();
  show_covert_ = s.show_covert;
  ch_mask_ = s.ch_mask;
  live_off_ = s.live_off;
  connection_index_ = TimeoutChoiceIndex(StoredConnectionTimeoutS());
  data_index_ = TimeoutChoiceIndex(StoredDataTimeoutS());
}

namespace {

// Writes a check box's key; on failure the state follows the file again.
bool WriteFlag(const ConfigFlag& flag, bool on, bool* state) {
  if (!WriteConfigFlag(flag, on)) {
    *state = ReadConfigFlag(flag);
    return false;
  }
  *state = on;
  return true;
}

}  // namespace

bool CNetworkState::SetShowCovert(bool on) { return WriteFlag(kHiddenShow, on, &show_covert_); }
bool CNetworkState::SetChMask(bool on) { return WriteFlag(kNetworkChMask, on, &ch_mask_); }
bool CNetworkState::SetLiveOff(bool on) { return WriteFlag(kNetworkLiveOff, on, &live_off_); }

bool CNetworkState::Save() {
  const bool ok = WriteConnectionTimeoutS(TimeoutChoiceSeconds(connection_index_));
  return WriteDataTimeoutS(TimeoutChoiceSeconds(data_index_)) && ok;
}

const std::array<ConfigCheck, COsdState::kCount>& COsdState::Checks() {
  static const std::array<ConfigCheck, kCount> checks = {{
      {kOsdCameraNum, text::kStrOsdCameraNumber, "Camera number"},
      {kOsdCameraName, text::kStrOsdCameraName, "Camera name"},
      {kOsdSiteAddr, text::kStrOsdSiteAddress, "Site address"},
      {kOsdPlayName, text::kStrOsdSiteName, "Site name"},
      {kOsdSpeed, text::kStrOsdSpeed, "Bit rate (BPS)"},
      {kOsdTime, text::kStrOsdTime, "Time"},
  }};
  return checks;
}

void COsdState::Load() {
  const OsdSettings s = ReadOsdSettings();
  checked_ = {s.camera_num, s.camera_name, s.site_addr, s.play_name, s.speed, s.time};
  time_format_ = (s.time_format == kTimeFormatYmd || s.time_format == kTimeFormatMdy) ? s.time_format
                                                                                       : kTimeFormatDmy;
}

void COsdState::SetChecked(int i, bool on) {
  if (i >= 0 && i < kCount) checked_[static_cast<size_t>(i)] = on;
}

void COsdState::SetTimeFormatIndex(int index) { time_format_ = std::clamp(index, 0, kTimeFormatDmy); }

OsdSettings COsdState::Settings() const {
  OsdSettings s;
  s.camera_num = checked_[0];
  s.camera_name = checked_[1];
  s.site_addr = checked_[2];
  s.play_name = checked_[3];
  s.speed = checked_[4];
  s.time = checked_[5];
  s.time_format = time_format_;
  return s;
}

bool COsdState::Set() { return WriteOsdSettings(Settings()); }

void CVideoState::SetIndex(int index) { index_ = std::clamp(index, 0, kMaxRotatingTime); }

}  // namespace app
