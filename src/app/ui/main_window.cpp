#include "app/ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>

#include "app/text_ids.h"
#include "app/texts.h"
#include "app/ui/accounts_dialog.h"
#include "app/ui/config_sheet.h"
#include "app/ui/login_dialog.h"
#include "app/ui/main_window_events.h"
#include "app/ui/main_window_playback.h"
#include "app/ui/skin_button.h"
#include "app/ui/skin_ids.h"
#include "app/ui/snapshot_dialog.h"
#include "audio/wave_out_player.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "platform/user_folder.h"
#include "protocol/control_session.h"
#include "sites/local_settings.h"
#include "view/dvr_view.h"
#include "view/ui/dvr_view_widget.h"

namespace {

constexpr QRect kGridRect(22, 33, 728, 500);
constexpr QRect kBottomRect(22, 536, 728, 172);
constexpr int kRightLeft = 756;
constexpr int kRightWidth = 208;

CMainWindow::MessageHook& Hook() {
  static CMainWindow::MessageHook hook;
  return hook;
}

// The skin bitmaps of a command's button.
int SkinOf(int control) {
  switch (control) {
    case app::kCtlRemotePlayback: return app::skin::kSkinRemotePlayback;
    case app::kCtlLocalPlayback: return app::skin::kSkinLocalPlayback;
    case app::kCtlSnapshot: return app::skin::kSkinSnapshot;
    case app::kCtlRemoteSetup: return app::skin::kSkinRemoteSetup;
    case app::kCtlSiteConfig: return app::skin::kSkinConfiguration;
    case app::kCtlAccounts: return app::skin::kSkinAccounts;
    case app::kCtlExit: return app::skin::kSkinExit;
    case app::kCtlRotate: return app::skin::kSkinRotate;
    case app::kCtlAbout: return app::skin::kSkinAbout;
    default: return app::skin::kSkinLive;
  }
}

QString Text(std::string_view section, int number, const char* fallback) {
  return QString::fromStdString(app::LoadTextOr(section, number, fallback));
}

}  // namespace

void CMainWindow::SetMessageHook(MessageHook hook) { Hook() = std::move(hook); }

CMainWindow::CMainWindow(Options options, QWidget* parent) : QWidget(parent), options_(std::move(options)) {
  setObjectName("MainWindow");
  setProperty("controlId", 102);
  setAttribute(Qt::WA_DeleteOnClose, false);
  login_timer_.setSingleShot(true);
  login_timer_.setInterval(100);
  close_timer_.setSingleShot(true);
  close_timer_.setInterval(100);
  blink_timer_.setInterval(10);
  activity_timer_.setInterval(300000);
  connect(&login_timer_, &QTimer::timeout, this, &CMainWindow::RunLocalLogin);
  connect(&close_timer_, &QTimer::timeout, this, &QWidget::close);
  connect(&rotation_timer_, &QTimer::timeout, this, &CMainWindow::RotateOnce);
  connect(&blink_timer_, &QTimer::timeout, this, [this] {
    // The event indicator blinks while events were seen lately.
    if (event_activity_ > 0 && title_right_ != nullptr) {
      event_blink_ = !event_blink_;
    }
  });
  connect(&activity_timer_, &QTimer::timeout, this, [this] { event_activity_ = 0; });
  connect(&screenshot_timer_, &QTimer::timeout, this, &CMainWindow::CheckScreenshot);
}

CMainWindow::~CMainWindow() {
  Shutdown();
  // Panels and the grid's window go with the widget tree; the grid object
  // and the player after them.
  const auto children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* child : children) delete child;
  grid_ = nullptr;
  player_.reset();
  view_.reset();
}

QFrame* CMainWindow::MakePanel(int text_number, const char* fallback, const QRect& at) {
  auto* frame = new QFrame(this);
  frame->setObjectName("panel");
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setGeometry(at);
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(4);
  auto* caption = new QLabel(Text(app::kStrings, text_number, fallback), frame);
  caption->setObjectName("panelCaption");
  layout->addWidget(caption);
  return frame;
}

QAbstractButton* CMainWindow::MakeButton(QWidget* parent, int control, int text_number, const char* fallback,
                                         const QRect& at) {
  auto* button = new CSkinButton(parent);
  button->SetSkin(app::skin::CommandButtonArt(SkinOf(control), 2));
  button->setText(Text(app::kStrings, text_number, fallback));
  button->setProperty("controlId", control);
  if (!at.isNull()) button->setGeometry(at);
  button->setMinimumSize(app::skin::kCommandWidth, app::skin::kCommandHeight);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setToolTip(button->text());
  connect(button, &QAbstractButton::clicked, this, [this, control] { OnCommand(control); });
  return button;
}

