// CPlaybackPanel: the remote playback panel of the main window (dialog
// 343): a calendar with the recorded days highlighted, hour and minute
// sliders with their recording bars, the selected date and time, six
// transport buttons and the backup button. It forwards the operator's
// presses and the site's reports to the panel's rules
// (CPlaybackPanelModel) and paints what they decide; it carries out their
// requests on the site (searches), its playback session and the grid.
//
// The session's status reports and the consumer's capture times arrive on
// the session's worker thread; they are posted to the user-interface thread
// with the id of the site they came for and dropped there unless that site
// is still the one the panel plays back. The site itself is looked up by id
// on every use, so a site that went away is never touched.
#pragma once
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <functional>

#include "playback/playback_consumer.h"
#include "playback/playback_panel_model.h"

class CDvrSite;
class CDvrView;
class CPlaybackSession;
class CRecordSlider;
class CWaveOutPlayer;
class QAbstractButton;
class QCalendarWidget;
class QHBoxLayout;
class QLabel;

class CPlaybackPanel : public QWidget, private playback::IPlaybackPanelPort, private IPlaybackTimeObserver {
  Q_OBJECT

 public:
  // Finds a site by its id (null when it is gone).
  using SiteLookup = std::function<CDvrSite*(int site_id)>;
  // Message boxes, replaceable by tests: show text with the caption.
  using MessageHook = std::function<void(QWidget* parent, const QString& text)>;
  static void SetMessageHook(MessageHook hook);

  explicit CPlaybackPanel(SiteLookup lookup, QWidget* parent = nullptr);
  ~CPlaybackPanel() override;

  // A widget for the right end of the button row (the window's way back to
  // live).
  void AddTrailingWidget(QWidget* widget);

  // Opens the panel for a site: pictures go to the grid (which the caller
  // has put into its playback display), sound to the player. Without the
  // playback right only the backup button can be used.
  void Open(int site_id, CDvrView* view, CWaveOutPlayer* player);
  // Closes the session (0x4112, stopped and deleted) and detaches from the
  // grid and the player; the site leaves playback mode.
  void Close();
  bool IsOpen() const { return model_.IsOpen(); }
  int SiteId() const { return site_id_.load(); }

  // A code the site reported, on the user-interface thread: 55 and 56 of
  // the site played back are taken, everything else is ignored.
  void HandleSiteCode(int site_id, int code);
  // The grid's panes changed: the DVR plays back the channels they show.
  void SendChannelMask();

  // For checks.
  const playback::CPlaybackPanelModel& Model() const { return model_; }
  QAbstractButton* Button(playback::PanelButton button) const;
  QCalendarWidget* Calendar() const { return calendar_; }
  CRecordSlider* HourSlider() const { return hour_; }
  CRecordSlider* MinuteSlider() const { return minute_; }
  QLabel* TimeText() const { return time_text_; }
  CPlaybackConsumer& Consumer() { return consumer_; }

 signals:
  // The panel's state or selection changed (after every repaint of it).
  void panelChanged();

 private:
  // IPlaybackPanelPort
  void ClearSearchState() override;
  void SendMonthSearch(int year, int month, int mode) override;
  void SendDaySearch(int year, int month, int day) override;
  void CreateSession() override;
  bool HasSession() override;
  void StartSession() override;
  void RestartSession() override;
  void SendClose() override;
  void DeleteSession() override;
  void SetPosition(const playback::PanelTime& time) override;
  void PlayControl(int action, int direction, int step) override;
  void SendZeroRequest(uint16_t command) override;
  void ShowHiddenChannels() override;
  void SetSpeedCode(int code) override;
  void ResetPlaybackView() override;
  void CopyChannelNames() override;
  void ShowMessage(int message_number) override;
  bool ShowHiddenSetting() override;
  // IPlaybackTimeObserver: the session's worker thread.
  void OnPlaybackTime(int channel, const PlaybackTime& time) override;

  static void OnSessionStatus(int code, void* user);
  void TakeStatus(int site_id, int code);
  void TakeTime(int site_id, int channel, const PlaybackTime& time);
  CDvrSite* Site() const;
  CPlaybackSession* Session() const;
  void Press(playback::PanelButton button);
  void ShowBackupNotice();
  // Paints the rules' state into the controls.
  void Refresh();

  SiteLookup lookup_;
  playback::CPlaybackPanelModel model_{*this};
  CPlaybackConsumer consumer_;
  // The site played back (-1 none); read by the worker when it posts.
  std::atomic<int> site_id_{-1};
  CDvrView* view_ = nullptr;
  // Restarts after the DVR ended playback are spaced out, so a DVR that
  // ends every playback at once is not asked again and again at full speed.
  QElapsedTimer last_start_;
  QTimer restart_timer_;

  QCalendarWidget* calendar_ = nullptr;
  CRecordSlider* hour_ = nullptr;
  CRecordSlider* minute_ = nullptr;
  QLabel* caption_ = nullptr;
  QLabel* time_text_ = nullptr;
  std::array<QAbstractButton*, playback::kTransportButtons + 1> buttons_{};
  QHBoxLayout* button_row_ = nullptr;
  bool refreshing_ = false;
};
