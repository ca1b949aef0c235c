#include "playback/ui/playback_panel.h"

#include <QCalendarWidget>
#include <QDate>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCharFormat>
#include <QVBoxLayout>

#include <utility>

#include "app/text_ids.h"
#include "app/texts.h"
#include "playback/playback_session.h"
#include "playback/ui/record_slider.h"
#include "protocol/control_session.h"
#include "sites/dvr_site.h"
#include "sites/local_settings.h"
#include "view/dvr_view.h"

namespace {

using playback::PanelButton;

CPlaybackPanel::MessageHook& Hook() {
  static CPlaybackPanel::MessageHook hook;
  return hook;
}

QString Text(std::string_view section, int number, const char* fallback) {
  return QString::fromStdString(app::LoadTextOr(section, number, fallback));
}

// The least time between two starts of the session after the DVR ended
// playback.
constexpr int kRestartSpacingMs = 2000;

// The transport glyphs, drawn rather than taken from a font so that every
// machine shows the same shapes.
QIcon TransportIcon(PanelButton button) {
  constexpr int w = 22, h = 16;
  QPixmap pixmap(w, h);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xE8, 0xEC, 0xF0));
  const auto triangle = [&](double left, double right, bool pointing_right) {
    QPainterPath path;
    if (pointing_right) {
      path.moveTo(left, 2);
      path.lineTo(right, h / 2.0);
      path.lineTo(left, h - 2);
    } else {
      path.moveTo(right, 2);
      path.lineTo(left, h / 2.0);
      path.lineTo(right, h - 2);
    }
    path.closeSubpath();
    p.drawPath(path);
  };
  switch (button) {
    case PanelButton::kFastBackward: triangle(1, 11, false); triangle(11, 21, false); break;
    case PanelButton::kStepBackward: p.drawRect(QRectF(4, 2, 2.5, h - 4)); triangle(7, 17, false); break;
    case PanelButton::kStop: p.drawRect(QRectF(6, 3, 10, 10)); break;
    case PanelButton::kPlay: triangle(6, 17, true); break;
    case PanelButton::kStepForward: triangle(5, 15, true); p.drawRect(QRectF(15.5, 2, 2.5, h - 4)); break;
    case PanelButton::kFastForward: triangle(1, 11, true); triangle(11, 21, true); break;
    case PanelButton::kBackup: break;
  }
  return QIcon(pixmap);
}

}  // namespace

void CPlaybackPanel::SetMessageHook(MessageHook hook) { Hook() = std::move(hook); }

