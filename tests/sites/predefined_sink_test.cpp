// One site's channels in the panes of a predefined list, on a real grid
// offscreen (grid mode 3, 64 panes).
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "view/dvr_view.h"
#include "view/predefined_sink.h"

namespace {

struct ListGrid {
  CDvrView view;
  CPredefinedSink sink{&view};
  const std::vector<uint8_t> pixels = std::vector<uint8_t>(176 * 144 * 2, 0x80);

  ListGrid() {
    MonitorInfo m;
    m.rect = QRect(0, 0, 720, 500);
    m.work = m.rect;
    view.UseMonitor(m);
    view.InitSurfaces();
    view.SetVideoArea(0, 0, 700, 500);
    view.SetChannelCount(64);
    view.SetGridMode(3);
    view.SetSplit(16, 0);
  }
  void Show(int channel) { sink.ShowPicture(channel, 176, 144, 176 * 144 * 2, pixels.data()); }
};

TEST(PredefinedSink, ChannelsGoToTheirPanesWithTheDvrChannelAsPaneIdentifier) {
  ListGrid g;
  g.sink.Map(5, 2);
  g.sink.Map(9, 2);
  g.sink.Map(1, 0);
  g.Show(2);
  g.Show(7);  // no pane in the list
  for (int pane : {0, 1, 2, 7}) EXPECT_FALSE(g.view.HasVideo(pane)) << pane;
  EXPECT_TRUE(g.view.HasVideo(5) && g.view.HasVideo(9));
  g.view.SelectChannel(9);
  EXPECT_EQ(g.view.SelectedPaneId(), 2);
  std::tm t{};
  t.tm_hour = 7;
  g.sink.SetChannelTime(0, t);
  EXPECT_EQ(g.view.FrameTime(1).tm_hour, 7);
  EXPECT_EQ(g.sink.PaneChannelMask(), 0x0005);  // the site streams only these
  g.view.SetSplit(1, 9);
  EXPECT_EQ(g.sink.SoleChannel(), 2);
}

TEST(PredefinedSink, AFreedPaneGetsNothingOnceMapReturns) {
  ListGrid g;
  g.sink.Map(3, 0);
  std::atomic<bool> stop{false};
  std::atomic<int> shown{0};
  std::thread stream([&] {
    for (; !stop.load(); ++shown) g.Show(0);
  });
  auto shown_reaches = [&](int n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (shown.load() < n && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    return shown.load() >= n;
  };
  EXPECT_TRUE(shown_reaches(10));
  g.sink.Map(3, -1);
  g.view.ClearChannel(3, 0);
  EXPECT_TRUE(shown_reaches(shown.load() + 20));
  stop = true;
  stream.join();
  EXPECT_FALSE(g.view.HasVideo(3));
}

}  // namespace

// fontconfig keeps a few blocks for the life of the process on purpose.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
