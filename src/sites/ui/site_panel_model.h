// The site panel's rules without widgets: which texts a site shows in the
// tree and in the connection status list after each report, what connect
// and disconnect may do with what is selected, and what a notification or
// data code asks of the panel.
#pragma once
#include <string>

namespace sites_ui {

// What last happened to a site, for its texts.
inline constexpr int kStateIdle = 0;           // never connected: the name alone
inline constexpr int kStateConnecting = -1;    // a connection is being made
inline constexpr int kStateDisconnected = -2;  // ended by the operator
// Any other value is the notification code that last changed the texts
// (1, 3, 5, 6, 7, 8, 9, 10, 11).

// The tree word (after "name : ") and the status text of a state. Empty
// tree word: the tree shows the name alone.
struct SiteStateTexts {
  std::string tree_word;
  std::string status;
};
SiteStateTexts TextsForState(int state);
// Whether a notification changes a site's texts.
bool IsStateCode(int code);
// "%s : %s", or the name alone when word is empty.
std::string TreeItemText(const std::string& name, const std::string& word);
// "%s=%02d": a label and a number, for the channel and port lines.
std::string CountLine(const std::string& label, int value);

// What the tree has selected.
enum class Selection { kNone, kRoot, kGroup, kSite };

// Connect: 0 to go on, -1 to do nothing, else the MESSAGE number.
int CheckConnect(Selection selection, bool site_busy);
// Disconnect: 0 to go on, else the MESSAGE number (nothing selected while
// the current site is connected).
int CheckDisconnect(Selection selection, bool current_connected);

// What a code from a site asks of the panel.
enum class CodeAction {
  kNothing,
  kStateTexts,    // update the tree and status texts
  kFollowUp,      // texts, then the follow-up requests
  kReconnect,     // disconnect, leave remote playback of it, connect again
  kStartLive,     // system information: start live when not started
  kCameraNames,   // names arrived: labels of the shown site
  kTalkRefused,   // uncheck talk, MESSAGE 104
  kTalkBusy,      // uncheck talk, "Audio ports in use by another user"
  kTalkGranted,
  kStreamRunning, // show hidden channels when "SHOW" is set
  kPlatform,      // the description: the platform code may have changed
  kHandOff,       // a data code for another panel
};
CodeAction ActionForCode(int code);

inline constexpr const char* kAudioPortsBusyText = "Audio ports in use by another user";
inline constexpr const char* kNoAuthorityText = "No authority for network connect fail";
inline constexpr int kStatusTextMaxChars = 79;

}  // namespace sites_ui
