// Skinned buttons, mask regions, the stretch geometry and the generated skin.
#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QImage>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

#include "app/skin_mask.h"
#include "app/texts.h"
#include "app/ui/skin_button.h"
#include "app/ui/skin_ids.h"

namespace {

namespace fs = std::filesystem;
namespace skin = app::skin;

// Test bitmaps: solid faces and a mask with a white 5 x 5 corner and a white
// last column.
constexpr int kNormal = 9001, kPressed = 9002, kHover = 9003, kFourth = 9004, kExtra = 9005, kMask = 9006;
constexpr int kHuge = 9007, kGarbage = 9008, kMissing = 8001;
constexpr QRgb kRed = 0xFFC00000, kGreen = 0xFF00C000, kBlue = 0xFF0000C0, kGray = 0xFF606060, kYellow = 0xFFC0C000;

template <typename Pred>
bool WaitFor(Pred pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class SkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_folder_ = app::ProgramFolder();
    folder_ = fs::path(::testing::TempDir()) / ("tavrel_skin_" + std::to_string(::getpid()));
    fs::create_directories(folder_ / "Skin");
    app::SetProgramFolder(folder_);
    Solid(kNormal, kRed);
    Solid(kPressed, kGreen);
    Solid(kHover, kBlue);
    Solid(kFourth, kGray);
    Solid(kExtra, kYellow);
    QImage mask(40, 20, QImage::Format_RGB32);
    mask.fill(Qt::black);
    for (int y = 0; y < 20; ++y) mask.setPixel(39, y, 0xFFFFFFFF);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 5; ++x) mask.setPixel(x, y, 0xFFFFFFFF);
    }
    ASSERT_TRUE(mask.save(Path(kMask), "BMP"));
  }
  void TearDown() override {
    app::SetProgramFolder(saved_folder_);
    fs::remove_all(folder_);
  }
  static QString Path(int id) { return QString::fromStdString(skin::SkinBitmapPath(id)); }
  static void Solid(int id, QRgb colour) {
    QImage img(40, 20, QImage::Format_RGB32);
    img.fill(colour);
    ASSERT_TRUE(img.save(Path(id), "BMP"));
  }
  static QRgb Centre(QWidget& w) { return w.grab().toImage().pixel(w.width() / 2, w.height() / 2); }

  std::string saved_folder_;
  fs::path folder_;
};

TEST_F(SkinTest, ShowsTheBitmapOfEachState) {
  CSkinButton b;
  b.SetSkin(kNormal, kPressed, kHover, 0, kFourth, 0, 0, 0, 0);
  EXPECT_EQ(Centre(b), kRed);
  b.setDown(true);
  EXPECT_EQ(Centre(b), kGreen);
  b.setDown(false);
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&b, &enter);
  EXPECT_EQ(Centre(b), kBlue);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&b, &leave);
  EXPECT_EQ(Centre(b), kRed);
  b.setEnabled(false);
  EXPECT_EQ(Centre(b), kGray);

  // Without a fourth bitmap a disabled button shows the normal one.
  b.SetSkin(kNormal, kPressed, kHover, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(Centre(b), kRed);

  // A check box shows its extra bitmap while checked, else the pressed one.
  CSkinButton check;
  check.SetSkin(kNormal, kPressed, kHover, 0, kFourth, kExtra, 0, 0, skin::kSkinFlagCheckable);
  check.click();
  EXPECT_TRUE(check.isChecked());
  EXPECT_EQ(Centre(check), kYellow);
  check.SetSkin(kNormal, kPressed, kHover, 0, kFourth, 0, 0, 0, skin::kSkinFlagCheckable);
  EXPECT_EQ(Centre(check), kGreen);
}

TEST_F(SkinTest, SizeAndMaskFollowTheStretchMode) {
  CSkinButton fixed;
  fixed.SetSkin(kNormal, 0, 0, kMask, 0, 0, 0, 0, 0);
  fixed.resize(100, 50);
  EXPECT_EQ(fixed.size(), QSize(40, 20));
  const QRegion region = fixed.mask();
  EXPECT_FALSE(region.contains(QPoint(0, 0)));
  EXPECT_FALSE(region.contains(QPoint(4, 4)));
  EXPECT_FALSE(region.contains(QPoint(39, 10)));
  EXPECT_TRUE(region.contains(QPoint(5, 0)));
  EXPECT_TRUE(region.contains(QPoint(0, 5)));
  EXPECT_TRUE(region.contains(QPoint(38, 19)));

  // Mode 1 scales bitmap and mask to the button.
  CSkinButton scaled;
  scaled.SetSkin(kNormal, 0, 0, kMask, 0, 0, 1, 0, 0);
  scaled.resize(80, 40);
  EXPECT_EQ(scaled.size(), QSize(80, 40));
  EXPECT_EQ(Centre(scaled), kRed);  // delivers the pending resize, as showing would
  EXPECT_FALSE(scaled.mask().contains(QPoint(9, 9)));
  EXPECT_TRUE(scaled.mask().contains(QPoint(11, 11)));
  EXPECT_FALSE(scaled.mask().contains(QPoint(79, 20)));

  // Mode 2 keeps the ends: the white corner stays 5 pixels wide.
  CSkinButton sliced;
  sliced.SetSkin(kNormal, 0, 0, kMask, 0, 0, 2, 0, 0);
  sliced.resize(120, 20);
  EXPECT_EQ(Centre(sliced), kRed);  // delivers the pending resize, as showing would
  EXPECT_FALSE(sliced.mask().contains(QPoint(4, 0)));
  EXPECT_TRUE(sliced.mask().contains(QPoint(5, 0)));
  EXPECT_FALSE(sliced.mask().contains(QPoint(119, 0)));
  EXPECT_TRUE(sliced.mask().contains(QPoint(118, 0)));
}