bool CMainWindow::Initialise() {
  // Position and size: further in on screens wider than 1024 pixels.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const bool wide = screen != nullptr && screen->geometry().width() > 1024;
  setGeometry(wide ? 100 : 10, wide ? 100 : 10, 972, 720);
  setWindowTitle(QString::fromStdString(app::StartTitle(app::LoadTextOr(app::kStrings, app::text::kStrAppTitle, "Tavrel"))));
  setFocusPolicy(Qt::ClickFocus);
  background_.load(QString::fromStdString(app::skin::SkinBitmapPath(app::skin::kSkinBackground)));
  setStyleSheet(
      "#MainWindow { background: #16191d; }"
      "QFrame#panel { background: #1d2126; border: 1px solid #323840; border-radius: 3px; }"
      "QLabel#panelCaption { color: #2fa4d9; font-weight: bold; }"
      "QLabel#titleBar { background: transparent; color: #e8ecf0; padding-left: 10px; }"
      "QListWidget, QTreeWidget { background: #16191d; color: #e8ecf0; border: 1px solid #323840; }"
      "QTreeWidget::item:selected { background: #2fa4d9; color: #ffffff; }"
      // The right column is narrow: the site panel's texts are a little smaller.
      "#sitePanel, #sitePanel QWidget { font-size: 13px; }"
      "QPushButton#siteButton { background: #2a3038; color: #e8ecf0; border: 1px solid #3a424d; border-radius: 3px;"
      " padding: 3px 4px; }"
      "QPushButton#siteButton:hover { background: #343b45; }"
      "QPushButton#siteButton:pressed { background: #2fa4d9; }"
      "QPushButton#siteButton:focus { border: 1px solid #2fa4d9; }"
      "QListWidget::item:selected { background: #2fa4d9; color: #ffffff; }"
      "QSlider::groove:horizontal { height: 6px; background: #323840; border-radius: 3px; }"
      "QSlider::sub-page:horizontal { background: #2fa4d9; border-radius: 3px; }"
      "QSlider::handle:horizontal { width: 14px; margin: -5px 0; border-radius: 7px; background: #e8ecf0; }"
      "QSlider:focus { border: 1px dotted #2fa4d9; }"
      "");

  // The grid.
  view_ = std::make_unique<CDvrView>();
  grid_ = new CDvrViewWidget(view_.get(), this);
  grid_->setGeometry(kGridRect);
  grid_->show();
  const bool grid_ok = grid_->InitSurfaces() == 1;
  if (!grid_ok) {
    const QString text = QString::fromLatin1("DirectX Primary Surface Fail!\n");
    if (Hook()) {
      Hook()(this, QString(), text, false);
    } else {
      QMessageBox::critical(this, windowTitle(), text);
    }
    close_timer_.start();
    return false;
  }
  view_->SetVideoArea(0, 0, kGridRect.width(), kGridRect.height());
  ReadDisplaySettings();
  view_->SetSplit(16, 0);
  connect(grid_, &CDvrViewWidget::paneDoubleClicked, this, [this](quint32, quint32) {
    // A double click zooms or returns: the live mask follows the panes,
    // taken once the grid has laid them out anew (it tells before).
    QTimer::singleShot(0, this, [this] {
      if (CDvrSite* site = CurrentSite(); site != nullptr && model_.IsLive()) site->UpdateLiveMask();
    });
  });

  // Title bars and the logo.
  title_top_ = new QLabel(this);
  title_top_->setObjectName("titleBar");
  title_top_->setGeometry(22, 6, 728, 24);
  title_right_ = new QLabel(this);
  title_right_->setObjectName("titleBar");
  title_right_->setGeometry(kRightLeft, 6, kRightWidth, 24);
  auto* logo = new CSkinPicture(this);
  logo->setGeometry(app::skin::kLogoRect.x, app::skin::kLogoRect.y, app::skin::kLogoRect.w, app::skin::kLogoRect.h);
  logo->LoadSkinFile(app::skin::kLogoFileName);
  logo_ = logo;

  // The wave-out player, muted at start, and its controls.
  player_ = std::make_unique<CWaveOutPlayer>();
  auto* mute = new CSkinButton(this);
  mute->SetSkin(app::skin::MuteButtonArt());
  mute->setProperty("controlId", app::kCtlMute);
  mute->setGeometry(kRightLeft + 6, 606, app::skin::kMuteSize, app::skin::kMuteSize);
  mute->setChecked(player_->muted());
  mute->setToolTip(Text(app::kStrings, app::text::kStrMute, "Mute"));
  mute->setFocusPolicy(Qt::StrongFocus);
  connect(mute, &QAbstractButton::toggled, this, [this](bool on) { player_->SetMuted(on ? 1 : 0); });
  mute_ = mute;
  volume_label_ = new QLabel(Text(app::kStrings, app::text::kStrVolume, "Volume"), this);
  volume_label_->setGeometry(kRightLeft + 40, 606, 70, 28);
  volume_ = new QSlider(Qt::Horizontal, this);
  volume_->setProperty("controlId", app::kCtlVolume);
  volume_->setRange(0, 100);
  volume_->setValue(50);
  volume_->setGeometry(kRightLeft + 6, 638, kRightWidth - 12, 24);
  volume_->setFocusPolicy(Qt::StrongFocus);
  volume_label_->setBuddy(volume_);
  connect(volume_, &QSlider::valueChanged, this,
          [this](int v) { player_->SetVolume(static_cast<uint16_t>(v * 65535 / 100)); });
  player_->SetVolume(static_cast<uint16_t>(50 * 65535 / 100));

  // Panels: site tree and lists, PTZ, events, the two playback panels.
  site_panel_ = MakePanel(app::text::kStrSitesPanel, "Sites", QRect(kRightLeft, 110, kRightWidth, 420));
  sites_panel_ = new CSitePanel(this, site_panel_);
  sites_panel_->setObjectName("sitePanel");
  site_panel_->layout()->addWidget(sites_panel_);
  connect(sites_panel_, &CSitePanel::siteEvent, this, [this](int, const EventRecord&) { ++event_activity_; });
  ptz_panel_ = MakePanel(app::text::kStrPtzPanel, "PTZ", QRect(kRightLeft, 534, kRightWidth, 66));
  static_cast<QVBoxLayout*>(ptz_panel_->layout())->addStretch();

  live_buttons_ = new QWidget(this);
  live_buttons_->setGeometry(kBottomRect.x(), kBottomRect.y(), kBottomRect.width(), 34);
  struct ButtonDef {
    int control;
    int text;
    const char* fallback;
  };
  const ButtonDef defs[] = {
      {app::kCtlRemotePlayback, app::text::kStrRemotePlayback, "Playback"},
      {app::kCtlLocalPlayback, app::text::kStrLocalPlayback, "Files"},
      {app::kCtlSnapshot, app::text::kStrSnapshot, "Snapshot"},
      {app::kCtlRotate, app::text::kStrRotate, "Rotate"},
      {app::kCtlRemoteSetup, app::text::kStrRemoteSetup, "Setup"},
      {app::kCtlSiteConfig, app::text::kStrConfiguration, "Settings"},
  };
  const int count = static_cast<int>(std::size(defs));
  const int width = (kBottomRect.width() - (count - 1) * 4) / count;
  for (int i = 0; i < count; ++i) {
    QAbstractButton* b = MakeButton(live_buttons_, defs[i].control, defs[i].text, defs[i].fallback,
                                    QRect(i * (width + 4), 3, width, app::skin::kCommandHeight));
    if (defs[i].control == app::kCtlRotate) {
      b->setCheckable(true);
      rotate_button_ = b;
    }
  }
  event_panel_ = MakePanel(app::text::kStrEventsPanel, "Events", QRect(22, 572, 728, 136));
  static_cast<QVBoxLayout*>(event_panel_->layout())->addStretch();
  // The event list fills the frame (its header names the columns).
  if (auto* caption = event_panel_->findChild<QLabel*>("panelCaption")) caption->hide();
  events_ = std::make_unique<CMainWindowEvents>(this, event_panel_, options_.report_events);
  events_->Panel()->setGeometry(0, 0, event_panel_->width(), event_panel_->height());
  connect(sites_panel_, &CSitePanel::siteEvent, this,
          [this](int site_id, const EventRecord& record) { events_->Monitor().OnSiteEvent(site_id, record); });
  connect(sites_panel_, &CSitePanel::siteCodeHandled, this,
          [this](int site_id, int code) { events_->Monitor().OnSiteCode(site_id, code); });

  remote_panel_ = MakePanel(app::text::kStrRemotePanel, "Remote playback", kBottomRect);
  playback_ = std::make_unique<CMainWindowPlayback>(
      remote_panel_, MakeButton(remote_panel_, app::kCtlBackToLiveFromRemote, app::text::kStrLive, "Live", QRect()),
      sites_panel_, view_.get(), grid_, player_.get());
  playback_->SetReport(this, options_.report_playback, options_.playback_screenshot_path);
  remote_panel_->hide();
  local_panel_ = MakePanel(app::text::kStrLocalPanel, "Local playback", kBottomRect);
  local_panel_->layout()->addWidget(MakeButton(local_panel_, app::kCtlBackToLiveFromLocal, app::text::kStrLive,
                                               "Live", QRect()));
  static_cast<QVBoxLayout*>(local_panel_->layout())->addStretch();
  local_panel_->hide();

  accounts_button_ = MakeButton(this, app::kCtlAccounts, app::text::kStrAccounts, "Accounts",
                                QRect(kRightLeft + 4, 672, 118, 28));
  MakeButton(this, app::kCtlExit, app::text::kStrExit, "Exit", QRect(kRightLeft + 126, 672, 78, 28));
  accounts_button_->setEnabled(false);

  // The grid stays on top of everything in the large layout.
  grid_->raise();

  sites_panel_->LoadDirectory();
  UpdateTitles();
  login_timer_.start();
  if (options_.quit_after_s > 0) QTimer::singleShot(options_.quit_after_s * 1000, this, &QWidget::close);
  return true;
}

void CMainWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The skin is drawn at its own size; a larger (maximised) window shows
  // the body colour around it.
  painter.fillRect(rect(), QColor::fromRgb(app::skin::kBaseRgb));
  if (!background_.isNull()) painter.drawImage(QPoint(0, 0), background_);
}

void CMainWindow::ReadDisplaySettings() {
  const OsdSettings osd = ReadOsdSettings();
  if (view_) view_->SetOsdFlags(OsdFlagsFromSettings(osd));
  // A changed period restarts a running rotation.
  const int index = ReadRotatingTime();
  if (rotation_.PeriodChanged(index)) {
    rotation_.Start(index);
    rotation_timer_.start(rotation_.CurrentPeriodMs());
  }
}

int CMainWindow::RotationTimerMs() const { return rotation_timer_.isActive() ? rotation_timer_.interval() : 0; }

bool CMainWindow::Ask(const QString& text) {
  if (Hook()) return Hook()(this, windowTitle(), text, true);
  return QMessageBox::question(this, windowTitle(), text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void CMainWindow::Tell(int message_number) {
  const QString text = QString::fromStdString(app::LoadText(app::kMessage, message_number));
  if (Hook()) {
    Hook()(this, windowTitle(), text, false);
    return;
  }
  QMessageBox::information(this, windowTitle(), text);
}

void CMainWindow::RunLocalLogin() {
  CLoginDialog dialog(this);
  if (options_.auto_login) {
    // Test hook: fill the dialog as an operator would and press its button.
    QTimer::singleShot(0, &dialog, [this, &dialog] {
      if (auto* ids = dialog.findChild<QComboBox*>()) {
        const int index = ids->findText(QString::fromStdString(options_.auto_login_id));
        if (index >= 0) ids->setCurrentIndex(index);
      }
      for (QLineEdit* edit : dialog.findChildren<QLineEdit*>()) {
        if (edit->echoMode() == QLineEdit::Password) edit->setText(QString::fromStdString(options_.auto_login_password));
      }
      for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == "Login") {
          button->click();
          return;
        }
      }
    });
  }
  if (dialog.exec() != QDialog::Accepted) {
    close();
    return;
  }
  logged_in_ = true;
  administrator_ = dialog.IsAdministrator();
  if (accounts_button_ != nullptr) accounts_button_->setEnabled(administrator_);
  blink_timer_.start();
  activity_timer_.start();
  for (const std::string& name : options_.connect_sites) {
    if (!sites_panel_->ConnectByName(name)) std::fprintf(stderr, "tavrel: no site named '%s' to connect\n", name.c_str());
  }
  options_.connect_sites.clear();
  if (!options_.screenshot_path.empty() || options_.close_when_live || options_.report_sites) {
    screenshot_timer_.start(200);
  }
}

