#include "app/ui/main_window_events.h"

#include <QApplication>

#include <cstdio>

#include "app/texts.h"
#include "app/ui/main_window.h"
#include "platform/user_folder.h"
#include "protocol/commands.h"
#include "view/dvr_view.h"

CMainWindowEvents::CMainWindowEvents(CMainWindow* window, QWidget* parent, bool report)
    : window_(window),
      panel_(new events_ui::CEventPanel(parent)),
      monitor_(this, this, panel_, [](int number) { return app::LoadText(app::kStrings, number); }),
      report_(report) {
  panel_->SetEventFolder(platform::UserFile("event"));
  panel_->SetViewerProgram(app::ProgramFolder() + "/logvista");
  panel_->SetReportRows(report);
}

EventPopupSettings CMainWindowEvents::Settings() { return ReadEventPopupSettings(); }

bool CMainWindowEvents::IsLiveMode() { return window_->IsLiveMode(); }

bool CMainWindowEvents::InListView() {
  return window_->SitePanel() != nullptr && window_->SitePanel()->InListView();
}

int CMainWindowEvents::CurrentSiteId() {
  const CDvrSite* site = window_->CurrentSite();
  return site != nullptr ? site->Id() : -1;
}

bool CMainWindowEvents::RotationRunning() { return window_->Rotation().Running(); }

bool CMainWindowEvents::SiteFacts(int site_id, events::EventSiteFacts* facts) {
  if (window_->SitePanel() == nullptr) return false;
  CSiteDirectory::Site* site = window_->SitePanel()->Directory().FindById(site_id);
  if (site == nullptr || !site->runtime) return false;
  facts->name = site->record.name;
  facts->channel_count = site->runtime->ChannelCount();
  facts->sensor_masks.resize(CDvrSite::kChannels);
  for (int i = 0; i < CDvrSite::kChannels; ++i) facts->sensor_masks[i] = site->runtime->SensorChannelMask(i);
  return true;
}

void CMainWindowEvents::RequestSensorMap(int site_id) {
  if (window_->SitePanel() == nullptr) return;
  CSiteDirectory::Site* site = window_->SitePanel()->Directory().FindById(site_id);
  if (site == nullptr || !site->runtime) return;
  const uint8_t zero = 0;
  site->runtime->Control().Send(cmd::kSensorMapReq, &zero, 1);
}

void CMainWindowEvents::Report(const std::string& line) {
  if (!report_) return;
  std::printf("event-grid %s\n", line.c_str());
  std::fflush(stdout);
}

void CMainWindowEvents::PopUp(int channel) {
  CDvrView* view = window_->View();
  view->ZoomToChannel(channel);
  // The live streams carry what the panes now show.
  if (CDvrSite* site = window_->CurrentSite()) site->UpdateLiveMask();
  Report("popup channel=" + std::to_string(channel + 1) + " panes=" + std::to_string(view->SplitCount()));
}

void CMainWindowEvents::Highlight(int channel, int kind, bool on) {
  window_->View()->SetEventBorder(channel, kind, on ? 1 : 0);
  Report("highlight channel=" + std::to_string(channel + 1) + " kind=" + std::to_string(kind) +
         " on=" + (on ? "1" : "0"));
}

void CMainWindowEvents::MarkVideoLoss(int channel, bool lost) {
  if (lost) {
    // The pane drops its last picture and shows the empty-pane frame with
    // its channel number until video comes again; its texts stay.
    CDvrView* view = window_->View();
    const std::string title = view->Title(channel);
    view->ClearChannel(channel, 1);
    if (CDvrSite* site = window_->CurrentSite()) {
      const SiteRecord record = site->Record();
      view->SetTitle(channel, title.empty() ? record.name.c_str() : title.c_str());
      view->SetSource(channel, record.address.c_str());
      view->SetLabel(channel, site->ChannelName(channel).c_str());
    }
  }
  Report("video-loss channel=" + std::to_string(channel + 1) + " lost=" + (lost ? "1" : "0"));
}

void CMainWindowEvents::Beep() {
  QApplication::beep();
  Report("beep");
}