TEST(SkinGeometry, MaskRectsAndSlices) {
  constexpr uint32_t W = 0xFFFFFFFF, B = 0xFF000000;
  // A plus sign with a padding column that must be ignored (stride 4).
  const uint32_t plus[] = {W, B, W, B,  //
                           B, B, B, W,  //
                           B, B, B, B,  //
                           W, B, W, B};
  const auto rects = skin::MaskRects(plus, 3, 4, 4);
  ASSERT_EQ(rects.size(), 3u);
  EXPECT_EQ((std::array<int, 4>{rects[0].x, rects[0].y, rects[0].w, rects[0].h}), (std::array<int, 4>{1, 0, 1, 1}));
  EXPECT_EQ((std::array<int, 4>{rects[1].x, rects[1].y, rects[1].w, rects[1].h}), (std::array<int, 4>{0, 1, 3, 2}));
  EXPECT_EQ((std::array<int, 4>{rects[2].x, rects[2].y, rects[2].w, rects[2].h}), (std::array<int, 4>{1, 3, 1, 1}));
  const uint32_t white[] = {W, 0x00FFFFFF, W, W};
  EXPECT_TRUE(skin::MaskRects(white, 2, 2, 2).empty());
  EXPECT_TRUE(skin::MaskRects(plus, 4, 4, 3).empty());  // stride shorter than a row
  EXPECT_TRUE(skin::MaskRects(nullptr, 4, 4, 4).empty());

  auto s = skin::ThreeSlices(96, 28, 200);
  EXPECT_EQ(s[0].dst_w, 28);
  EXPECT_EQ(s[1].src_w, 54);
  EXPECT_EQ(s[1].dst_w, 158);
  EXPECT_EQ(s[2].dst_x, 186);
  EXPECT_EQ(skin::MapColumn(s, 24), 24);
  EXPECT_EQ(skin::MapColumn(s, 95), 199);
  s = skin::ThreeSlices(96, 28, 21);  // narrower than both ends
  EXPECT_EQ(s[0].dst_w + s[1].dst_w + s[2].dst_w, 21);
  EXPECT_EQ(s[1].dst_w, 0);
  s = skin::ThreeSlices(0, 28, 50);
  EXPECT_EQ(s[0].dst_w + s[1].dst_w + s[2].dst_w, 0);
}

