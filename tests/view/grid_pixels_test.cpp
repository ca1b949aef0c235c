// What the grid draws on its back surface: pictures inside their panes,
// the frames of empty, selected and event panes, and the overlay texts in
// their corners; the texts themselves through the formatting functions.
#include <gtest/gtest.h>

#include <QPainter>

#include <cstdlib>
#include <string>

#include "view/channel_view.h"
#include "view/view_overlay.h"
#include "view_support.h"

namespace {

bool Near(QRgb a, QRgb b, int tolerance = 3) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Pixels of pure overlay green inside r.
int GreenPixels(const QImage& image, const QRect& r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += Px(image, x, y) == 0x00FF00u;
  return n;
}

// Pixels where text green shows, smoothed edges included.
int GreenishPixels(const QImage& image, const QRect& r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QRgb c = image.pixel(x, y);
      n += qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40;
    }
  return n;
}

constexpr QRgb kGrey = 0x616161;  // Y = 100, U = V = 128

struct PixelTest : ::testing::Test, GridFixture {
  std::vector<uint8_t> pic = SolidYuy2(352, 288, 100, 128, 128);
  QImage Painted() {
    QImage window(720, 500, QImage::Format_RGB32);
    QPainter p(&window);
    view->Paint(p, window.rect());
    return view->BackSurfaceCopy();
  }
};

TEST_F(PixelTest, PicturesFillTheirPaneInsideTheFrames) {
  view->SetOsdFlags(0);
  view->SetSplit(4, 0);
  ASSERT_EQ(Feed(0, pic), 0);
  const QImage back = view->BackSurfaceCopy();
  // The pane is (0, 0)-(350, 250); the picture fills it less one pixel all round.
  EXPECT_TRUE(Near(Px(back, 175, 125), kGrey));
  EXPECT_TRUE(Near(Px(back, 2, 2), kGrey));
  EXPECT_TRUE(Near(Px(back, 347, 247), kGrey));
  // The empty-pane frame runs over the outer ring of the pane.
  EXPECT_EQ(Px(back, 0, 125), 0xCACACAu);
  EXPECT_EQ(Px(back, 349, 125), 0xCACACAu);
  EXPECT_EQ(Px(back, 175, 0), 0xCACACAu);
  EXPECT_EQ(Px(back, 175, 248), 0xCACACAu);
  // Neighbouring panes and the strip beyond the video area stay black.
  EXPECT_EQ(Px(back, 500, 125), 0u);
  EXPECT_EQ(Px(back, 175, 400), 0u);
  EXPECT_EQ(Px(back, 710, 125), 0u);

  view->SetSplit(1, 0);
  const QImage single = view->BackSurfaceCopy();
  EXPECT_TRUE(Near(Px(single, 690, 490), kGrey));
  EXPECT_EQ(Px(single, 705, 10), 0u);
}

TEST_F(PixelTest, SelectionAndEventBordersHaveTheirColours) {
  view->SetOsdFlags(0);
  view->SetSplit(4, 0);
  Feed(0, pic);
  Feed(1, pic);
  view->SelectChannel(0);
  QImage back = view->BackSurfaceCopy();
  EXPECT_EQ(Px(back, 1, 125), 0xFF0000u);
  EXPECT_EQ(Px(back, 348, 125), 0xFF0000u);
  EXPECT_TRUE(Near(Px(back, 3, 125), kGrey));

  // Moving the selection leaves the old pane with its picture again.
  view->SelectChannel(1);
  back = view->BackSurfaceCopy();
  EXPECT_TRUE(Near(Px(back, 1, 125), kGrey));
  EXPECT_EQ(Px(back, 351, 125), 0xFF0000u);

  const QRgb kinds[5] = {0xCDCD00, 0x0000FF, 0xCDCDCD, 0x000000, 0x00FF00};
  for (int kind = 0; kind < 5; ++kind) {
    view->SetEventBorder(0, kind, 1);
    EXPECT_EQ(Px(view->BackSurfaceCopy(), 1, 125), kinds[kind]) << "kind " << kind;
  }
  // The border moves with the event; a selected pane keeps its selection frame.
  view->SetEventBorder(1, 1, 1);
  back = view->BackSurfaceCopy();
  EXPECT_EQ(Px(back, 1, 125), 0u);
  EXPECT_EQ(Px(back, 351, 125), 0x0000FFu);
  view->SetEventBorder(1, 1, 0);
  EXPECT_EQ(Px(view->BackSurfaceCopy(), 351, 125), 0xFF0000u);
}

