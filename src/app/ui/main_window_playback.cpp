#include "app/ui/main_window_playback.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QCalendarWidget>
#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QScreen>
#include <QTableView>

#include <cstdio>

#include "app/main_window_model.h"
#include "playback/ui/playback_panel.h"
#include "sites/dvr_site.h"
#include "sites/ui/site_panel.h"
#include "view/dvr_view.h"
#include "view/ui/dvr_view_widget.h"

namespace {
// The grid's display mode while a DVR's recordings are played back.
constexpr int kGridModeRemotePlayback = 2;
constexpr int kGridModeLive = 0;

void ReportAt(const std::string& what, const QWidget* widget) {
  const QPoint at = widget->mapToGlobal(widget->rect().center());
  std::printf("%s x=%d y=%d\n", what.c_str(), at.x(), at.y());
  std::fflush(stdout);
}

// Where a day of the month the calendar shows is on the screen: the view
// lists the days row by row, those of the month from its first "1" on.
bool DayCellCentre(QCalendarWidget* calendar, int day, QPoint* at) {
  auto* table = calendar->findChild<QTableView*>();
  if (table == nullptr || table->model() == nullptr) return false;
  QAbstractItemModel* model = table->model();
  bool in_month = false;
  for (int r = 0; r < model->rowCount(); ++r) {
    for (int c = 0; c < model->columnCount(); ++c) {
      bool number = false;
      const int n = model->index(r, c).data(Qt::DisplayRole).toInt(&number);
      if (!number) continue;
      if (!in_month && n != 1) continue;
      in_month = true;
      if (n == day) {
        *at = table->viewport()->mapToGlobal(table->visualRect(model->index(r, c)).center());
        return true;
      }
    }
  }
  return false;
}
}  // namespace

CMainWindowPlayback::CMainWindowPlayback(QWidget* area, QAbstractButton* live_button, CSitePanel* sites,
                                         CDvrView* view, CDvrViewWidget* grid, CWaveOutPlayer* player)
    : sites_(sites), view_(view), grid_(grid), player_(player) {
  panel_ = new CPlaybackPanel(
      [sites](int site_id) -> CDvrSite* {
        CSiteDirectory::Site* site = sites->Directory().FindById(site_id);
        return site != nullptr ? site->runtime.get() : nullptr;
      },
      area);
  // The panel shows the area's caption itself, beside the date and time.
  if (auto* caption = area->findChild<QLabel*>("panelCaption", Qt::FindDirectChildrenOnly)) caption->hide();
  area->layout()->addWidget(panel_);
  panel_->AddTrailingWidget(live_button);
  live_button_ = live_button;
  connect(sites, &CSitePanel::siteCodeHandled, panel_, &CPlaybackPanel::HandleSiteCode);
  // A double click zooms into a pane or back out: the DVR plays back what
  // the panes show. The grid tells before it lays the panes out anew, so
  // the mask is taken once the click has been handled.
  connect(grid, &CDvrViewWidget::paneDoubleClicked, panel_, [this](quint32, quint32) {
    QTimer::singleShot(0, panel_, [this] { panel_->SendChannelMask(); });
  });
}

int CMainWindowPlayback::SiteId() const { return panel_->IsOpen() ? panel_->SiteId() : -1; }

CDvrSite* CMainWindowPlayback::Site() const {
  CSiteDirectory::Site* site = sites_->Directory().FindById(SiteId());
  return site != nullptr ? site->runtime.get() : nullptr;
}

void CMainWindowPlayback::Enter(CDvrSite* site, CDvrSite* shown) {
  if (site == nullptr) return;
  Leave();
  // The site shown live until now stops feeding the grid.
  shown_site_id_ = shown != nullptr ? shown->Id() : -1;
  if (shown != nullptr) shown->SetPlaybackMode(true);
  site->SetPlaybackMode(true);
  view_->SetGridMode(kGridModeRemotePlayback);
  view_->ClearAll();
  const int channels = site->ChannelCount();
  view_->SetChannelCount(channels);
  view_->SetSplit(app::PanesForChannels(channels), 0);
  const SiteRecord record = site->Record();
  for (int c = 0; c < channels; ++c) {
    view_->SetTitle(c, record.name.c_str());
    view_->SetSource(c, record.address.c_str());
    view_->SetLabel(c, site->ChannelName(c).c_str());
  }
  panel_->Open(site->Id(), view_, player_);
  if (report_) {
    // Once the panel is laid out in the shown area.
    QTimer::singleShot(0, this, &CMainWindowPlayback::ReportControls);
  }
}

void CMainWindowPlayback::Leave() {
  const bool was_open = panel_->IsOpen();
  panel_->Close();
  if (CSiteDirectory::Site* shown = sites_->Directory().FindById(shown_site_id_)) {
    // Live pictures resume at the next key picture: what the decoders kept
    // is older than the gap.
    shown->runtime->SetPlaybackMode(false);
    shown->runtime->ResetLiveDecoders();
  }
  shown_site_id_ = -1;
  if (!was_open) return;
  view_->SetGridMode(kGridModeLive);
  view_->ClearAll();
  if (report_) {
    last_state_line_.clear();
    last_days_line_.clear();
    std::printf("playback closed\n");
    std::fflush(stdout);
  }
}

