// CMainWindow: the client's main window. It hosts the video grid, the
// panels of the site tree, PTZ, events and the two playback modes, the
// mute switch and volume slider of the process-wide wave-out player, runs
// the local login, the page rotation and the mode commands, and shuts
// everything down in a safe order when it closes.
#pragma once
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window_model.h"
#include "sites/dvr_site.h"
#include "sites/ui/site_panel.h"

class CDvrView;
class CDvrViewWidget;
class CMainWindowEvents;
class CMainWindowPlayback;
class CWaveOutPlayer;
class QAbstractButton;
class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QSlider;

class CMainWindow : public QWidget, public ISitePanelHost {
  Q_OBJECT

 public:
  struct Options {
    // Sites of the directory connected right after the local login, by
    // name, as if the operator had selected each and pressed connect.
    std::vector<std::string> connect_sites;
    // Test hooks: answer the login dialog with this account, write a
    // screenshot once every pane of the current site shows video, and
    // close after this many seconds.
    bool auto_login = false;
    std::string auto_login_id;
    std::string auto_login_password;
    std::string screenshot_path;
    bool close_when_live = false;
    // Print where each site's tree item is once every connected site is
    // live, and the current site whenever it changes.
    bool report_sites = false;
    // Print each event list row and each grid reaction to an event.
    bool report_events = false;
    // Maximise and restore once before the screenshot, printing the grid's
    // size in each layout.
    bool maximise_cycle = false;
    int quit_after_s = 0;
    // Print where the remote playback controls and recorded days are and
    // each change of the playback panel; write a screenshot once playback
    // shows video in every pane.
    bool report_playback = false;
    std::string playback_screenshot_path;
  };

  // Message boxes and questions, replaceable by tests: show text with the
  // caption; for a question return true on OK/Yes.
  using MessageHook = std::function<bool(QWidget* parent, const QString& caption, const QString& text, bool question)>;
  static void SetMessageHook(MessageHook hook);

  explicit CMainWindow(Options options, QWidget* parent = nullptr);
  ~CMainWindow() override;

  // Builds the grid, the player and the panels and starts timer 201 (the
  // login) or, when something could not be made, timer 202 (close).
  bool Initialise();

  // A command of the window's controls.
  void OnCommand(int control);
  // Runs the local login; OK starts the event timers, cancel closes.
  void RunLocalLogin();

  // State for the shell's tests.
  app::MainMode Mode() const { return model_.Mode(); }
  CDvrView* View() override { return view_.get(); }
  CDvrViewWidget* GridWidget() { return grid_; }
  CWaveOutPlayer* Player() override { return player_.get(); }
  bool IsAdministrator() const { return administrator_; }
  bool LoggedIn() const { return logged_in_; }
  CDvrSite* CurrentSite() const;
  CSitePanel* SitePanel() { return sites_panel_; }
  CMainWindowEvents* Events() { return events_.get(); }
  CMainWindowPlayback* Playback() { return playback_.get(); }
  const app::CPageRotation& Rotation() const { return rotation_; }
  int RotationTimerMs() const;
  // The steps of the last shutdown, in order.
  const std::vector<std::string>& ShutdownSteps() const { return shutdown_steps_; }
  // Reads the OSD and VIDEO settings again (after the configuration sheet).
  void ReadDisplaySettings();
  void StartRotation();
  void StopRotation() override;
  // One rotation step, as timer 203 does.
  void RotateOnce();

  // ISitePanelHost
  bool InRemotePlaybackOf(CDvrSite* site) override;
  void ReturnToLive() override;
  bool IsLiveMode() override { return model_.IsLive(); }
  void SitesChanged() override;

  // The custom event that runs the local login again.
  static constexpr int kRunLoginEvent = 1000 + 200;

 signals:
  // The current site changed.
  void currentSiteChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QAbstractButton* MakeButton(QWidget* parent, int control, int text_number, const char* fallback, const QRect& at);
  QFrame* MakePanel(int text_number, const char* fallback, const QRect& at);
  bool Ask(const QString& text);
  void Tell(int message_number);
  app::SiteFacts FactsOf(const CDvrSite* site) const;
  // The site the commands act on: the tree's selected site, else the
  // current one.
  CDvrSite* SelectedSite() const;
  void ShowSiteChannels(CDvrSite* site);
  void UpdateTitles();
  void SetLiveControlsVisible(bool on);
  void ShowAbout();
  void Shutdown();
  void CheckScreenshot();
  bool AllPanesLive();

  Options options_;
  app::CMainWindowModel model_;
  app::CPageRotation rotation_;
  std::unique_ptr<CDvrView> view_;
  CDvrViewWidget* grid_ = nullptr;
  std::unique_ptr<CWaveOutPlayer> player_;
  CSitePanel* sites_panel_ = nullptr;
  std::unique_ptr<CMainWindowEvents> events_;
  std::unique_ptr<CMainWindowPlayback> playback_;
  bool administrator_ = false;
  bool logged_in_ = false;
  bool shut_down_ = false;
  bool large_layout_ = false;
  int event_activity_ = 0;
  bool event_blink_ = false;
  std::vector<std::string> shutdown_steps_;
  QImage background_;

  QTimer login_timer_;     // 201
  QTimer close_timer_;     // 202
  QTimer rotation_timer_;  // 203
  QTimer blink_timer_;     // 1000
  QTimer activity_timer_;  // 2000
  QTimer screenshot_timer_;
  int screenshot_settled_ticks_ = 0;
  int maximise_step_ = 0;
  bool sites_reported_ = false;
  const CDvrSite* reported_current_ = nullptr;

  QLabel* title_top_ = nullptr;
  QLabel* title_right_ = nullptr;
  QWidget* logo_ = nullptr;
  QFrame* site_panel_ = nullptr;
  QFrame* ptz_panel_ = nullptr;
  QFrame* event_panel_ = nullptr;
  QFrame* remote_panel_ = nullptr;
  QFrame* local_panel_ = nullptr;
  QWidget* live_buttons_ = nullptr;
  QAbstractButton* rotate_button_ = nullptr;
  QAbstractButton* accounts_button_ = nullptr;
  QAbstractButton* mute_ = nullptr;
  QSlider* volume_ = nullptr;
  QLabel* volume_label_ = nullptr;
};