bool CMainWindow::event(QEvent* event) {
  if (event->type() == static_cast<QEvent::Type>(kRunLoginEvent)) {
    RunLocalLogin();
    return true;
  }
  return QWidget::event(event);
}

CDvrSite* CMainWindow::CurrentSite() const { return sites_panel_ != nullptr ? sites_panel_->CurrentSite() : nullptr; }

CDvrSite* CMainWindow::SelectedSite() const {
  return sites_panel_ != nullptr ? sites_panel_->SelectedOrCurrentSite() : nullptr;
}

bool CMainWindow::InRemotePlaybackOf(CDvrSite* site) {
  return model_.Mode() == app::MainMode::kRemotePlayback && site != nullptr &&
         (site == CurrentSite() || (playback_ && site == playback_->Site()));
}

void CMainWindow::ReturnToLive() { OnCommand(app::kCtlBackToLiveFromRemote); }

void CMainWindow::SitesChanged() {
  UpdateTitles();
  const CDvrSite* site = CurrentSite();
  if (options_.report_sites && site != reported_current_ && site != nullptr) {
    std::printf("current-site %s panes=%d\n", site->Record().name.c_str(), view_->SplitCount());
    std::fflush(stdout);
  }
  reported_current_ = site;
}

app::SiteFacts CMainWindow::FactsOf(const CDvrSite* site) const {
  app::SiteFacts facts;
  if (site == nullptr) return facts;
  facts.selected = true;
  facts.connected = site->IsConnected();
  facts.rights_word = site->RightsWord();
  facts.setup_permission = site->SetupPermission();
  facts.platform_code = site->PlatformCode();
  facts.channel_count = site->ChannelCount();
  return facts;
}

