// Local preferences of the client, kept in profile files of the user folder:
// tavrel_config.ini (time-outs, event reactions, view options, on-screen
// display) and client_path.ini (last-used folders). Every value is read from
// the file where it is used and written at once when it changes; nothing is
// cached. Booleans are stored as "1"/"0", integers as "%d". A missing file or
// key reads as the default below.
#pragma once
#include <string>
#include <string_view>

inline constexpr std::string_view kConfigFileName = "tavrel_config.ini";
inline constexpr std::string_view kLoginFileName = "tavrel_login.ini";
inline constexpr std::string_view kClientPathFileName = "client_path.ini";

// Full paths of the files in the user folder.
std::string ConfigFilePath();
std::string ClientPathFilePath();

// ---------------------------------------------------------------------------
// One boolean key of tavrel_config.ini with its default.
struct ConfigFlag {
  const char* section;
  const char* key;
  bool def;
};

// Event reactions.
inline constexpr ConfigFlag kEvtPopup{"EVTPOP", "POPUP", false};
inline constexpr ConfigFlag kEvtHighlight{"EVTPOP", "HLIGHT", true};
inline constexpr ConfigFlag kEvtBeep{"EVTPOP", "BEEP", false};
inline constexpr ConfigFlag kEvtVideoLoss{"EVTPOP", "VLOSS", false};
inline constexpr ConfigFlag kEvtMotion{"EVTPOP", "MOTION", false};
inline constexpr ConfigFlag kEvtSensor{"EVTPOP", "SENSOR", false};
inline constexpr ConfigFlag kEvtAlarmOut{"EVTPOP", "ALARMOUT", false};
inline constexpr ConfigFlag kEvtSystem{"EVTPOP", "SYSTEM", false};
// Covert channels shown (the "Covert OFF" check box).
inline constexpr ConfigFlag kHiddenShow{"HIDDEN", "SHOW", false};
inline constexpr ConfigFlag kNetworkChMask{"NETWORK", "CHMASK", true};
inline constexpr ConfigFlag kNetworkLiveOff{"NETWORK", "LIVEOFF", true};
// On-screen display items.
inline constexpr ConfigFlag kOsdCameraNum{"OSD", "CAMERA_NUM", true};
inline constexpr ConfigFlag kOsdCameraName{"OSD", "CAMERA_NAME", true};
inline constexpr ConfigFlag kOsdSiteAddr{"OSD", "SITE_ADDR", false};
inline constexpr ConfigFlag kOsdPlayName{"OSD", "PLAY_NAME", false};
inline constexpr ConfigFlag kOsdSpeed{"OSD", "SPEED", false};
inline constexpr ConfigFlag kOsdTime{"OSD", "TIME", true};

// Any non-zero integer is true.
bool ReadConfigFlag(const ConfigFlag& flag);
// Writes "1" or "0"; false when the file cannot be written.
bool WriteConfigFlag(const ConfigFlag& flag, bool on);

// ---------------------------------------------------------------------------
// Time-outs ("TIMEOUT"). A stored value below 1 reads as the default, one
// above kMaxTimeoutS as kMaxTimeoutS, so no wait is ever negative or
// overflows when turned into milliseconds.
inline constexpr int kDefaultConnectionTimeoutS = 60;
inline constexpr int kDataTimeoutConfigS = 60;   // configuration, reboot, live-stream session
inline constexpr int kDataTimeoutLogListS = 30;  // the DVR log list
inline constexpr int kDataTimeoutShortS = 10;    // preset, scan and backup requests
inline constexpr int kMaxTimeoutS = 3600;

int ConnectionTimeoutS();
int DataTimeoutS(int default_s);
// The stored values as they are (default when missing), for the page.
int StoredConnectionTimeoutS();
int StoredDataTimeoutS();
bool WriteConnectionTimeoutS(int seconds);
bool WriteDataTimeoutS(int seconds);

// The time-out drop-downs offer "10" and "60": a stored 60 selects "60"
// (index 1), any other value "10" (index 0).
inline constexpr int TimeoutChoiceIndex(int stored_s) { return stored_s == 60 ? 1 : 0; }
inline constexpr int TimeoutChoiceSeconds(int index) { return index == 1 ? 60 : 10; }

// ---------------------------------------------------------------------------
// Event reactions ("EVTPOP").
struct EventPopupSettings {
  bool popup = false;
  bool highlight = true;
  bool beep = false;
  bool video_loss = false;
  bool motion = false;
  bool sensor = false;
  bool alarm_out = false;
  bool system = false;
};
EventPopupSettings ReadEventPopupSettings();

// "HIDDEN" and "NETWORK".
struct NetworkSettings {
  bool show_covert = false;  // "HIDDEN" "SHOW"
  bool ch_mask = true;       // "NETWORK" "CHMASK"
  bool live_off = true;      // "NETWORK" "LIVEOFF"
};
NetworkSettings ReadNetworkSettings();
bool ShowCovertChannels();

// ---------------------------------------------------------------------------
// On-screen display ("OSD").
inline constexpr int kTimeFormatYmd = 0;  // "YY/MM/DD"
inline constexpr int kTimeFormatMdy = 1;  // "MM/DD/YY"
inline constexpr int kTimeFormatDmy = 2;  // "DD/MM/YY"

struct OsdSettings {
  bool camera_num = true;
  bool camera_name = true;
  bool site_addr = false;
  bool play_name = false;
  bool speed = false;
  bool time = true;
  int time_format = kTimeFormatYmd;  // as stored; values other than 0 and 1 mean day first
};
OsdSettings ReadOsdSettings();
// Writes all seven keys; false when any write failed.
bool WriteOsdSettings(const OsdSettings& osd);

// The grid's OSD flags: camera number 0x1, camera name 0x2, play (site) name
// 0x4, site address 0x8, speed 0xF0; with the time shown, format 0, 1 or
// other gives 0x100, 0x200 or 0x400; 0x1000 always.
int OsdFlagsFromSettings(const OsdSettings& osd);

// ---------------------------------------------------------------------------
// View rotation ("VIDEO" "ROTATING_TIME"): an index into the choices
// "1" ... "60", clamped to 0..59; the rotation period is (index + 1) seconds.
inline constexpr int kDefaultRotatingTime = 4;
inline constexpr int kMaxRotatingTime = 59;
int ReadRotatingTime();
bool WriteRotatingTime(int index);
int RotationPeriodMs();

// ---------------------------------------------------------------------------
// Last-used folders (client_path.ini), at most kMaxClientPathLength bytes.
enum class ClientFolder {
  kBackup,         // "BACKUP" "PATH"
  kChannelBackup,  // "CHB" "PATH"
  kLocalPlayback,  // "LPB" "PATH"
  kConvertInput,   // "CONVERT" "INPUT"
  kConvertOutput,  // "CONVERT" "OUTPUT"
  kSnapshot,       // "SNAPSHOT" "PATH"
};
inline constexpr size_t kMaxClientPathLength = 259;

// The stored folder; empty when unset or longer than the limit.
std::string GetClientPath(ClientFolder which);
// Refuses (false) a path longer than the limit or holding a line break or
// NUL, which the file could not give back unchanged.
bool SetClientPath(ClientFolder which, std::string_view path);