TEST_F(SkinTest, LabelKeepsClearOfTheIconAndShowsFocus) {
  CSkinButton b;
  b.SetSkin(kNormal, 0, 0, 0, 0, 0, 0, 12, 0);
  b.setText("WWWW");
  const QImage img = b.grab().toImage();
  auto light = [&](int x0, int x1) {
    for (int y = 0; y < img.height(); ++y) {
      for (int x = x0; x < x1; ++x) {
        if (qGreen(img.pixel(x, y)) > 150) return true;
      }
    }
    return false;
  };
  EXPECT_FALSE(light(0, 12));
  EXPECT_TRUE(light(12, 40));

  // Enter and Space both click; the focused button draws a frame.
  int clicks = 0;
  QObject::connect(&b, &QAbstractButton::clicked, [&] { ++clicks; });
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&b, &enter);
  QKeyEvent space_down(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QKeyEvent space_up(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(&b, &space_down);
  QApplication::sendEvent(&b, &space_up);
  EXPECT_EQ(clicks, 2);

  b.setText(QString());
  const QImage unfocused = b.grab().toImage();
  b.show();
  b.activateWindow();
  b.setFocus();
  ASSERT_TRUE(WaitFor([&] { return b.hasFocus(); }));
  EXPECT_NE(b.grab().toImage(), unfocused);
}

TEST_F(SkinTest, MissingOrHostileFilesGiveThePlainLook) {
  // A header claiming 60000 x 60000 pixels, and bytes that are no image.
  QByteArray huge(54, '\0');
  huge[0] = 'B';
  huge[1] = 'M';
  huge[10] = 54;
  huge[14] = 40;
  huge[18] = static_cast<char>(0x60);  // width 60000 = 0xEA60
  huge[19] = static_cast<char>(0xEA);
  huge[22] = static_cast<char>(0x60);
  huge[23] = static_cast<char>(0xEA);
  huge[26] = 1;
  huge[28] = 24;
  QFile f(Path(kHuge));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(huge);
  f.close();
  QFile g(Path(kGarbage));
  ASSERT_TRUE(g.open(QIODevice::WriteOnly));
  g.write("BM this is not a bitmap");
  g.close();
  EXPECT_TRUE(LoadSkinBitmap(kHuge).isNull());
  EXPECT_TRUE(LoadSkinBitmap(kGarbage).isNull());

  CSkinButton b;
  b.SetSkin(kMissing, kHuge, kGarbage, kMissing + 1, kMissing + 2, 0, 0, 0, 0);
  EXPECT_FALSE(b.HasBitmap(CSkinButton::Face::kNormal));
  EXPECT_TRUE(b.mask().isEmpty());
  b.setText("Exit");
  b.resize(90, 28);
  EXPECT_EQ(b.size(), QSize(90, 28));
  const QImage img = b.grab().toImage();
  EXPECT_LT(qGray(img.pixel(45, 3)), 80);  // dark face

  CSkinPicture picture;
  EXPECT_FALSE(picture.LoadSkinFile("no_such.bmp"));
  EXPECT_TRUE(picture.Picture().isNull());
}

// What skingen wrote into the build's Skin folder: every numbered bitmap,
// 24 bits per pixel, at its size, masks white outside, and the language
// files beside them.
TEST(SkinFiles, EveryBitmapIsGenerated) {
  const std::string saved = app::ProgramFolder();
  app::SetProgramFolder(TAVREL_BIN_DIR);
  auto check = [](int id, QSize size) {
    SCOPED_TRACE(id);
    QFile f(QString::fromStdString(skin::SkinBitmapPath(id)));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray head = f.read(30);
    ASSERT_EQ(head.size(), 30);
    EXPECT_EQ(head.left(2), QByteArray("BM"));
    EXPECT_EQ(head[28], 24);
    EXPECT_EQ(LoadSkinBitmap(id).size(), size);
  };
  const QSize command(skin::kCommandWidth, skin::kCommandHeight);
  for (int base : skin::kCommandButtons) {
    for (int s = 0; s < skin::kSkinStateCount; ++s) check(base + s, command);
    EXPECT_NE(LoadSkinBitmap(base + skin::kSkinNormal), LoadSkinBitmap(base + skin::kSkinHover));
  }
  for (int s = 0; s < skin::kSkinStateCount; ++s) {
    check(skin::kSkinSmall + s, QSize(skin::kSmallWidth, skin::kSmallHeight));
    check(skin::kSkinMute + s, QSize(skin::kMuteSize, skin::kMuteSize));
  }
  check(skin::kSkinMuteChecked, QSize(skin::kMuteSize, skin::kMuteSize));
  check(skin::kSkinBackground, QSize(skin::kWindowWidth, skin::kWindowHeight));
  check(skin::kSkinLogo, QSize(skin::kLogoRect.w, skin::kLogoRect.h));
  const QSize groove(skin::kSliderLength, skin::kSliderGrooveHeight);
  check(skin::kSkinSliderGroove, groove);
  check(skin::kSkinSliderFill, groove);
  const QSize handle(skin::kSliderHandleSize, skin::kSliderHandleSize);
  check(skin::kSkinSliderHandle, handle);
  check(skin::kSkinSliderHandleActive, handle);
  for (int mask : {skin::kSkinMaskCommand, skin::kSkinMaskSmall, skin::kSkinMaskMute, skin::kSkinMaskSliderHandle}) {
    const QImage m = LoadSkinBitmap(mask);
    ASSERT_FALSE(m.isNull()) << mask;
    EXPECT_EQ(m.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu) << mask;
    EXPECT_EQ(m.pixel(m.width() / 2, m.height() / 2) & 0xFFFFFF, 0u) << mask;
  }

  CSkinButton exit_button;
  exit_button.SetSkin(skin::CommandButtonArt(skin::kSkinExit));
  EXPECT_EQ(exit_button.size(), command);
  EXPECT_FALSE(exit_button.mask().contains(QPoint(0, 0)));
  CSkinPicture logo;
  EXPECT_TRUE(logo.LoadSkinFile(skin::kLogoFileName));
  EXPECT_EQ(logo.sizeHint(), QSize(skin::kLogoRect.w, skin::kLogoRect.h));
  for (int index : {0, 1}) {
    EXPECT_TRUE(fs::exists(std::string(TAVREL_BIN_DIR) + "/Skin/" + app::LanguageFileName(index)));
  }
  app::SetProgramFolder(saved);
}

}  // namespace
