#include "sites/local_settings.h"

#include <algorithm>

#include "platform/profile.h"
#include "platform/user_folder.h"

namespace {

int ReadConfigInt(const char* section, const char* key, int def) {
  return platform::GetProfileInt(ConfigFilePath(), section, key, def);
}

bool WriteConfigInt(const char* section, const char* key, int value) {
  return platform::WriteProfileInt(ConfigFilePath(), section, key, value);
}

int BoundTimeout(int stored, int default_s) {
  if (stored < 1) return default_s;
  return std::min(stored, kMaxTimeoutS);
}

struct PathKey {
  const char* section;
  const char* key;
};

PathKey KeyOf(ClientFolder which) {
  switch (which) {
    case ClientFolder::kBackup: return {"BACKUP", "PATH"};
    case ClientFolder::kChannelBackup: return {"CHB", "PATH"};
    case ClientFolder::kLocalPlayback: return {"LPB", "PATH"};
    case ClientFolder::kConvertInput: return {"CONVERT", "INPUT"};
    case ClientFolder::kConvertOutput: return {"CONVERT", "OUTPUT"};
    case ClientFolder::kSnapshot: return {"SNAPSHOT", "PATH"};
  }
  return {"BACKUP", "PATH"};
}

}  // namespace

std::string ConfigFilePath() { return platform::UserFile(kConfigFileName); }
std::string ClientPathFilePath() { return platform::UserFile(kClientPathFileName); }

bool ReadConfigFlag(const ConfigFlag& flag) { return ReadConfigInt(flag.section, flag.key, flag.def ? 1 : 0) != 0; }

bool WriteConfigFlag(const ConfigFlag& flag, bool on) { return WriteConfigInt(flag.section, flag.key, on ? 1 : 0); }

int StoredConnectionTimeoutS() { return ReadConfigInt("TIMEOUT", "CONNECTION", kDefaultConnectionTimeoutS); }
int StoredDataTimeoutS() { return ReadConfigInt("TIMEOUT", "DATA", kDataTimeoutConfigS); }

int ConnectionTimeoutS() { return BoundTimeout(StoredConnectionTimeoutS(), kDefaultConnectionTimeoutS); }

int DataTimeoutS(int default_s) {
  return BoundTimeout(ReadConfigInt("TIMEOUT", "DATA", default_s), default_s);
}

bool WriteConnectionTimeoutS(int seconds) { return WriteConfigInt("TIMEOUT", "CONNECTION", seconds); }
bool WriteDataTimeoutS(int seconds) { return WriteConfigInt("TIMEOUT", "DATA", seconds); }

EventPopupSettings ReadEventPopupSettings() {
  EventPopupSettings s;
  s.popup = ReadConfigFlag(kEvtPopup);
  s.highlight = ReadConfigFlag(kEvtHighlight);
  s.beep = ReadConfigFlag(kEvtBeep);
  s.video_loss = ReadConfigFlag(kEvtVideoLoss);
  s.motion = ReadConfigFlag(kEvtMotion);
  s.sensor = ReadConfigFlag(kEvtSensor);
  s.alarm_out = ReadConfigFlag(kEvtAlarmOut);
  s.system = ReadConfigFlag(kEvtSystem);
  return s;
}

NetworkSettings ReadNetworkSettings() {
  NetworkSettings s;
  s.show_covert = ReadConfigFlag(kHiddenShow);
  s.ch_mask = ReadConfigFlag(kNetworkChMask);
  s.live_off = ReadConfigFlag(kNetworkLiveOff);
  return s;
}

bool ShowCovertChannels() { return ReadConfigFlag(kHiddenShow); }

OsdSettings ReadOsdSettings() {
  OsdSettings s;
  s.camera_num = ReadConfigFlag(kOsdCameraNum);
  s.camera_name = ReadConfigFlag(kOsdCameraName);
  s.site_addr = ReadConfigFlag(kOsdSiteAddr);
  s.play_name = ReadConfigFlag(kOsdPlayName);
  s.speed = ReadConfigFlag(kOsdSpeed);
  s.time = ReadConfigFlag(kOsdTime);
  s.time_format = ReadConfigInt("OSD", "TIME_FORMAT", kTimeFormatYmd);
  return s;
}

bool WriteOsdSettings(const OsdSettings& osd) {
  // Every key is attempted even after a failure, so one bad write does not
  // keep the others from being saved.
  bool ok = WriteConfigFlag(kOsdCameraNum, osd.camera_num);
  ok = WriteConfigFlag(kOsdCameraName, osd.camera_name) && ok;
  ok = WriteConfigFlag(kOsdSiteAddr, osd.site_addr) && ok;
  ok = WriteConfigFlag(kOsdPlayName, osd.play_name) && ok;
  ok = WriteConfigFlag(kOsdSpeed, osd.speed) && ok;
  ok = WriteConfigFlag(kOsdTime, osd.time) && ok;
  ok = WriteConfigInt("OSD", "TIME_FORMAT", osd.time_format) && ok;
  return ok;
}

int OsdFlagsFromSettings(const OsdSettings& osd) {
  int flags = 0x1000;
  if (osd.camera_num) flags |= 0x1;
  if (osd.camera_name) flags |= 0x2;
  if (osd.play_name) flags |= 0x4;
  if (osd.site_addr) flags |= 0x8;
  if (osd.speed) flags |= 0xF0;
  if (osd.time) {
    if (osd.time_format == kTimeFormatYmd) {
      flags |= 0x100;
    } else if (osd.time_format == kTimeFormatMdy) {
      flags |= 0x200;
    } else {
      flags |= 0x400;
    }
  }
  return flags;
}

int ReadRotatingTime() {
  return std::clamp(ReadConfigInt("VIDEO", "ROTATING_TIME", kDefaultRotatingTime), 0, kMaxRotatingTime);
}

bool WriteRotatingTime(int index) {
  return WriteConfigInt("VIDEO", "ROTATING_TIME", std::clamp(index, 0, kMaxRotatingTime));
}

int RotationPeriodMs() { return ReadRotatingTime() * 1000 + 1000; }

std::string GetClientPath(ClientFolder which) {
  const PathKey k = KeyOf(which);
  std::string path = platform::GetProfileString(ClientPathFilePath(), k.section, k.key, "");
  // A path over the limit was not written by this program; a shortened one
  // would name some other folder, so it reads as unset.
  if (path.size() > kMaxClientPathLength) path.clear();
  return path;
}

bool SetClientPath(ClientFolder which, std::string_view path) {
  if (path.size() > kMaxClientPathLength) return false;
  if (path.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
  const PathKey k = KeyOf(which);
  return platform::WriteProfileString(ClientPathFilePath(), k.section, k.key, path);
}
