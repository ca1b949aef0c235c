#include "events/event_monitor.h"

#include <algorithm>
#include <cstdio>

#include "platform/profile.h"

namespace events {
namespace {

// Description texts.
constexpr int kTextMotionBegins = 200;
constexpr int kTextMotionEnds = 201;
constexpr int kTextSensorOn = 202;
constexpr int kTextSensorOff = 203;
constexpr int kTextVideoLost = 204;
constexpr int kTextVideoRestored = 205;
constexpr int kTextAlarmOn = 206;
constexpr int kTextAlarmOff = 207;
// The predefined-list view's descriptions of motion and sensor events.
constexpr int kTextListEventBegins = 215;
constexpr int kTextListEventEnds = 216;
constexpr int kTextKindBase = 237;

// Status texts of the connection states.
constexpr int kTextLoggedIn = 194;
constexpr int kTextConnectionLost = 195;
constexpr int kTextNotReached = 197;
constexpr int kTextWrongLogin = 198;
constexpr int kTextUnknownUser = 199;

// The status code after which a system event asks for the sensor map again.
constexpr int kSensorMapRefreshCode = 39;

constexpr int kMaxDescriptionBytes = 79;

std::time_t WallClock() { return std::time(nullptr); }

// A DVR's text as one line for the list and the log: control bytes become
// blanks, and it is cut to the description's length without splitting a
// UTF-8 character.
std::string OneLine(const char* text, size_t max_bytes) {
  std::string out;
  for (size_t i = 0; i < max_bytes && text[i] != '\0'; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out.push_back(c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c));
  }
  if (out.size() == max_bytes) {
    size_t cut = out.size();
    size_t start = cut;
    while (start > 0 && (static_cast<unsigned char>(out[start - 1]) & 0xC0) == 0x80) --start;
    if (start > 0) {
      const auto lead = static_cast<unsigned char>(out[start - 1]);
      const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      if (need > 1 && cut - (start - 1) < need) out.resize(start - 1);
    }
  }
  return out;
}

std::string ChannelText(int index) { return std::to_string(index + 1); }

}  // namespace

std::string DefaultEventText(int number) {
  switch (number) {
    case 194: return "Connected and logged in";
    case 195: return "Connection lost";
    case 197: return "The DVR could not be reached or did not answer the login";
    case 198: return "Wrong ID or password";
    case 199: return "Unknown user";
    case 200: return "Motion detected";
    case 201: return "Motion ended";
    case 202: return "Sensor triggered";
    case 203: return "Sensor released";
    case 204: return "Video lost";
    case 205: return "Video restored";
    case 206: return "Alarm output on";
    case 207: return "Alarm output off";
    case 215: return "Event started";
    case 216: return "Event ended";
    case 237: return "Connection";
    case 238: return "System";
    case 239: return "Motion";
    case 240: return "Sensor";
    case 241: return "Video loss";
    case 242: return "Alarm output";
    default: return {};
  }
}

TextLookup LanguageFileTexts(const std::string& language_file) {
  return [language_file](int number) {
    std::string text = platform::GetProfileString(language_file, "STRINGS", std::to_string(number), "");
    return text.empty() ? DefaultEventText(number) : text;
  };
}

CEventMonitor::CEventMonitor(IEventHost* host, IEventGrid* grid, IEventList* list, TextLookup texts)
    : host_(host), grid_(grid), list_(list), texts_(std::move(texts)), clock_(&WallClock) {}

std::string CEventMonitor::Text(int number) const {
  std::string text = texts_ ? texts_(number) : std::string();
  return text.empty() ? DefaultEventText(number) : text;
}

std::string CEventMonitor::KindText(int kind) const {
  if (kind < kKindConnection || kind > kKindAlarmOut) return "NULL";
  return Text(kTextKindBase + kind);
}

std::string CEventMonitor::FormatTime(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
  return text;
}

int CEventMonitor::LastCode(int site_id) const {
  auto it = last_code_.find(site_id);
  return it == last_code_.end() ? 0 : it->second;
}

void CEventMonitor::AddRow(int kind, const std::string& dvr, const std::string& channel,
                           const std::string& description, std::time_t when) {
  if (list_ == nullptr) return;
  const EventRow row{FormatTime(when), KindText(kind), dvr, channel, description};
  list_->AddRow(row);
  // Every row is logged, each with its own time, so the rows of one event
  // (a sensor's fan-out) and quick successive events all reach the log.
  list_->AppendToLog(row, when);
}