void CMainWindow::ShowSiteChannels(CDvrSite* site) {
  const int channels = site->ChannelCount();
  const SiteRecord record = site->Record();
  view_->SetChannelCount(channels);
  if (view_->SplitCount() != app::PanesForChannels(channels)) view_->SetSplit(app::PanesForChannels(channels), 0);
  for (int c = 0; c < channels; ++c) {
    view_->SetTitle(c, record.name.c_str());
    view_->SetSource(c, record.address.c_str());
    view_->SetLabel(c, site->ChannelName(c).c_str());
  }
}

void CMainWindow::UpdateTitles() {
  const CDvrSite* played = playback_ ? playback_->Site() : nullptr;
  const CDvrSite* site = played != nullptr ? played : CurrentSite();
  const QString name = site != nullptr ? QString::fromStdString(site->Record().name) : QString();
  if (title_top_ != nullptr) title_top_->setText(name);
  if (title_right_ != nullptr) title_right_->setText(name);
}

void CMainWindow::SetLiveControlsVisible(bool on) {
  live_buttons_->setVisible(on);
  event_panel_->setVisible(on);
}

void CMainWindow::StartRotation() {
  CDvrSite* site = CurrentSite();
  if (!model_.RotationAllowed(site != nullptr)) {
    if (rotate_button_ != nullptr) rotate_button_->setChecked(false);
    return;
  }
  StopRotation();
  site->ShowAllChannels();
  rotation_.Start(ReadRotatingTime());
  rotation_timer_.start(rotation_.CurrentPeriodMs());
  if (rotate_button_ != nullptr) rotate_button_->setChecked(true);
}

void CMainWindow::StopRotation() {
  const bool was_running = rotation_.Running();
  rotation_.Stop();
  rotation_timer_.stop();
  if (rotate_button_ != nullptr) rotate_button_->setChecked(false);
  if (was_running) {
    if (CDvrSite* site = CurrentSite()) site->UpdateLiveMask();
  }
}

void CMainWindow::RotateOnce() {
  const int panes = view_->SplitCount();
  const int next = app::CPageRotation::NextPageStart(panes, view_->PageStart(), view_->ChannelCount());
  view_->ShowPage(panes, next);
  if (model_.IsLive()) {
    if (CDvrSite* site = CurrentSite()) site->UpdateLiveMask();
  }
}

