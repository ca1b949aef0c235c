#include "sites/ui/site_panel_model.h"

#include <cstdio>

#include "app/text_ids.h"
#include "app/texts.h"

namespace sites_ui {
namespace {

std::string S(int number, const char* fallback) { return app::LoadTextOr(app::kStrings, number, fallback); }
std::string M(int number, const char* fallback) { return app::LoadTextOr(app::kMessage, number, fallback); }

std::string Cut(std::string text) {
  if (text.size() > static_cast<size_t>(kStatusTextMaxChars)) {
    size_t n = kStatusTextMaxChars;
    // Never cut inside a UTF-8 character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    text.resize(n);
  }
  return text;
}

}  // namespace

SiteStateTexts TextsForState(int state) {
  switch (state) {
    case kStateConnecting: return {M(100, "connecting"), ""};
    case 1: return {S(193, "connected"), Cut(S(194, "connected"))};
    case 3: case 5: case 10: return {S(196, "failed"), Cut(S(197, "connection failed"))};
    case 6: return {S(199, "refused"), Cut(S(199, "refused"))};
    case 7: case 8: return {S(198, "refused"), Cut(S(198, "refused"))};
    case 9: return {S(196, "failed"), kNoAuthorityText};
    case 11: return {S(195, "lost"), Cut(S(195, "connection lost"))};
    case kStateDisconnected: return {"", Cut(S(140, "disconnected"))};
    default: return {"", ""};
  }
}

bool IsStateCode(int code) {
  switch (code) {
    case 1: case 3: case 5: case 6: case 7: case 8: case 9: case 10: case 11: return true;
    default: return false;
  }
}

std::string TreeItemText(const std::string& name, const std::string& word) {
  return word.empty() ? name : name + " : " + word;
}

std::string CountLine(const std::string& label, int value) {
  char number[16];
  std::snprintf(number, sizeof number, "%02d", value);
  return label + "=" + number;
}

int CheckConnect(Selection selection, bool site_busy) {
  switch (selection) {
    case Selection::kNone: return 16;
    case Selection::kRoot:
    case Selection::kGroup: return -1;
    case Selection::kSite: return site_busy ? 19 : 0;
  }
  return -1;
}

int CheckDisconnect(Selection selection, bool current_connected) {
  return selection == Selection::kNone && current_connected ? 16 : 0;
}

CodeAction ActionForCode(int code) {
  switch (code) {
    case 1: return CodeAction::kFollowUp;
    case 2: return CodeAction::kReconnect;
    case 3: case 5: case 6: case 7: case 8: case 9: case 10: case 11: return CodeAction::kStateTexts;
    case 29: return CodeAction::kTalkRefused;
    case 33: return CodeAction::kTalkGranted;
    case 35: return CodeAction::kTalkBusy;
    case 40: return CodeAction::kPlatform;
    case 50: return CodeAction::kCameraNames;
    case 51: return CodeAction::kStartLive;
    case 58: return CodeAction::kStreamRunning;
    default: return code >= 36 && code <= 56 ? CodeAction::kHandOff : CodeAction::kNothing;
  }
}

}  // namespace sites_ui