CPlaybackPanel::CPlaybackPanel(SiteLookup lookup, QWidget* parent) : QWidget(parent), lookup_(std::move(lookup)) {
  setObjectName("playbackPanel");
  setProperty("controlId", 343);
  setStyleSheet(
      "#playbackPanel QPushButton { background: #2a3038; color: #e8ecf0; border: 1px solid #3a424d;"
      " border-radius: 3px; padding: 2px 8px; }"
      "#playbackPanel QPushButton:hover { background: #343b45; }"
      "#playbackPanel QPushButton:pressed { background: #2fa4d9; }"
      "#playbackPanel QPushButton:focus { border: 1px solid #2fa4d9; }"
      "#playbackPanel QPushButton:disabled { background: #1b1f24; color: #5d6570; border: 1px solid #262b31; }"
      "QLabel#playbackTime { color: #e8ecf0; font-size: 15px; font-weight: bold; }"
      "QLabel#playbackCaption { color: #2fa4d9; font-weight: bold; }"
      "QCalendarWidget QWidget { font-size: 11px; }"
      "QCalendarWidget QToolButton { color: #e8ecf0; padding: 0px 2px; }");
  restart_timer_.setSingleShot(true);
  connect(&restart_timer_, &QTimer::timeout, this, [this] {
    if (!model_.IsOpen()) return;
    last_start_.start();
    if (CDvrSite* site = Site()) site->StartPlaybackSession();
  });

  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(8);

  calendar_ = new QCalendarWidget(this);
  calendar_->setObjectName("playbackCalendar");
  calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  calendar_->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
  calendar_->setFixedSize(238, 162);
  calendar_->setFocusPolicy(Qt::StrongFocus);
  const QString choose_tip = Text(app::kStrings, app::text::kStrTipChooseTime, "Choose the date and time");
  calendar_->setToolTip(choose_tip);
  outer->addWidget(calendar_);
  connect(calendar_, &QCalendarWidget::currentPageChanged, this, [this](int year, int month) {
    if (refreshing_) return;
    model_.ShowMonth(year, month);
    Refresh();
  });
  connect(calendar_, &QCalendarWidget::selectionChanged, this, [this] {
    if (refreshing_) return;
    const QDate date = calendar_->selectedDate();
    model_.SelectDay(date.year(), date.month(), date.day());
    Refresh();
  });

  auto* right = new QVBoxLayout;
  right->setContentsMargins(0, 0, 0, 0);
  right->setSpacing(3);
  outer->addLayout(right, 1);

  auto* top = new QHBoxLayout;
  caption_ = new QLabel(Text(app::kStrings, app::text::kStrRemotePanel, "Remote playback"), this);
  caption_->setObjectName("playbackCaption");
  time_text_ = new QLabel(this);
  time_text_->setObjectName("playbackTime");
  time_text_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  top->addWidget(caption_);
  top->addStretch(1);
  top->addWidget(time_text_);
  right->addLayout(top);

  // The hours' bar sits above its slider and the minutes' bar below its
  // own, so the two bars frame the pair.
  const auto slider_row = [&](int text, const char* fallback, CRecordSlider* slider) {
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(Text(app::kStrings, text, fallback), this);
    label->setMinimumWidth(52);
    label->setBuddy(slider);
    slider->setToolTip(choose_tip);
    slider->setAccessibleName(label->text());
    row->addWidget(label);
    row->addWidget(slider, 1);
    right->addLayout(row);
  };
  hour_ = new CRecordSlider(23, CRecordSlider::BarSide::kAbove, this);
  minute_ = new CRecordSlider(59, CRecordSlider::BarSide::kBelow, this);
  slider_row(app::text::kStrPlaybackHour, "Hour", hour_);
  slider_row(app::text::kStrPlaybackMinute, "Minute", minute_);
  connect(hour_, &QSlider::valueChanged, this, [this](int hour) {
    if (refreshing_) return;
    model_.SelectHour(hour);
    Refresh();
  });
  connect(minute_, &QSlider::valueChanged, this, [this](int minute) {
    if (refreshing_) return;
    model_.SelectMinute(minute);
    Refresh();
  });

  button_row_ = new QHBoxLayout;
  button_row_->setSpacing(4);
  struct Def {
    PanelButton button;
    int tip;
    const char* fallback;
  };
  static constexpr Def kTransport[] = {
      {PanelButton::kFastBackward, app::text::kStrTipFastBackward, "Fast backward"},
      {PanelButton::kStepBackward, app::text::kStrTipStepBackward, "Step backward"},
      {PanelButton::kStop, app::text::kStrTipStop, "Stop"},
      {PanelButton::kPlay, app::text::kStrTipPlay, "Play"},
      {PanelButton::kStepForward, app::text::kStrTipStepForward, "Step forward"},
      {PanelButton::kFastForward, app::text::kStrTipFastForward, "Fast forward"},
  };
  for (const Def& def : kTransport) {
    auto* button = new QPushButton(this);
    button->setObjectName("transportButton");
    button->setIcon(TransportIcon(def.button));
    button->setIconSize(QSize(22, 16));
    button->setFixedSize(40, 28);
    button->setFocusPolicy(Qt::StrongFocus);
    const QString tip = Text(app::kStrings, def.tip, def.fallback);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    const PanelButton which = def.button;
    connect(button, &QPushButton::clicked, this, [this, which] { Press(which); });
    buttons_[static_cast<size_t>(def.button)] = button;
    button_row_->addWidget(button);
  }
  button_row_->addStretch(1);
  auto* backup = new QPushButton(Text(app::kStrings, app::text::kStrPlaybackBackup, "Backup"), this);
  backup->setObjectName("backupButton");
  backup->setProperty("controlId", 1277);
  backup->setFixedHeight(28);
  backup->setFocusPolicy(Qt::StrongFocus);
  backup->setToolTip(Text(app::kStrings, app::text::kStrTipBackup, "Back up recorded data"));
  connect(backup, &QPushButton::clicked, this, [this] { Press(PanelButton::kBackup); });
  buttons_[static_cast<size_t>(PanelButton::kBackup)] = backup;
  button_row_->addWidget(backup);
  right->addLayout(button_row_);

  Refresh();
}

