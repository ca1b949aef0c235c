#include "view/ui/dvr_view_widget.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

CDvrViewWidget::CDvrViewWidget(CDvrView* view, QWidget* parent) : QWidget(parent), view_(view) {
  setWindowTitle("DVR GDI View");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setCursor(Qt::ArrowCursor);
  view_->SetWindow(this);
}

CDvrViewWidget::~CDvrViewWidget() { view_->SetWindow(nullptr); }

int CDvrViewWidget::InitSurfaces() {
  UpdateOrigin();
  return view_->InitSurfaces(&CDvrViewWidget::OnNotify, this);
}

bool CDvrViewWidget::CurrentMonitor(MonitorInfo* monitor) const {
  QScreen* s = screen();
  if (s == nullptr) return false;
  monitor->rect = s->geometry();
  monitor->work = s->availableGeometry();
  monitor->primary = s == QGuiApplication::primaryScreen();
  monitor->device_name = s->name().toStdString();
  return true;
}

void CDvrViewWidget::OnNotify(int message, uint32_t wparam, uint32_t lparam, void* user) {
  auto* self = static_cast<CDvrViewWidget*>(user);
  if (message == kViewNotifyClick) emit self->paneClicked(wparam, lparam);
  if (message == kViewNotifyDoubleClick) emit self->paneDoubleClicked(wparam, lparam);
}

// Picture threads call these under the grid's lock: they only collect the
// rectangle and post one queued repaint for everything collected meanwhile.
void CDvrViewWidget::PresentRect(const QRect& back_rect) {
  std::lock_guard<std::mutex> lock(dirty_lock_);
  dirty_back_ += back_rect;
  if (!flush_posted_) {
    flush_posted_ = true;
    QMetaObject::invokeMethod(this, &CDvrViewWidget::FlushDirty, Qt::QueuedConnection);
  }
}

void CDvrViewWidget::InvalidateAll() {
  std::lock_guard<std::mutex> lock(dirty_lock_);
  dirty_all_ = true;
  if (!flush_posted_) {
    flush_posted_ = true;
    QMetaObject::invokeMethod(this, &CDvrViewWidget::FlushDirty, Qt::QueuedConnection);
  }
}

void CDvrViewWidget::FlushDirty() {
  QRegion region;
  bool all;
  {
    std::lock_guard<std::mutex> lock(dirty_lock_);
    region.swap(dirty_back_);
    all = dirty_all_;
    dirty_all_ = false;
    flush_posted_ = false;
  }
  if (all) {
    update();
  } else if (!region.isEmpty()) {
    update(region.translated(-view_->ClientToBack(QPoint(0, 0))));
  }
}

void CDvrViewWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  for (const QRect& r : event->region()) view_->Paint(painter, r);
}

void CDvrViewWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) view_->OnLeftClick(event->position().toPoint());
}

void CDvrViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) view_->OnLeftDoubleClick(event->position().toPoint());
}

void CDvrViewWidget::UpdateOrigin() { view_->SetClientOrigin(mapToGlobal(QPoint(0, 0))); }

void CDvrViewWidget::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  UpdateOrigin();
  view_->Relayout();
}

void CDvrViewWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateOrigin();
}

void CDvrViewWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  window()->removeEventFilter(this);
  if (window() != this) window()->installEventFilter(this);
  TrackScreen();
  UpdateOrigin();
  view_->Relayout();
}

bool CDvrViewWidget::eventFilter(QObject* watched, QEvent* event) {
  // The top-level window moved: the panes sit elsewhere on the monitor, or on another one.
  if (watched == window() && event->type() == QEvent::Move) {
    UpdateOrigin();
    if (screen() != tracked_screen_) {
      TrackScreen();
      InitSurfaces();  // lays the panes out on the new surfaces
    } else {
      view_->Relayout();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CDvrViewWidget::TrackScreen() {
  if (tracked_screen_ != nullptr) disconnect(tracked_screen_, nullptr, this, nullptr);
  tracked_screen_ = screen();
  if (tracked_screen_ == nullptr) return;
  // A display mode change loses the surfaces; the next paint rebuilds them
  // and lays the panes out again.
  connect(tracked_screen_, &QScreen::geometryChanged, this, [this] {
    view_->MarkSurfacesLost();
    UpdateOrigin();
    update();
  });
  if (QWindow* handle = window()->windowHandle()) {
    connect(handle, &QWindow::screenChanged, this, &CDvrViewWidget::OnScreenChanged, Qt::UniqueConnection);
  }
}

void CDvrViewWidget::OnScreenChanged() {
  TrackScreen();
  UpdateOrigin();
  InitSurfaces();  // rebuilds the surfaces, lays the panes out and redraws
}
