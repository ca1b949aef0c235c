// The main window's rules without the window: its modes, which commands a
// site allows and which message a refusal shows, the title, the OSD flags
// and the page rotation. The window only forwards presses and shows what
// these decide.
#pragma once
#include <cstdint>
#include <string>

namespace app {

enum class MainMode { kLive = 0, kLocalPlayback = 1, kRemotePlayback = 2 };

// Control numbers of the main window.
inline constexpr int kCtlRemotePlayback = 1193;
inline constexpr int kCtlBackToLiveFromRemote = 1181;
inline constexpr int kCtlLocalPlayback = 1194;
inline constexpr int kCtlBackToLiveFromLocal = 1179;
inline constexpr int kCtlRemoteSetup = 1285;
inline constexpr int kCtlSiteConfig = 1192;
inline constexpr int kCtlAccounts = 1287;
inline constexpr int kCtlSnapshot = 1021;
inline constexpr int kCtlExit = 1286;
inline constexpr int kCtlMute = 1040;
inline constexpr int kCtlVolume = 1041;
inline constexpr int kCtlRotate = 1042;
inline constexpr int kCtlFullScreen = 1043;
inline constexpr int kCtlSplit = 1044;
inline constexpr int kCtlAbout = 16;

inline constexpr const char* kVersionText = "3.0.3";
inline constexpr const char* kLiveTitleAfterPlayback = "Tavrel 3.0.3";
inline constexpr const char* kAboutMenuText = "Tavrel 정보(&A)...";

// What the window knows of the selected site when a command is pressed.
struct SiteFacts {
  bool selected = false;
  bool connected = false;
  uint32_t rights_word = 15;  // bit value 2: playback, 4: backup
  int setup_permission = 1;
  int platform_code = 163;
  int channel_count = 16;
};

// The window title at start-up: the application text, a blank, the version.
std::string StartTitle(const std::string& app_text);

// Each check returns 0 when the command may go on, else the number of the
// MESSAGE text that refuses it.
int CheckRemotePlayback(const SiteFacts& site);
int CheckRemoteSetup(const SiteFacts& site);
int CheckSiteCommand(const SiteFacts& site);

// Panes a channel count is shown in: 8 channels use the 9-pane layout,
// counts without a layout use 16.
int PanesForChannels(int channels);

// Page rotation: advances the grid one page of its pane count at a time.
class CPageRotation {
 public:
  // rotating_index is the stored choice 0..59 (clamped) of the choices
  // "1" .. "60" seconds: the period is (index + 1) seconds.
  static int PeriodMs(int rotating_index);

  void Start(int rotating_index);
  void Stop() { running_ = false; }
  bool Running() const { return running_; }
  int CurrentPeriodMs() const { return period_ms_; }
  // The stored choice was read again: true when a running rotation has to
  // restart with the new period.
  bool PeriodChanged(int rotating_index) const { return running_ && PeriodMs(rotating_index) != period_ms_; }
  // The first channel of the next page for a grid of `panes` panes now
  // starting at `start`, over `channels` channels; back to 0 past the end.
  static int NextPageStart(int panes, int start, int channels);

 private:
  bool running_ = false;
  int period_ms_ = 0;
};

// Where the main window is: the mode and the transitions between modes.
class CMainWindowModel {
 public:
  MainMode Mode() const { return mode_; }
  bool IsLive() const { return mode_ == MainMode::kLive; }
  // Enters a mode from live; false when the window is not in live mode.
  bool EnterRemotePlayback();
  bool EnterLocalPlayback();
  // Back to live from the given mode; false when not in that mode.
  bool LeaveRemotePlayback();
  bool LeaveLocalPlayback();
  // Rotation may run only in live mode with a current site.
  bool RotationAllowed(bool has_current_site) const { return IsLive() && has_current_site; }

 private:
  MainMode mode_ = MainMode::kLive;
};

}  // namespace app