void CEventMonitor::OnSiteCode(int site_id, int code) {
  last_code_[site_id] = code;
  int text = 0;
  switch (code) {
    case 1: text = kTextLoggedIn; break;
    case 11: text = kTextConnectionLost; break;
    case 3: case 5: case 10: text = kTextNotReached; break;
    case 7: case 8: text = kTextWrongLogin; break;
    case 6: text = kTextUnknownUser; break;
    default: return;
  }
  EventSiteFacts facts;
  if (!host_->SiteFacts(site_id, &facts)) return;
  AddRow(kKindConnection, facts.name, " ", Text(text), clock_());
}

void CEventMonitor::OnSiteEvent(int site_id, const EventRecord& record) {
  const uint16_t type = record.type;
  if (type != kEventTypeMotion && type != kEventTypeSensor && type != kEventTypeVideoLoss &&
      type != kEventTypeAlarm && type != kEventTypeSystem) {
    return;
  }
  EventSiteFacts site;
  if (!host_->SiteFacts(site_id, &site)) return;
  const std::time_t now = clock_();
  const EventPopupSettings set = host_->Settings();
  const bool live = host_->IsLiveMode();
  const bool list_view = host_->InListView();
  const bool rotating = host_->RotationRunning();
  // The grid shows this site's channels: only then do pop-ups, highlights
  // and marks apply to it. A channel number the DVR sends beyond its channel
  // count names no pane.
  const bool current = grid_ != nullptr && live && !list_view && host_->CurrentSiteId() == site_id;
  const int channels = std::min(site.channel_count, 64);
  const int channel = record.channel;
  const bool on_grid = current && channel < channels;
  const bool begins = record.state == 0;
  auto beep = [this] {
    if (grid_ != nullptr) grid_->Beep();
  };

  switch (type) {
    case kEventTypeMotion: {
      const int description = list_view ? (begins ? kTextListEventBegins : kTextListEventEnds)
                                        : (begins ? kTextMotionBegins : kTextMotionEnds);
      if (set.motion && live) {
        if (on_grid && set.popup && !rotating) grid_->PopUp(channel);
        if (on_grid && set.highlight) grid_->Highlight(channel, kHighlightMotion, begins);
        if (set.beep && begins) beep();
      }
      AddRow(kKindMotion, site.name, ChannelText(channel), Text(description), now);
      break;
    }
    case kEventTypeSensor: {
      const std::string description = Text(list_view ? (begins ? kTextListEventBegins : kTextListEventEnds)
                                                      : (begins ? kTextSensorOn : kTextSensorOff));
      AddRow(kKindSensor, site.name, ChannelText(channel), description, now);
      // The sensor's channels, by the mask kept for it; a sensor index
      // beyond the masks has none.
      const uint16_t mask = channel < static_cast<int>(site.sensor_masks.size()) ? site.sensor_masks[channel] : 0;
      bool beeped = false;
      for (int i = 0; i < std::min(channels, 16); ++i) {
        if ((mask & (1u << i)) == 0) continue;
        if (set.sensor) {
          // Pop-ups and highlights only where the grid shows the site live.
          if (current && set.popup && !rotating) grid_->PopUp(i);
          if (current && set.highlight) grid_->Highlight(i, kHighlightSensor, begins);
          if (set.beep && begins && !beeped) {
            beep();
            beeped = true;
          }
        }
        AddRow(kKindSensor, site.name, ChannelText(i), description, now);
      }
      break;
    }
    case kEventTypeVideoLoss:
      if (on_grid) grid_->MarkVideoLoss(channel, begins);
      if (set.video_loss && live) {
        if (on_grid && set.popup && !rotating) grid_->PopUp(channel);
        if (on_grid && set.highlight) grid_->Highlight(channel, kHighlightVideoLoss, begins);
        if (set.beep && begins) beep();
      }
      AddRow(kKindVideoLoss, site.name, ChannelText(channel),
             Text(begins ? kTextVideoLost : kTextVideoRestored), now);
      break;
    case kEventTypeAlarm: {
      if (set.alarm_out && set.beep && begins) beep();
      char description[160];
      std::snprintf(description, sizeof description, "%s:port%d", Text(begins ? kTextAlarmOn : kTextAlarmOff).c_str(),
                    channel + 1);
      AddRow(kKindAlarmOut, site.name, " ", description, now);
      break;
    }
    case kEventTypeSystem:
      AddRow(kKindSystem, site.name, " ", OneLine(record.text, kMaxDescriptionBytes), now);
      if (set.beep && set.system) beep();
      if (LastCode(site_id) == kSensorMapRefreshCode) host_->RequestSensorMap(site_id);
      break;
    default:
      break;
  }
}

}  // namespace events
