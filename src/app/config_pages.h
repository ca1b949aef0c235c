// The rules of the local configuration sheet's pages, without widgets: what
// each page shows from tavrel_config.ini and what each change writes.
//  - "Event Popup": every check box writes its key at once.
//  - "Network": the check boxes write at once; the two time-out drop-downs
//    ("10"/"60") are written when the sheet is saved, so a stored value the
//    drop-down cannot show (say 30) stays in use until then.
//  - "OSD": "Set" writes all seven keys.
//  - "Video Display": the rotation choice is written when the sheet is saved.
// The write operations return false when the file could not be written.
#pragma once
#include <array>

#include "sites/local_settings.h"

namespace app {

// A check box bound to one boolean key, with its label: the STRINGS number
// and the English text used when the language file has none.
struct ConfigCheck {
  ConfigFlag flag;
  int text;
  const char* fallback;
};

class CEventPopupState {
 public:
  static constexpr int kCount = 8;
  static const std::array<ConfigCheck, kCount>& Checks();

  void Load();
  bool Checked(int i) const { return i >= 0 && i < kCount && checked_[static_cast<size_t>(i)]; }
  bool Toggle(int i, bool on);

 private:
  std::array<bool, kCount> checked_{};
};

class CNetworkState {
 public:
  void Load();
  bool ShowCovert() const { return show_covert_; }
  bool ChMask() const { return ch_mask_; }
  bool LiveOff() const { return live_off_; }
  bool SetShowCovert(bool on);
  bool SetChMask(bool on);
  bool SetLiveOff(bool on);

  // Drop-down indexes: 0 is "10", 1 is "60".
  int ConnectionIndex() const { return connection_index_; }
  int DataIndex() const { return data_index_; }
  void SetConnectionIndex(int index) { connection_index_ = index == 1 ? 1 : 0; }
  void SetDataIndex(int index) { data_index_ = index == 1 ? 1 : 0; }
  bool Save();

 private:
  bool show_covert_ = false;
  bool ch_mask_ = true;
  bool live_off_ = true;
  int connection_index_ = 1;
  int data_index_ = 1;
};

class COsdState {
 public:
  static constexpr int kCount = 6;  // the check boxes; the time format is apart
  static const std::array<ConfigCheck, kCount>& Checks();

  void Load();
  bool Checked(int i) const { return i >= 0 && i < kCount && checked_[static_cast<size_t>(i)]; }
  void SetChecked(int i, bool on);
  // Index into "YY/MM/DD", "MM/DD/YY", "DD/MM/YY"; a stored value other
  // than 0 and 1 shows as the third, as the views show it.
  int TimeFormatIndex() const { return time_format_; }
  void SetTimeFormatIndex(int index);
  OsdSettings Settings() const;
  // "Set".
  bool Set();

 private:
  std::array<bool, kCount> checked_{};
  int time_format_ = kTimeFormatYmd;
};

class CVideoState {
 public:
  void Load() { index_ = ReadRotatingTime(); }
  // Index into "1" ... "60" seconds.
  int Index() const { return index_; }
  void SetIndex(int index);
  bool Save() const { return WriteRotatingTime(index_); }

 private:
  int index_ = kDefaultRotatingTime;
};

}  // namespace app
