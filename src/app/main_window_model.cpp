#include "app/main_window_model.h"

#include <algorithm>

#include "app/text_ids.h"

namespace app {

std::string StartTitle(const std::string& app_text) { return app_text + " " + kVersionText; }

int CheckSiteCommand(const SiteFacts& site) {
  return site.selected && site.connected ? 0 : text::kMsgSiteNotConnected;
}

int CheckRemotePlayback(const SiteFacts& site) {
  if (const int refused = CheckSiteCommand(site)) return refused;
  return (site.rights_word & (2u | 4u)) != 0 ? 0 : text::kMsgPlaybackRefused;
}

int CheckRemoteSetup(const SiteFacts& site) {
  if (const int refused = CheckSiteCommand(site)) return refused;
  // A four-channel DVR of the newest platform grants set-up with the value
  // 4; every other DVR with any non-zero value.
  if (site.platform_code == 164 && site.channel_count == 4) {
    return site.setup_permission == 4 ? 0 : text::kMsgSetupRefused;
  }
  return site.setup_permission != 0 ? 0 : text::kMsgSetupRefused;
}

int PanesForChannels(int channels) {
  switch (channels) {
    case 1: case 4: case 9: case 16: return channels;
    case 8: return 9;
    default: return 16;
  }
}

int CPageRotation::PeriodMs(int rotating_index) {
  return std::clamp(rotating_index, 0, 59) * 1000 + 1000;
}

void CPageRotation::Start(int rotating_index) {
  running_ = true;
  period_ms_ = PeriodMs(rotating_index);
}

int CPageRotation::NextPageStart(int panes, int start, int channels) {
  if (panes <= 0 || channels <= 0) return 0;
  const int next = start + panes;
  return next >= channels ? 0 : next;
}

bool CMainWindowModel::EnterRemotePlayback() {
  if (mode_ != MainMode::kLive) return false;
  mode_ = MainMode::kRemotePlayback;
  return true;
}

bool CMainWindowModel::EnterLocalPlayback() {
  if (mode_ != MainMode::kLive) return false;
  mode_ = MainMode::kLocalPlayback;
  return true;
}

bool CMainWindowModel::LeaveRemotePlayback() {
  if (mode_ != MainMode::kRemotePlayback) return false;
  mode_ = MainMode::kLive;
  return true;
}

bool CMainWindowModel::LeaveLocalPlayback() {
  if (mode_ != MainMode::kLocalPlayback) return false;
  mode_ = MainMode::kLive;
  return true;
}

}  // namespace app