TEST_F(PixelTest, OverlayTextsSitInTheirCornersInGreen) {
  view->SetSplit(4, 0);
  view->SetOsdFlags(0x01F1);
  view->SetBitRate(0, 16000);
  view->SetFrameRateValue(0, 25);
  std::tm t{};
  t.tm_year = 109;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 14;
  view->SetFrameTime(0, t);
  Feed(0, pic);
  QImage back = view->BackSurfaceCopy();
  EXPECT_GT(GreenPixels(back, QRect(5, 5, 40, 30)), 5);       // channel number
  EXPECT_GT(GreenPixels(back, QRect(5, 200, 150, 45)), 20);   // rates
  EXPECT_GT(GreenPixels(back, QRect(180, 200, 165, 45)), 20); // date
  EXPECT_EQ(GreenPixels(back, QRect(200, 5, 145, 40)), 0);    // no speed
  EXPECT_EQ(GreenPixels(back, QRect(60, 60, 200, 120)), 0);

  view->SetGridMode(1);
  view->SetSpeedCode(4);
  Feed(0, pic);
  back = view->BackSurfaceCopy();
  EXPECT_GT(GreenPixels(back, QRect(300, 5, 40, 35)), 5);

  // Panes without video get the empty frame and their number on paint.
  back = Painted();
  EXPECT_EQ(Px(back, 350, 480), 0xCACACAu);
  EXPECT_GT(GreenPixels(back, QRect(5, 255, 40, 30)), 5);
}

TEST_F(PixelTest, RebuiltSurfacesGetTheirPanesAndPicturesBack) {
  view->SetOsdFlags(0);
  view->SetSplit(4, 0);
  Feed(0, pic);
  MonitorInfo larger;
  larger.rect = QRect(0, 0, 800, 600);
  view->UseMonitor(larger);
  view->MarkSurfacesLost();
  EXPECT_EQ(view->BackSurfaceSize(), QSize(720, 500));
  QImage back = Painted();
  EXPECT_EQ(back.size(), QSize(800, 600));
  EXPECT_TRUE(Near(Px(back, 175, 125), kGrey));
  EXPECT_EQ(view->ShownChannels().size(), 4u);

  // The same when the window rebuilds them itself (moved to another monitor).
  MonitorInfo right;
  right.rect = QRect(800, 0, 720, 500);
  view->UseMonitor(right);
  ASSERT_EQ(view->InitSurfaces(), 1);
  back = view->BackSurfaceCopy();
  EXPECT_TRUE(Near(Px(back, 175, 125), kGrey));
  EXPECT_EQ(Px(back, 500, 125), 0u);
}