CPlaybackPanel::~CPlaybackPanel() { Close(); }

void CPlaybackPanel::AddTrailingWidget(QWidget* widget) {
  widget->setParent(this);
  button_row_->addWidget(widget);
}

QAbstractButton* CPlaybackPanel::Button(PanelButton button) const { return buttons_[static_cast<size_t>(button)]; }

CDvrSite* CPlaybackPanel::Site() const {
  const int id = site_id_.load();
  return id >= 0 && lookup_ ? lookup_(id) : nullptr;
}

CPlaybackSession* CPlaybackPanel::Session() const {
  CDvrSite* site = Site();
  return site != nullptr ? site->PlaybackSession() : nullptr;
}

void CPlaybackPanel::Open(int site_id, CDvrView* view, CWaveOutPlayer* player) {
  Close();
  site_id_.store(site_id);
  CDvrSite* site = Site();
  if (site == nullptr) {
    site_id_.store(-1);
    return;
  }
  view_ = view;
  consumer_.SetPlatformCode(site->PlatformCode());
  consumer_.SetChannelCount(site->ChannelCount());
  consumer_.SetTimeZone(site->TimeZoneKnown(), site->TimeZoneOffset());
  consumer_.SetPanelState(kPanelStopped);
  consumer_.SetPictureSink(view);
  consumer_.SetPlayer(player);
  consumer_.SetTimeObserver(this);
  consumer_.SetPlaybackDisplay(view != nullptr);

  const QDateTime now = QDateTime::currentDateTime();
  model_.Open(site->RightsWord(), site->PlatformCode(),
              playback::PanelTime{now.date().year(), now.date().month(), now.date().day(), now.time().hour(),
                                  now.time().minute(), now.time().second()});
  Refresh();
}

void CPlaybackPanel::Close() {
  restart_timer_.stop();
  model_.Close();
  // The worker was joined with the session; nothing calls the consumer now.
  consumer_.SetPanelState(kPanelClosed);
  consumer_.SetPlaybackDisplay(false);
  consumer_.SetTimeObserver(nullptr);
  consumer_.SetPictureSink(nullptr);
  consumer_.SetPlayer(nullptr);
  consumer_.SetSession(nullptr);
  if (CDvrSite* site = Site()) site->SetPlaybackMode(false);
  site_id_.store(-1);
  view_ = nullptr;
  Refresh();
}

void CPlaybackPanel::HandleSiteCode(int site_id, int code) {
  if (!model_.IsOpen() || site_id != site_id_.load()) return;
  CDvrSite* site = Site();
  if (site == nullptr) return;
  if (code == kDataRecordDays) {
    uint32_t year = 0;
    uint32_t month = 0;
    uint8_t days[31];
    site->RecordDays(&year, &month, days);
    model_.OnRecordDays(static_cast<int>(year), static_cast<int>(month), days);
    Refresh();
  } else if (code == kDataRecordMinutes) {
    uint8_t minutes[1440];
    site->RecordMinutes(minutes);
    model_.OnRecordMinutes(minutes);
    Refresh();
  }
}