// ---- test hooks -------------------------------------------------------------------

void CMainWindowPlayback::SetReport(QWidget* window, bool report, const std::string& screenshot_path) {
  window_ = window;
  report_ = report;
  screenshot_path_ = screenshot_path;
  if (!report_ && screenshot_path_.empty()) return;
  if (report_) connect(panel_, &CPlaybackPanel::panelChanged, this, &CMainWindowPlayback::ReportChange);
  connect(&poll_, &QTimer::timeout, this, &CMainWindowPlayback::Poll);
  poll_.start(200);
}

void CMainWindowPlayback::ReportControls() {
  if (!panel_->IsOpen()) return;
  static constexpr const char* kNames[] = {"fast-backward", "step-backward", "stop", "play",
                                           "step-forward", "fast-forward", "backup"};
  for (int i = 0; i < 7; ++i) {
    ReportAt(std::string("playback-control ") + kNames[i], panel_->Button(static_cast<playback::PanelButton>(i)));
  }
  ReportAt("playback-control live", live_button_);
  last_days_line_.clear();
  ReportChange();
}

void CMainWindowPlayback::ReportChange() {
  const playback::CPlaybackPanelModel& model = panel_->Model();
  if (!model.IsOpen()) return;
  const playback::PanelTime& t = model.Selected();
  char line[160];
  std::snprintf(line, sizeof line, "playback state=%d fwd=%d bwd=%d speed=%d date=%04d/%02d/%02d time=%02d:%02d",
                model.State(), model.ForwardStep(), model.BackwardStep(), model.SpeedCode(), t.year, t.month, t.day,
                t.hour, t.minute);
  if (line != last_state_line_) {
    last_state_line_ = line;
    std::printf("%s\n", line);
    std::fflush(stdout);
  }
  // The recorded days the calendar highlights, and where each is.
  std::string days = "playback-days " + std::to_string(model.MapYear()) + "/" + std::to_string(model.MapMonth());
  for (int d = 1; d <= 31; ++d) {
    if (model.DayMarked(d)) days += " " + std::to_string(d);
  }
  if (model.MapYear() == 0 || days == last_days_line_ || !panel_->isVisible()) return;
  last_days_line_ = days;
  std::printf("%s\n", days.c_str());
  QCalendarWidget* calendar = panel_->Calendar();
  if (calendar->yearShown() == model.MapYear() && calendar->monthShown() == model.MapMonth()) {
    for (int d = 1; d <= 31; ++d) {
      QPoint at;
      if (model.DayMarked(d) && DayCellCentre(calendar, d, &at)) {
        std::printf("playback-day %d x=%d y=%d\n", d, at.x(), at.y());
      }
    }
  }
  std::fflush(stdout);
}

void CMainWindowPlayback::Poll() {
  if (report_ && !command_reported_) {
    // The window's buttons a test presses: remote playback and exit.
    CDvrSite* current = sites_->CurrentSite();
    QAbstractButton* playback = nullptr;
    QAbstractButton* exit = nullptr;
    for (QAbstractButton* b : window_->findChildren<QAbstractButton*>()) {
      const int control = b->property("controlId").toInt();
      if (control == app::kCtlRemotePlayback) playback = b;
      if (control == app::kCtlExit) exit = b;
    }
    if (current != nullptr && current->LiveStarted() && playback != nullptr && playback->isVisible() &&
        exit != nullptr) {
      command_reported_ = true;
      const QPoint grid = grid_->mapToGlobal(QPoint(0, 0));
      std::printf("grid x=%d y=%d\n", grid.x(), grid.y());
      ReportAt("command remote-playback", playback);
      ReportAt("command exit", exit);
    }
  }
  if (screenshot_path_.empty()) return;
  CDvrSite* site = Site();
  bool all_video = site != nullptr && panel_->Model().State() == kPanelPlaying;
  for (int c = 0; all_video && c < site->ChannelCount(); ++c) all_video = view_->HasVideo(c);
  settled_ticks_ = all_video ? settled_ticks_ + 1 : 0;
  // Two seconds of pictures, so the names, rates and times are drawn too.
  if (settled_ticks_ < 10) return;
  QPixmap shot;
  if (QScreen* screen = window_->screen()) {
    shot = screen->grabWindow(0, window_->x(), window_->y(), window_->width(), window_->height());
  }
  if (shot.isNull()) shot = window_->grab();
  const bool saved = shot.save(QString::fromStdString(screenshot_path_), "PNG");
  std::printf(saved ? "playback-screenshot %s\n" : "playback-screenshot-failed %s\n", screenshot_path_.c_str());
  std::fflush(stdout);
  screenshot_path_.clear();
  if (!report_) poll_.stop();
}
