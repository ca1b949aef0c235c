// CEventMonitor: what the client does with a DVR's events. Each event record
// (motion, sensor, video loss, alarm output, system) becomes one or more rows
// of the event list, and, by the "EVTPOP" settings read afresh for every
// event, a pop-up of the event's channel, a highlight, a video-loss mark and
// a beep. The decisions go to interfaces: the grid and the event list of the
// main window implement them, tests give fakes, the CLI prints the rows.
// Runs on one thread (the user-interface thread in the client).
#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "events/event_log.h"
#include "protocol/event_record.h"
#include "sites/local_settings.h"

namespace events {

// Kind numbers of the event list; the kind text is STRINGS 237 + kind.
inline constexpr int kKindConnection = 0;
inline constexpr int kKindSystem = 1;
inline constexpr int kKindMotion = 2;
inline constexpr int kKindSensor = 3;
inline constexpr int kKindVideoLoss = 4;
inline constexpr int kKindAlarmOut = 5;

// Highlight kinds of the grid's event border (pen colours of the overlay).
inline constexpr int kHighlightVideoLoss = 0;
inline constexpr int kHighlightMotion = 1;
inline constexpr int kHighlightSensor = 4;

// The list keeps this many rows; the log keeps every row.
inline constexpr int kMaxListRows = 10000;

// A language text by STRINGS number; empty when the number has no text.
using TextLookup = std::function<std::string(int number)>;

// The texts of the event list (descriptions, kind texts, connection states)
// in English, as the English language file has them: what a lookup that
// finds nothing falls back to.
std::string DefaultEventText(int number);

// A lookup in the "STRINGS" section of a language file, falling back to
// DefaultEventText.
TextLookup LanguageFileTexts(const std::string& language_file);

// What the monitor needs to know of the site that sent an event.
struct EventSiteFacts {
  std::string name;
  int channel_count = 0;
  // Sensor-to-channel masks of the DVR's last sensor map answer, by sensor
  // index: bit c links channel c to the sensor.
  std::vector<uint16_t> sensor_masks;
};

// The main window's state and the site lookup.
class IEventHost {
 public:
  virtual ~IEventHost() = default;
  // The "EVTPOP" settings, read from the configuration file now.
  virtual EventPopupSettings Settings() = 0;
  // The grid shows a site's live channels (live mode, not the predefined
  // list view) and which site that is (-1: none).
  virtual bool IsLiveMode() = 0;
  virtual bool InListView() = 0;
  virtual int CurrentSiteId() = 0;
  virtual bool RotationRunning() = 0;
  // False when no site has that id (any more).
  virtual bool SiteFacts(int site_id, EventSiteFacts* facts) = 0;
  // Sends the sensor map request (0x2F21) to the site's DVR.
  virtual void RequestSensorMap(int site_id) = 0;
};

// The video grid's reactions, for channels of the current site.
class IEventGrid {
 public:
  virtual ~IEventGrid() = default;
  // Shows the channel alone, keeping the layout shown so far for returning;
  // the channel already shown alone stays as it is.
  virtual void PopUp(int channel) = 0;
  // The event border of the channel (one channel carries it at a time).
  virtual void Highlight(int channel, int kind, bool on) = 0;
  // Marks the channel's pane as without video, or clears the mark.
  virtual void MarkVideoLoss(int channel, bool lost) = 0;
  virtual void Beep() = 0;
};

// The event list and its log.
class IEventList {
 public:
  virtual ~IEventList() = default;
  // A new row on top of the list.
  virtual void AddRow(const EventRow& row) = 0;
  // Appends the row to the hourly log of its time.
  virtual void AppendToLog(const EventRow& row, std::time_t when) = 0;
};

class CEventMonitor {
 public:
  using Clock = std::time_t (*)();
  // grid may be null (no grid: nothing pops up, is highlighted or beeps).
  CEventMonitor(IEventHost* host, IEventGrid* grid, IEventList* list, TextLookup texts);

  // Test hook: the wall clock the rows' times come from.
  void SetClock(Clock clock) { clock_ = clock; }

  // A code a site reported (notification or data code): remembered as the
  // site's last status code; connection states add a row of kind 0.
  void OnSiteCode(int site_id, int code);
  // A site is gone: its remembered code goes too.
  void ForgetSite(int site_id) { last_code_.erase(site_id); }
  // One event record of a site.
  void OnSiteEvent(int site_id, const EventRecord& record);

  int LastCode(int site_id) const;

  // "%Y/%m/%d %H:%M:%S" of a local time.
  static std::string FormatTime(std::time_t when);
  // The kind text of a kind number ("NULL" for an unknown kind).
  std::string KindText(int kind) const;

 private:
  std::string Text(int number) const;
  void AddRow(int kind, const std::string& dvr, const std::string& channel, const std::string& description,
              std::time_t when);

  IEventHost* host_;
  IEventGrid* grid_;
  IEventList* list_;
  TextLookup texts_;
  Clock clock_;
  std::map<int, int> last_code_;
};

}  // namespace events
