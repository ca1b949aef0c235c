// Sixteen picture threads against layout changes, selection, borders and
// snapshot copies on the user-interface thread (run it under the sanitizer
// build as well).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "view_support.h"

TEST(GridThreads, SixteenDeliverersWhileLayoutsChange) {
  GridFixture grid;
  CDvrView& view = *grid.view;
  view.SetSplit(16, 0);
  std::atomic<bool> stop{false};
  std::atomic<int> accepted{0}, dropped{0};
  std::vector<std::thread> threads;
  for (int ch = 0; ch < 16; ++ch) {
    threads.emplace_back([&, ch] {
      const int w = ch % 2 == 0 ? 352 : 176;
      const int h = ch % 2 == 0 ? 288 : 144;
      const std::vector<uint8_t> pic = SolidYuy2(w, h, static_cast<uint8_t>(40 + ch * 10), 90, 170);
      std::tm t{};
      t.tm_year = 120;
      while (!stop.load()) {
        view.SetFrameTime(ch, t);
        view.SetBitRate(ch, 1000 * ch);
        (view.ShowPicture(PictureRecord{ch, ch, w, h, w * h * 2, pic.data()}) == 0 ? accepted : dropped)++;
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
  stop.store(true);
  for (auto& t : threads) t.join();
  EXPECT_GT(accepted.load(), 0);
  EXPECT_TRUE(view.SurfacesReady());
}