void CMainWindow::OnCommand(int control) {
  CDvrSite* site = CurrentSite();
  CDvrSite* selected = SelectedSite();
  switch (control) {
    case app::kCtlRemotePlayback: {
      if (!model_.IsLive()) return;
      if (const int refused = app::CheckRemotePlayback(FactsOf(selected))) {
        Tell(refused);
        return;
      }
      StopRotation();
      model_.EnterRemotePlayback();
      playback_->Enter(selected, site);
      SetLiveControlsVisible(false);
      remote_panel_->show();
      UpdateTitles();
      break;
    }
    case app::kCtlBackToLiveFromRemote:
      if (!model_.LeaveRemotePlayback()) return;
      playback_->Leave();
      remote_panel_->hide();
      if (site != nullptr) {
        site->SetPlaybackMode(false);
        ShowSiteChannels(site);
        site->UpdateLiveMask();
      }
      SetLiveControlsVisible(true);
      setWindowTitle(QString::fromLatin1(app::kLiveTitleAfterPlayback));
      break;
    case app::kCtlLocalPlayback:
      if (!model_.EnterLocalPlayback()) return;
      StopRotation();
      // The files fill the grid; the live site stops drawing into it.
      if (site != nullptr) site->SetLiveDisplay(false);
      view_->ClearAll();
      view_->SetChannelCount(16);
      view_->SetSplit(16, 0);
      SetLiveControlsVisible(false);
      local_panel_->show();
      break;
    case app::kCtlBackToLiveFromLocal:
      if (!model_.LeaveLocalPlayback()) return;
      local_panel_->hide();
      view_->ClearAll();
      if (site != nullptr) {
        ShowSiteChannels(site);
        site->ResetLiveDecoders();
        site->SetLiveDisplay(true);
        site->UpdateLiveMask();
      } else {
        view_->SetSplit(16, 0);
      }
      SetLiveControlsVisible(true);
      break;
    case app::kCtlRemoteSetup:
      if (const int refused = app::CheckRemoteSetup(FactsOf(selected))) Tell(refused);
      break;
    case app::kCtlSiteConfig: {
      if (const int refused = app::CheckSiteCommand(FactsOf(selected))) {
        Tell(refused);
        return;
      }
      CConfigSheet sheet(this);
      sheet.exec();
      ReadDisplaySettings();
      break;
    }
    case app::kCtlAccounts: {
      if (!administrator_) return;
      CAccountsDialog dialog(this);
      dialog.exec();
      break;
    }
    case app::kCtlSnapshot:
      OpenSnapshot(view_.get(), this);
      break;
    case app::kCtlRotate:
      if (rotation_.Running()) {
        StopRotation();
      } else {
        StartRotation();
      }
      break;
    case app::kCtlExit:
      if (Ask(QString::fromStdString(app::LoadText(app::kMessage, app::text::kMsgExitQuestion)))) {
        // Closing hides the window; a window hidden before it is closed
        // would not end the program (only closing a shown one does).
        close();
      }
      break;
    case app::kCtlAbout:
      ShowAbout();
      break;
    default:
      break;
  }
}

void CMainWindow::ShowAbout() {
  const QString text = QString::fromStdString(app::LoadTextOr(app::kStrings, app::text::kStrAboutText,
                                                              "Tavrel: central monitoring of networked DVRs")) +
                       "\n" + QString::fromStdString(app::StartTitle("Tavrel"));
  if (Hook()) {
    Hook()(this, QString::fromUtf8(app::kAboutMenuText), text, false);
    return;
  }
  QMessageBox about(this);
  about.setProperty("controlId", 100);
  about.setWindowTitle(QString::fromUtf8(app::kAboutMenuText).remove('&'));
  about.setText(text);
  if (!background_.isNull() || true) {
    QPixmap logo(QString::fromStdString(app::ProgramFolder() + "/Skin/logo.bmp"));
    if (!logo.isNull()) about.setIconPixmap(logo);
  }
  about.exec();
}

void CMainWindow::contextMenuEvent(QContextMenuEvent* event) {
  // The window menu: Qt has no system menu, so the about item lives here.
  QMenu menu(this);
  QAction* about = menu.addAction(QString::fromUtf8(app::kAboutMenuText));
  if (menu.exec(event->globalPos()) == about) OnCommand(app::kCtlAbout);
}

void CMainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    OnCommand(app::kCtlAbout);
    return;
  }
  QWidget::keyPressEvent(event);
}

void CMainWindow::mousePressEvent(QMouseEvent* event) {
  // Dragging the window body moves the window, unless the grid covers it.
  if (event->button() == Qt::LeftButton && !large_layout_) {
    if (QWindow* handle = windowHandle()) {
      if (handle->startSystemMove()) return;
    }
  }
  QWidget::mousePressEvent(event);
}

void CMainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !view_) return;
  const bool large = isMaximized() || isFullScreen();
  if (large == large_layout_) return;
  large_layout_ = large;
  view_->SetLargeLayout(large ? 1 : 0);
  grid_->raise();
}

void CMainWindow::closeEvent(QCloseEvent* event) {
  Shutdown();
  event->accept();
}

void CMainWindow::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  login_timer_.stop();
  rotation_timer_.stop();
  blink_timer_.stop();
  activity_timer_.stop();
  screenshot_timer_.stop();
  // Talk first: it sends on the live connection that stops below.
  shutdown_steps_.push_back("talk");
  if (sites_panel_ != nullptr) {
    for (CSiteDirectory::Site* s : sites_panel_->Directory().AllSites()) s->runtime->StopTalk();
  }
  shutdown_steps_.push_back("transfers");
  shutdown_steps_.push_back("remote-playback");
  if (model_.Mode() == app::MainMode::kRemotePlayback) {
    model_.LeaveRemotePlayback();
    if (playback_) playback_->Leave();
    if (CDvrSite* site = CurrentSite()) site->SetPlaybackMode(false);
  }
  shutdown_steps_.push_back("local-player");
  if (model_.Mode() == app::MainMode::kLocalPlayback) model_.LeaveLocalPlayback();
  // Every site's sessions, not only the shown one; their threads are joined
  // and detached from the grid and player before those go.
  shutdown_steps_.push_back("sites");
  if (sites_panel_ != nullptr) sites_panel_->StopEverything();
  shutdown_steps_.push_back("log-viewer");
  if (events_) events_->Panel()->EndViewer();
  shutdown_steps_.push_back("panels");
}

bool CMainWindow::AllPanesLive() {
  CDvrSite* site = CurrentSite();
  if (site == nullptr || !isVisible()) return false;
  for (CSiteDirectory::Site* s : sites_panel_->Directory().AllSites()) {
    if (s->session_active && !s->runtime->LiveStarted()) return false;
  }
  for (int c = 0; c < site->ChannelCount(); ++c) {
    if (!view_->HasVideo(c)) return false;
  }
  return true;
}

void CMainWindow::CheckScreenshot() {
  if (!AllPanesLive()) return;
  if (options_.report_sites && !sites_reported_) {
    sites_reported_ = true;
    CSiteTree* tree = sites_panel_->Tree();
    for (CSiteDirectory::Site* s : sites_panel_->Directory().AllSites()) {
      QTreeWidgetItem* item = tree->ItemOf(s);
      if (item == nullptr) continue;
      tree->scrollToItem(item);
      const QPoint at = tree->viewport()->mapToGlobal(tree->visualItemRect(item).center());
      std::printf("site-item %s x=%d y=%d\n", s->record.name.c_str(), at.x(), at.y());
    }
    std::fflush(stdout);
  }
  if (options_.screenshot_path.empty() && !options_.close_when_live) return;
  if (options_.screenshot_path.empty()) {
    // Test hook: every site is live; close as the operator would.
    screenshot_timer_.stop();
    std::printf("closing %lld\n", static_cast<long long>(platform::MonotonicMs()));
    std::fflush(stdout);
    close();
    return;
  }
  // Every pane shows video: let the rates and names arrive, then grab.
  if (++screenshot_settled_ticks_ < 35) return;
  if (options_.maximise_cycle && maximise_step_ < 3) {
    // One tick per step, so the window system and the grid settle between.
    if (maximise_step_ == 0) {
      showMaximized();
    } else if (maximise_step_ == 1) {
      std::printf("maximised large=%d grid=%dx%d\n", large_layout_ ? 1 : 0, grid_->width(), grid_->height());
      showNormal();
    } else {
      std::printf("restored large=%d grid=%dx%d\n", large_layout_ ? 1 : 0, grid_->width(), grid_->height());
    }
    std::fflush(stdout);
    ++maximise_step_;
    return;
  }
  screenshot_timer_.stop();
  QPixmap shot;
  if (QScreen* s = screen(); s != nullptr) shot = s->grabWindow(0, x(), y(), width(), height());
  if (shot.isNull()) shot = grab();
  const bool saved = shot.save(QString::fromStdString(options_.screenshot_path), "PNG");
  std::printf(saved ? "screenshot %s\n" : "screenshot-failed %s\n", options_.screenshot_path.c_str());
  std::fflush(stdout);
  close();
}
