// CDvrViewWidget: the grid's window. It paints the changed rectangles of
// the grid's back surface, turns mouse clicks into the grid's click
// handling and its notifications into signals, and tells the grid where it
// is and which monitor it is on.
#pragma once
#include <QRegion>
#include <QWidget>

#include <mutex>

#include "view/dvr_view.h"

class CDvrViewWidget : public QWidget, public IViewWindow {
  Q_OBJECT

 public:
  // The view must outlive the widget.
  explicit CDvrViewWidget(CDvrView* view, QWidget* parent = nullptr);
  ~CDvrViewWidget() override;

  // Binds the widget to the grid and builds the surfaces: 1 or -1.
  int InitSurfaces();
  CDvrView* View() { return view_; }

  // IViewWindow
  void PresentRect(const QRect& back_rect) override;
  void InvalidateAll() override;
  QSize ClientSize() const override { return size(); }
  void PlaceWindow(const QRect& geometry) override { setGeometry(geometry); }
  bool CurrentMonitor(MonitorInfo* monitor) const override;

 signals:
  // Left click on a pane with video: selected pane identifier << 16, and
  // the point (x | y << 16) in back-surface coordinates.
  void paneClicked(quint32 wparam, quint32 lparam);
  // Left double click: split count << 16 | channel (0xFFFF none), the point.
  void paneDoubleClicked(quint32 wparam, quint32 lparam);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void OnScreenChanged();

 private:
  static void OnNotify(int message, uint32_t wparam, uint32_t lparam, void* user);
  void FlushDirty();
  void TrackScreen();
  void UpdateOrigin();

  CDvrView* view_;
  QScreen* tracked_screen_ = nullptr;
  std::mutex dirty_lock_;
  QRegion dirty_back_;
  bool dirty_all_ = false;
  bool flush_posted_ = false;
};