void CPlaybackPanel::SendChannelMask() {
  if (!model_.IsOpen() || view_ == nullptr) return;
  if (CPlaybackSession* session = Session()) session->SendPlaybackMask(view_->PaneChannelMask());
}

void CPlaybackPanel::Press(PanelButton button) {
  if (button == PanelButton::kBackup) {
    if (model_.Enabled(button)) ShowBackupNotice();
    return;
  }
  model_.Press(button);
  Refresh();
}

void CPlaybackPanel::ShowBackupNotice() {
  // The backup sheet is not part of this client yet.
  const QString text = Text(app::kMessage, app::text::kMsgBackupUnavailable, "Backup is not available yet.");
  if (Hook()) {
    Hook()(this, text);
    return;
  }
  QMessageBox::information(this, window()->windowTitle(), text);
}

// ---- reports from the session's worker -------------------------------------

void CPlaybackPanel::OnSessionStatus(int code, void* user) {
  auto* panel = static_cast<CPlaybackPanel*>(user);
  const int site_id = panel->site_id_.load();
  QMetaObject::invokeMethod(panel, [panel, site_id, code] { panel->TakeStatus(site_id, code); }, Qt::QueuedConnection);
}

void CPlaybackPanel::OnPlaybackTime(int channel, const PlaybackTime& time) {
  const int site_id = site_id_.load();
  QMetaObject::invokeMethod(this, [this, site_id, channel, time] { TakeTime(site_id, channel, time); },
                            Qt::QueuedConnection);
}

void CPlaybackPanel::TakeStatus(int site_id, int code) {
  if (!model_.IsOpen() || site_id != site_id_.load()) return;
  model_.OnStatus(code);
  Refresh();
}

void CPlaybackPanel::TakeTime(int site_id, int channel, const PlaybackTime& time) {
  if (!model_.IsOpen() || site_id != site_id_.load()) return;
  model_.OnPictureTime(channel, time);
  Refresh();
}

// ---- the port: site, session, grid, operator ---------------------------------

void CPlaybackPanel::ClearSearchState() {
  if (CDvrSite* site = Site()) site->Control().ClearSearchState();
}

void CPlaybackPanel::SendMonthSearch(int year, int month, int mode) {
  if (CDvrSite* site = Site()) {
    site->SendMonthSearch(static_cast<uint32_t>(year), static_cast<uint32_t>(month), static_cast<uint32_t>(mode));
  }
}

void CPlaybackPanel::SendDaySearch(int year, int month, int day) {
  if (CDvrSite* site = Site()) site->SendDaySearch(year, month, day);
}

void CPlaybackPanel::CreateSession() {
  CDvrSite* site = Site();
  if (site == nullptr) return;
  CPlaybackSession* session = site->CreatePlaybackSession(&CPlaybackConsumer::OnFrame, &consumer_,
                                                          &CPlaybackPanel::OnSessionStatus, this);
  consumer_.SetSession(session);
}

bool CPlaybackPanel::HasSession() { return Session() != nullptr; }

void CPlaybackPanel::StartSession() {
  if (CDvrSite* site = Site()) {
    last_start_.start();
    site->StartPlaybackSession();
  }
}

void CPlaybackPanel::RestartSession() {
  if (restart_timer_.isActive()) return;
  const qint64 since = last_start_.isValid() ? last_start_.elapsed() : kRestartSpacingMs;
  restart_timer_.start(static_cast<int>(std::max<qint64>(0, kRestartSpacingMs - since)));
}

void CPlaybackPanel::SendClose() {
  if (CPlaybackSession* session = Session()) session->ClosePlayback();
}

void CPlaybackPanel::DeleteSession() {
  restart_timer_.stop();
  if (CDvrSite* site = Site()) site->DeletePlaybackSession();
  consumer_.SetSession(nullptr);
}

