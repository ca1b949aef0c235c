// The main window's remote playback mode: the playback panel in the window's
// remote playback area, the grid switched to the playback display and back,
// the site's search answers and the grid's pane changes handed to the panel.
#pragma once
#include <QObject>
#include <QTimer>

#include <string>

class CDvrSite;
class CDvrView;
class CDvrViewWidget;
class CPlaybackPanel;
class CSitePanel;
class CWaveOutPlayer;
class QAbstractButton;
class QWidget;

class CMainWindowPlayback : public QObject {
  Q_OBJECT

 public:
  // The panel fills `area` (the window's frame for it); `live_button` (the
  // way back to live) ends its button row.
  CMainWindowPlayback(QWidget* area, QAbstractButton* live_button, CSitePanel* sites, CDvrView* view,
                      CDvrViewWidget* grid, CWaveOutPlayer* player);

  CPlaybackPanel* Panel() { return panel_; }
  // The site played back, or -1.
  int SiteId() const;
  CDvrSite* Site() const;

  // Plays `site` back; `shown` is the site the grid showed live until now
  // (its live pictures stop reaching the grid too).
  void Enter(CDvrSite* site, CDvrSite* shown);
  // Closes the panel's session and gives the grid back to live display.
  void Leave();

  // Test hooks: print where the window's remote playback button is once a
  // site is live, where the panel's controls and recorded days are and each
  // change of the panel; write a PNG of the window once playback shows
  // video in every pane of the site.
  void SetReport(QWidget* window, bool report, const std::string& screenshot_path);

 private:
  void ReportChange();
  void ReportControls();
  void Poll();

  CSitePanel* sites_;
  CDvrView* view_;
  CDvrViewWidget* grid_;
  CWaveOutPlayer* player_;
  CPlaybackPanel* panel_ = nullptr;
  int shown_site_id_ = -1;
  QAbstractButton* live_button_ = nullptr;

  QWidget* window_ = nullptr;
  bool report_ = false;
  std::string screenshot_path_;
  QTimer poll_;
  bool command_reported_ = false;
  int settled_ticks_ = 0;
  std::string last_state_line_;
  std::string last_days_line_;
};
