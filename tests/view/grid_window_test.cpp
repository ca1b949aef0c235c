// The grid inside a real (offscreen) window: maximising and restoring move
// the window, whose handlers call back into the grid; and the grid's
// destructor against picture threads still inside it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "view/ui/dvr_view_widget.h"
#include "view_support.h"

namespace {

using namespace std::chrono_literals;

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds bound = 5000ms) {
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

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

// A window whose repaint request blocks while the test holds it, so that a
// picture thread stays inside the grid under its lock.
class HeldWindow : public IViewWindow {
 public:
  void PresentRect(const QRect&) override {
    std::unique_lock<std::mutex> lock(lock_);
    if (!hold_) return;
    ++inside_;
    cv_.notify_all();
    cv_.wait(lock, [this] { return !hold_; });
  }
  void InvalidateAll() override {}
  QSize ClientSize() const override { return QSize(720, 500); }
  void PlaceWindow(const QRect&) override {}
  bool CurrentMonitor(MonitorInfo*) const override { return false; }

  void Hold(bool on) {
    std::lock_guard<std::mutex> lock(lock_);
    hold_ = on;
    cv_.notify_all();
  }
  bool WaitInside(int n) {
    std::unique_lock<std::mutex> lock(lock_);
    return cv_.wait_for(lock, 5s, [&] { return inside_ >= n; });
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  bool hold_ = false;
  int inside_ = 0;
};

TEST(GridWindow, DestroyingTheGridWaitsForPictureThreadsInsideIt) {
  HeldWindow window;
  GridFixture grid;
  grid.view->SetWindow(&window);
  grid.view->SetSplit(4, 0);
  const std::vector<uint8_t> pic = SolidYuy2(352, 288, 100, 128, 128);

  window.Hold(true);
  std::thread first([&] { grid.Feed(0, pic); });  // holds the grid's lock in PresentRect
  ASSERT_TRUE(window.WaitInside(1));
  std::atomic<bool> second_returned{false};
  std::thread second([&] {
    grid.Feed(1, pic);  // waits for the lock
    second_returned.store(true);
  });
  ASSERT_TRUE(WaitUntil([&] { return grid.view->CallsInFlight() == 2; }));

  std::atomic<bool> second_done_first{false};
  auto destroyed = std::async(std::launch::async, [&] {
    grid.view.reset();
    second_done_first.store(second_returned.load());
  });
  EXPECT_EQ(destroyed.wait_for(200ms), std::future_status::timeout);
  window.Hold(false);
  EXPECT_EQ(destroyed.wait_for(10s), std::future_status::ready);
  first.join();
  second.join();
  destroyed.get();
  EXPECT_TRUE(second_done_first.load());
}

}  // namespace
