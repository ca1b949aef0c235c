// Layout rules of the grid: split starts, page stepping, zoom, clicks and
// their notification words, and the inputs the grid refuses.
#include <gtest/gtest.h>

#include "view_support.h"

namespace {

struct Note {
  int message;
  uint32_t wparam, lparam;
};

struct LayoutTest : ::testing::Test, GridFixture {
  std::vector<Note> notes;
  std::vector<uint8_t> pic = SolidYuy2(352, 288, 120, 100, 160);
  static void Record(int message, uint32_t w, uint32_t l, void* user) {
    static_cast<LayoutTest*>(user)->notes.push_back({message, w, l});
  }
  LayoutTest() { view->InitSurfaces(&Record, this); }
  QPoint Centre(int channel) { return view->PaneRect(channel).center(); }
  static uint32_t Word(QPoint p) { return static_cast<uint32_t>(p.x()) | static_cast<uint32_t>(p.y()) << 16; }
};

TEST_F(LayoutTest, SplitFixesItsStartAndRefusesUnknownCounts) {
  view->SetSplit(9, 6);
  EXPECT_EQ(view->PageStart(), 7);
  EXPECT_EQ(view->ShownChannels().front(), 7);
  view->SetSplit(1, 20);
  EXPECT_EQ(view->PageStart(), 0);
  view->SetSplit(4, 12);
  EXPECT_EQ(view->PageStart(), 12);
  view->SetSplit(8, 0);
  EXPECT_EQ(view->SplitCount(), 9);
  EXPECT_EQ(view->ShownChannels().size(), 9u);
  EXPECT_EQ(view->PaneRect(8), QRect(466, 332, 233, 166));

  EXPECT_TRUE(notices.Texts().empty());
  view->SetSplit(7, 0);
  ASSERT_EQ(notices.Texts().size(), 1u);
  EXPECT_EQ(notices.Texts()[0], "해당 분활 모드 없음!");
  EXPECT_EQ(view->SplitCount(), 9);
  view->ShowPage(12, 0);
  EXPECT_EQ(notices.Texts().size(), 2u);
  EXPECT_EQ(view->SplitCount(), 9);
  std::vector<QRect> rects;
  EXPECT_FALSE(view->ComputePaneRects(5, &rects));
  EXPECT_TRUE(rects.empty());
  ASSERT_TRUE(view->ComputePaneRects(64, &rects));
  EXPECT_EQ(rects[9], QRect(87, 62, 87, 62));
}

TEST_F(LayoutTest, ChannelListsSkipEntriesPastTheGrid) {
  const uint8_t list[4] = {1, 200, 3, 2};
  view->SetSplit(4, 0, list);
  EXPECT_EQ(view->ShownChannels(), (std::vector<int>{1, -1, 3, 2}));
  EXPECT_EQ(view->PaneChannelMask(), 0x000E);
  EXPECT_EQ(view->SoleChannel(), -1);
  view->SetSplit(1, 5);
  EXPECT_EQ(view->SoleChannel(), 5);
  EXPECT_EQ(view->PaneChannelMask(), 0x0020);
}

TEST_F(LayoutTest, ShowPageStepsThroughPagesWithVideoAndWraps) {
  view->SetSplit(4, 0);
  for (int ch = 0; ch < 16; ++ch) Feed(ch, pic);
  for (int expected : {4, 8, 12}) {
    view->ShowPage(4, view->PageStart() + 4);
    EXPECT_EQ(view->PageStart(), expected);
  }
  view->ShowPage(4, view->PageStart() + 4);
  EXPECT_EQ(view->PageStart(), 0);

  // Only channels 1-4 and 13-16 deliver: the two silent pages are skipped.
  view->ClearAll();
  for (int ch : {0, 1, 2, 3, 12, 13, 14, 15}) Feed(ch, pic);
  view->ShowPage(4, 4);
  EXPECT_EQ(view->PageStart(), 12);
  view->ShowPage(4, 16);
  EXPECT_EQ(view->PageStart(), 0);

  // With fewer channels than the current layout the start never goes negative.
  view->SetSplit(16, 0);
  view->SetChannelCount(4);
  view->ShowPage(4, 2);
  EXPECT_EQ(view->PageStart(), 0);
  EXPECT_EQ(view->SplitCount(), 4);
}

TEST_F(LayoutTest, DoubleClickZoomsPanesWithVideoAndReturns) {
  view->SetSplit(16, 0);
  Feed(5, pic);
  const QPoint silent = Centre(6);
  view->OnLeftDoubleClick(silent);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].message, kViewNotifyDoubleClick);
  EXPECT_EQ(notes[0].wparam, (16u << 16) | 6u);
  EXPECT_EQ(notes[0].lparam, Word(silent));
  EXPECT_EQ(view->SplitCount(), 16);
  EXPECT_FALSE(view->ZoomMode());

  view->OnLeftDoubleClick(Centre(5));
  EXPECT_EQ(notes.back().wparam, (16u << 16) | 5u);
  EXPECT_TRUE(view->ZoomMode());
  EXPECT_EQ(view->ShownChannels(), std::vector<int>{5});
  EXPECT_EQ(view->PaneRect(5), QRect(0, 0, 700, 500));

  // A click while zoomed is ignored; a double click anywhere returns.
  view->OnLeftClick(QPoint(10, 10));
  EXPECT_EQ(view->SelectedChannel(), -1);
  view->OnLeftDoubleClick(QPoint(690, 490));
  EXPECT_EQ(notes.back().wparam, (1u << 16) | 0xFFFFu);
  EXPECT_FALSE(view->ZoomMode());
  EXPECT_EQ(view->SplitCount(), 16);
  EXPECT_EQ(view->PageStart(), 0);

  // A double click in a plain single-pane layout shows the whole grid.
  view->SetSplit(1, 3);
  view->OnLeftDoubleClick(QPoint(100, 100));
  EXPECT_EQ(notes.back().wparam >> 16, 16u);
  EXPECT_EQ(view->SplitCount(), 16);
}

