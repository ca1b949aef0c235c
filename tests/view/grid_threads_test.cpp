// Sixteen picture threads against layout changes, selection, borders and
// snapshot copies on the user-interface thread (run it under the sanitizer
// build as well). Each thread alternates two pictures of its own grey; when
// the threads stop, every pane shows one of its two pictures, whole.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/condition_wait.h"
#include "view_support.h"

namespace {

// The RGB grey of luma y (limited range), to within rounding.
int GreyOf(int y) { return (y - 16) * 255 / 219; }

TEST(GridThreads, SixteenDeliverersWhileLayoutsChange) {
  GridFixture grid;
  CDvrView& view = *grid.view;
  view.SetSplit(16, 0);
  std::atomic<bool> stop{false};
  std::atomic<int> accepted{0};
  CConditionSignal drew;  // told after every picture a thread drew
  // Two pictures per channel: lumas 40 + 10 ch and 45 + 10 ch.
  std::vector<std::vector<uint8_t>> pictures[16];
  for (int ch = 0; ch < 16; ++ch) {
    const int w = ch % 2 == 0 ? 352 : 176;
    const int h = ch % 2 == 0 ? 288 : 144;
    for (int k = 0; k < 2; ++k) pictures[ch].push_back(SolidYuy2(w, h, static_cast<uint8_t>(40 + ch * 10 + 5 * k), 128, 128));
  }
  std::vector<std::thread> threads;
  for (int ch = 0; ch < 16; ++ch) {
    threads.emplace_back([&, ch] {
      const int w = ch % 2 == 0 ? 352 : 176;
      const int h = ch % 2 == 0 ? 288 : 144;
      std::tm t{};
      t.tm_year = 120;
      for (int n = 0; !stop.load(); ++n) {
        view.SetFrameTime(ch, t);
        view.SetBitRate(ch, 1000 * ch);
        if (view.ShowPicture(PictureRecord{ch, ch, w, h, w * h * 2, pictures[ch][n % 2].data()}) == 0) {
          ++accepted;
          drew.Notify();
        }
        ++t.tm_sec;
      }
    });
  }
  const int splits[] = {1, 4, 9, 16, 25, 36, 64, 8};
  CachedPictureCopy copy;
  for (int round = 0; round < 30; ++round) {
    view.SetSplit(splits[round % 8], round % 16);
    view.ShowPage(4, (round * 4) % 16);
    view.SelectChannel(round % 16);
    view.SetEventBorder((round * 3) % 16, round % 5, round % 2);
    if (round % 7 == 0) view.ZoomToChannel(round % 16);
    if (round % 11 == 0) view.ClearChannel(round % 16, 1);
    view.CopyCachedPicture(round % 16, &copy);
    view.Relayout();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // All sixteen panes without texts, until every channel has drawn into it.
  view.SetOsdFlags(0);
  view.SetSplit(16, 0);
  int drawn = 0;
  drew.WaitUntil([&] {
    drawn = 0;
    for (int ch = 0; ch < 16; ++ch) drawn += view.CopyCachedPicture(ch, &copy) ? 1 : 0;
    return drawn == 16;
  });
  stop.store(true);
  for (auto& t : threads) t.join();
  EXPECT_EQ(drawn, 16);
  EXPECT_GT(accepted.load(), 0);
  EXPECT_TRUE(view.SurfacesReady());

  const QImage back = view.BackSurfaceCopy();
  for (int ch = 0; ch < 16; ++ch) {
    SCOPED_TRACE(ch);
    ASSERT_TRUE(view.CopyCachedPicture(ch, &copy));
    const int k = copy.data == pictures[ch][0] ? 0 : (copy.data == pictures[ch][1] ? 1 : -1);
    ASSERT_NE(k, -1) << "the cached picture is neither of the channel's";
    // Inside the frame ring the pane is one grey, the cached picture's (the
    // channel's two greys lie six steps apart).
    const QRect inner = view.PaneRect(ch).adjusted(4, 4, -4, -4);
    ASSERT_FALSE(inner.isEmpty());
    const QRgb seen = Px(back, inner.left(), inner.top());
    EXPECT_NEAR(qRed(seen), GreyOf(40 + ch * 10 + 5 * k), 2);
    EXPECT_TRUE(qRed(seen) == qGreen(seen) && qGreen(seen) == qBlue(seen));
    int off = 0;
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
      for (int x = inner.left(); x <= inner.right(); ++x) off += Px(back, x, y) != seen;
    }
    EXPECT_EQ(off, 0) << "pixels of the pane that are not its grey";
  }
}

}  // namespace
