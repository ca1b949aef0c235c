// The main window's side of event monitoring: the window state and the
// sites the event monitor asks about, and the grid reactions it decides,
// carried out on the window's CDvrView; the event panel holds the list.
#pragma once
#include <memory>
#include <string>

#include "events/event_monitor.h"
#include "events/ui/event_panel.h"

class CMainWindow;

class CMainWindowEvents : public events::IEventHost, public events::IEventGrid {
 public:
  // The panel is made as a child of parent (the window's event frame).
  // report: print the list rows and the grid reactions on stdout (test hook).
  CMainWindowEvents(CMainWindow* window, QWidget* parent, bool report);

  events_ui::CEventPanel* Panel() { return panel_; }
  events::CEventMonitor& Monitor() { return monitor_; }

  // events::IEventHost
  EventPopupSettings Settings() override;
  bool IsLiveMode() override;
  bool InListView() override;
  int CurrentSiteId() override;
  bool RotationRunning() override;
  bool SiteFacts(int site_id, events::EventSiteFacts* facts) override;
  void RequestSensorMap(int site_id) override;

  // events::IEventGrid
  void PopUp(int channel) override;
  void Highlight(int channel, int kind, bool on) override;
  void MarkVideoLoss(int channel, bool lost) override;
  void Beep() override;

 private:
  void Report(const std::string& line);

  CMainWindow* window_;
  events_ui::CEventPanel* panel_;
  events::CEventMonitor monitor_;
  bool report_;
};