TEST_F(LayoutTest, ZoomToChannelSelectsAndAnySplitLeavesIt) {
  view->SetSplit(4, 4);
  view->ZoomToChannel(6);
  EXPECT_TRUE(view->ZoomMode());
  EXPECT_EQ(view->SelectedChannel(), 6);
  EXPECT_EQ(view->PageStart(), 6);
  view->ZoomToChannel(6);
  EXPECT_TRUE(view->ZoomMode());
  view->ZoomToChannel(40);  // outside the channel count
  EXPECT_EQ(view->ShownChannels(), std::vector<int>{6});
  Feed(6, pic);
  view->OnLeftDoubleClick(QPoint(5, 5));
  EXPECT_EQ(view->SplitCount(), 4);
  EXPECT_EQ(view->PageStart(), 4);
  view->ZoomToChannel(2);
  view->SetSplit(16, 0);
  EXPECT_FALSE(view->ZoomMode());
}

TEST_F(LayoutTest, ClickSelectsPanesWithVideoAndReportsThePaneIdentifier) {
  view->SetSplit(16, 0);
  view->OnLeftClick(Centre(3));
  EXPECT_TRUE(notes.empty());
  EXPECT_EQ(view->SelectedChannel(), -1);

  Feed(3, pic);
  const QPoint at = Centre(3);
  view->OnLeftClick(at);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].message, kViewNotifyClick);
  EXPECT_EQ(notes[0].wparam, 3u << 16);
  EXPECT_EQ(notes[0].lparam, Word(at));
  EXPECT_EQ(view->SelectedChannel(), 3);

  // In grid mode 3 the identifier is the picture's second word.
  view->SetGridMode(3);
  view->ShowPicture(PictureRecord{9, 42, 352, 288, 352 * 288 * 2, pic.data()});
  view->OnLeftClick(Centre(9));
  EXPECT_EQ(notes.back().wparam, 42u << 16);
  EXPECT_EQ(view->SelectedPaneId(), 42);
  EXPECT_EQ(view->SelectedChannel(), 9);

  // The grid reports where the panes are on its monitor, not in the window.
  view->SetClientOrigin(QPoint(30, 20));
  EXPECT_EQ(view->ClientToBack(QPoint(5, 5)), QPoint(35, 25));
}

TEST_F(LayoutTest, RefusesPicturesAndChannelsItCannotHold) {
  view->SetSplit(16, 0);
  const std::vector<uint8_t> wide = SolidYuy2(722, 288, 100, 128, 128);
  EXPECT_NE(Feed(1, wide, 722, 288), 0);
  EXPECT_NE(view->ShowPicture(PictureRecord{1, 1, 352, 288, 352 * 288, pic.data()}), 0);
  EXPECT_NE(view->ShowPicture(PictureRecord{1, 1, 352, 0, 0, pic.data()}), 0);
  EXPECT_NE(Feed(64, pic), 0);
  EXPECT_FALSE(view->HasVideo(1));
  CachedPictureCopy copy;
  EXPECT_FALSE(view->CopyCachedPicture(1, &copy));

  EXPECT_EQ(Feed(1, pic), 0);
  ASSERT_TRUE(view->CopyCachedPicture(1, &copy));
  EXPECT_EQ(copy.width, 352);
  EXPECT_EQ(copy.data, pic);

  view->SetEventBorder(16, 1, 1);
  view->SelectChannel(16);
  view->ClearChannel(-1, 1);
  EXPECT_EQ(view->SelectedChannel(), -1);
  EXPECT_TRUE(view->HasVideo(1));

  view->SelectChannel(1);
  view->ClearChannel(1, 1);
  EXPECT_FALSE(view->HasVideo(1));
  EXPECT_EQ(view->SelectedChannel(), -1);
  EXPECT_FALSE(view->CopyCachedPicture(1, &copy));

  // A picture for a channel not on screen marks video but is not kept.
  view->SetSplit(4, 0);
  EXPECT_EQ(Feed(9, pic), 0);
  EXPECT_TRUE(view->HasVideo(9));
  EXPECT_FALSE(view->CopyCachedPicture(9, &copy));
}

}  // namespace