TEST_F(PixelTest, LongTextsStayInsideTheirPane) {
  view->SetSplit(64, 0);  // panes of 87 x 62
  view->SetOsdFlags(0x01F5);
  view->SetTitle(9, "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
  view->SetBitRate(9, 160000000);
  view->SetFrameRateValue(9, 30);
  std::tm t{};
  t.tm_year = 125;
  view->SetFrameTime(9, t);
  Feed(9, pic);  // second row, second column: neighbours on every side
  const QImage back = view->BackSurfaceCopy();
  const QRect pane = view->PaneRect(9);
  EXPECT_GT(GreenishPixels(back, pane), 40);
  for (int neighbour : {1, 8, 10, 17}) {
    EXPECT_EQ(GreenishPixels(back, view->PaneRect(neighbour)), 0) << "pane " << neighbour;
  }
  // The pane's own frames stay whole under the texts.
  EXPECT_EQ(Px(back, pane.right(), pane.top() + 8), 0xCACACAu);
  EXPECT_EQ(Px(back, pane.left() + 20, pane.bottom()), 0xCACACAu);
}

TEST(OverlayText, TextsAreCutToWholeCharacters) {
  EXPECT_EQ(TextCutLength((std::string(30, 'a') + "\xC3\xA9").c_str(), 31), 30u);  // a letter across the limit
  EXPECT_EQ(TextCutLength((std::string(28, 'a') + "\xEA\xB0\x80" "b").c_str(), 31), 31u);
  GridFixture grid;
  grid.view->SetTitle(0, (std::string(29, 'a') + "\xEA\xB0\x80").c_str());
  EXPECT_EQ(grid.view->Title(0), std::string(29, 'a'));
}

TEST(OverlayText, LinesRatesDatesAndSpeeds) {
  PaneOverlayValues v;
  v.channel = 0;
  EXPECT_EQ(FormatFirstLine(0x0003, v), " 1");
  v.label = "Gate";
  EXPECT_EQ(FormatFirstLine(0x0003, v), " 1:Gate");
  EXPECT_EQ(FormatFirstLine(0x0002, v), "Gate");
  v.channel = 11;
  v.title = "Cam";
  v.source = "A";
  EXPECT_EQ(FormatFirstLine(0x000F, v), "12 Cam(A):Gate");
  EXPECT_EQ(FormatFirstLine(0x000C, v), " Cam(A)");

  EXPECT_EQ(FormatRateText(25, 16000), "25 Fps/125 KBPS");
  EXPECT_EQ(FormatRateText(25, -1), "");

  std::tm t{};
  t.tm_year = 109;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 14;
  t.tm_min = 7;
  t.tm_sec = 9;
  EXPECT_EQ(FormatDateText(0x0100, t), "2009/03/05 14:07:09");
  EXPECT_EQ(FormatDateText(0x0200, t), "03/05/2009 14:07:09");
  EXPECT_EQ(FormatDateText(0x0400, t), "05/03/2009 14:07:09");
  EXPECT_EQ(FormatDateText(0x0000, t), "");
  t.tm_year = 0;
  EXPECT_EQ(FormatDateText(0x0100, t), "");

  EXPECT_STREQ(SpeedLabel(3), "-128X");
  EXPECT_STREQ(SpeedLabel(7), "-16X");
  EXPECT_STREQ(SpeedLabel(12), "64X");
  EXPECT_STREQ(SpeedLabel(13), "");
}

TEST(OverlayFonts, ChosenByThePanesSmallerSide) {
  EnsureQtApp();
  CViewOverlay overlay;
  EXPECT_EQ(CViewOverlay::FontIndexForRect(QRect(0, 0, 90, 72)), 2);
  EXPECT_EQ(CViewOverlay::FontIndexForRect(QRect(0, 0, 720, 576)), 9);
  EXPECT_EQ(CViewOverlay::FontIndexForRect(QRect(0, 0, 175, 125)), 4);
  EXPECT_EQ(CViewOverlay::FontIndexForRect(QRect(0, 0, 29, 500)), 0);
  const int heights[CViewOverlay::kFontCount] = {6, 7, 8, 9, 11, 12, 15, 18, 20, 28};
  for (int i = 0; i < CViewOverlay::kFontCount; ++i) {
    EXPECT_EQ(overlay.Font(i).pixelSize(), heights[i]);
    EXPECT_TRUE(overlay.Font(i).bold());
  }
  EXPECT_FALSE(overlay.FaceInUse().isEmpty());
}

}  // namespace
