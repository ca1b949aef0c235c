// The grid inside a real (offscreen) window: maximising and restoring move
// the window, whose handlers call back into the grid; and the grid's
// destructor against picture threads still inside it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "view/ui/dvr_view_widget.h"
#include "view_support.h"

namespace {

using namespace std::chrono_literals;

TEST(GridWindow, MaximiseAndRestorePlaceTheWindowAndLayThePanesOut) {
  EnsureQtApp();
  QWidget top;
  top.resize(780, 560);
  CDvrView view;
  CDvrViewWidget grid(&view, &top);
  grid.setGeometry(22, 33, 728, 500);
  top.show();
  ASSERT_EQ(grid.InitSurfaces(), 1);
  view.SetVideoArea(0, 0, 728, 500);
  view.SetSplit(4, 0);
  const QSize monitor = grid.screen()->geometry().size();
  {
    Watchdog dog(std::chrono::seconds(20), "SetLargeLayout");
    view.SetLargeLayout(1);
    EXPECT_EQ(grid.geometry(), QRect(0, 29, monitor.width(), monitor.height() - 29));
    EXPECT_EQ(view.PaneRect(3).size(), QSize(monitor.width() / 2, (monitor.height() - 29) / 2));
    view.SetLargeLayout(0);
    EXPECT_EQ(grid.geometry(), QRect(22, 33, 728, 500));
    EXPECT_EQ(view.PaneRect(3).size(), QSize(364, 250));
    QApplication::processEvents();
  }
  // The panes sit where the window is now.
  EXPECT_EQ(view.PaneRect(0).topLeft(), view.ClientToBack(QPoint(0, 0)));
}

// A window whose first repaint request after hold is set blocks until the
// test releases it, so that a picture thread stays inside the grid's lock.
class HeldWindow : public IViewWindow {
 public:
  void PresentRect(const QRect&) override {
    ++presents;
    if (!hold.exchange(false)) return;
    inside.set_value();
    release.get_future().wait();
  }
  void InvalidateAll() override {}
  QSize ClientSize() const override { return QSize(720, 500); }
  void PlaceWindow(const QRect&) override {}
  bool CurrentMonitor(MonitorInfo*) const override { return false; }

  std::atomic<bool> hold{false};
  std::atomic<int> presents{0};
  std::promise<void> inside, release;
};

TEST(GridWindow, DestroyingTheGridWaitsForPictureThreadsInsideIt) {
  HeldWindow window;
  GridFixture grid;
  grid.view->SetWindow(&window);
  grid.view->SetSplit(4, 0);
  const std::vector<uint8_t> pic = SolidYuy2(352, 288, 100, 128, 128);

  window.hold = true;
  window.presents = 0;
  std::thread first([&] { grid.Feed(0, pic); });
  ASSERT_EQ(window.inside.get_future().wait_for(5s), std::future_status::ready);
  std::thread second([&] { grid.Feed(1, pic); });  // waits for the lock
  for (int i = 0; i < 5000 && grid.view->CallsInFlight() < 2; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(grid.view->CallsInFlight(), 2);

  auto destroyed = std::async(std::launch::async, [&] {
    grid.view.reset();
    return window.presents.load();
  });
  EXPECT_EQ(destroyed.wait_for(200ms), std::future_status::timeout);
  window.release.set_value();
  ASSERT_EQ(destroyed.wait_for(10s), std::future_status::ready);
  first.join();
  second.join();
  EXPECT_EQ(destroyed.get(), 2);  // the waiting thread drew its picture before the grid went
}

}  // namespace