void CPlaybackPanel::SetPosition(const playback::PanelTime& t) {
  if (CPlaybackSession* session = Session()) session->SetPosition(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

void CPlaybackPanel::PlayControl(int action, int direction, int step) {
  if (CPlaybackSession* session = Session()) session->PlayControl(action, direction, step);
}

void CPlaybackPanel::SendZeroRequest(uint16_t command) {
  if (CPlaybackSession* session = Session()) session->SendZeroRequest(command);
}

void CPlaybackPanel::ShowHiddenChannels() {
  if (CPlaybackSession* session = Session()) session->ShowHiddenChannels();
}

void CPlaybackPanel::SetSpeedCode(int code) {
  if (view_ != nullptr) view_->SetSpeedCode(code);
}

void CPlaybackPanel::ResetPlaybackView() {
  if (view_ == nullptr) return;
  view_->ClearAll();
  CopyChannelNames();
}

void CPlaybackPanel::CopyChannelNames() {
  CDvrSite* site = Site();
  if (view_ == nullptr || site == nullptr) return;
  const SiteRecord record = site->Record();
  for (int c = 0; c < site->ChannelCount(); ++c) {
    view_->SetTitle(c, record.name.c_str());
    view_->SetSource(c, record.address.c_str());
    view_->SetLabel(c, site->ChannelName(c).c_str());
  }
}

void CPlaybackPanel::ShowMessage(int message_number) {
  const QString text = QString::fromStdString(app::LoadText(app::kMessage, message_number));
  if (Hook()) {
    Hook()(this, text);
    return;
  }
  QMessageBox::information(this, window()->windowTitle(), text);
}

bool CPlaybackPanel::ShowHiddenSetting() { return ShowCovertChannels(); }

// ---- painting the state ---------------------------------------------------------

void CPlaybackPanel::Refresh() {
  refreshing_ = true;
  consumer_.SetPanelState(model_.State());
  for (size_t i = 0; i < buttons_.size(); ++i) {
    if (buttons_[i] != nullptr) buttons_[i]->setEnabled(model_.Enabled(static_cast<PanelButton>(i)));
  }
  calendar_->setEnabled(model_.CalendarEnabled());
  hour_->setEnabled(model_.SlidersEnabled());
  minute_->setEnabled(model_.SlidersEnabled());

  const playback::PanelTime& t = model_.Selected();
  if (model_.IsOpen() && t.year > 0) {
    const QDate date(t.year, t.month, t.day);
    if (date.isValid()) {
      calendar_->setCurrentPage(t.year, t.month);
      calendar_->setSelectedDate(date);
    }
    hour_->setValue(t.hour);
    minute_->setValue(t.minute);
    time_text_->setText(QString::fromStdString(model_.DateTimeText()));
  } else {
    time_text_->clear();
  }

  // Recorded days of the month the calendar shows, in the accent colour.
  calendar_->setDateTextFormat(QDate(), QTextCharFormat());
  if (model_.IsOpen() && model_.MapYear() == calendar_->yearShown() && model_.MapMonth() == calendar_->monthShown()) {
    QTextCharFormat marked;
    marked.setBackground(QColor(0xE0, 0xA0, 0x30));
    marked.setForeground(QColor(0x10, 0x12, 0x14));
    marked.setFontWeight(QFont::Bold);
    for (int d = 1; d <= playback::DaysInMonth(model_.MapYear(), model_.MapMonth()); ++d) {
      if (model_.DayMarked(d)) calendar_->setDateTextFormat(QDate(model_.MapYear(), model_.MapMonth(), d), marked);
    }
  }
  std::vector<bool> hours(24);
  for (int h = 0; h < 24; ++h) hours[static_cast<size_t>(h)] = model_.HourMarked(h);
  hour_->SetMarks(hours);
  std::vector<bool> minutes(60);
  for (int m = 0; m < 60; ++m) minutes[static_cast<size_t>(m)] = model_.MinuteMarked(t.hour, m);
  minute_->SetMarks(minutes);
  refreshing_ = false;
  emit panelChanged();
}
