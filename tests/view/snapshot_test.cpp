// Snapshot pictures: the conversion, the bitmap block, the preview sizes,
// BMP files read back by Qt and by ffprobe, the save that keeps the old
// file on failure, and a printed page turned into a picture.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImageReader>
#include <QPrinter>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "view/snapshot.h"
#include "view/ui/snapshot_print.h"
#include "view_support.h"

namespace {

std::string TempPath(const std::string& name) {
  const std::string dir = ::testing::TempDir() + "/view_snapshot";
  std::filesystem::create_directories(dir);
  return dir + "/" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t o) {
  return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (static_cast<uint32_t>(b[o + 3]) << 24);
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[512];
    while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
    pclose(p);
  }
  return out;
}

// Left half one colour, right half another: tells rows and sides apart.
std::vector<uint8_t> TwoToned(int w, int h) {
  std::vector<uint8_t> p = SolidYuy2(w, h, 81, 90, 240);
  for (int y = 0; y < h / 2; ++y)
    for (int x = (w / 2) & ~1; x < w; x += 2) {
      uint8_t* g = &p[(static_cast<size_t>(y) * w + x) * 2];
      g[0] = g[2] = 41;
      g[1] = 240;
      g[3] = 110;
    }
  return p;
}

TEST(Snapshot, YuyvToBgr24Values) {
  const uint8_t in[8] = {16, 128, 235, 128, 81, 90, 145, 240};
  uint8_t out[12];
  YuyvToBgr24(out, in, 8);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{0, 0, 0, 254, 254, 254}));
  // Y 81, U 90, V 240: red clamps high, blue and green low.
  EXPECT_EQ(out[6], 0);
  EXPECT_EQ(out[7], 0);
  EXPECT_EQ(out[8], 254);
  EXPECT_EQ(out[11], 255);
}

TEST(Snapshot, DibBlockIsBottomUpWithPaddedRows) {
  const int w = 6, h = 4;  // 18-byte rows padded to 20
  std::vector<uint8_t> pic = TwoToned(w, h);
  const std::vector<uint8_t> dib = MakeDib24(pic.data(), w, h);
  ASSERT_EQ(dib.size(), 40u + 20u * 4);
  const BitmapInfoHeader hd = BitmapInfoHeader::Read(dib.data());
  EXPECT_EQ(hd.size, 40u);
  EXPECT_EQ(hd.width, 6);
  EXPECT_EQ(hd.height, 4);
  EXPECT_EQ(hd.bit_count, 24);
  EXPECT_EQ(hd.size_image, 80u);
  // The top-right (blue) block ends up in the last rows of the block.
  const uint8_t* last_row = dib.data() + 40 + 3 * 20;
  EXPECT_EQ(last_row[5 * 3], 255);      // blue of the top row's right pixel
  EXPECT_EQ(dib[40 + 5 * 3], 0);        // bottom row: red, no blue
  EXPECT_EQ(last_row[18], 0);           // padding
  EXPECT_TRUE(MakeDib24(pic.data(), 0, 4).empty());
  EXPECT_TRUE(MakeDib24(nullptr, 6, 4).empty());
}

TEST(Snapshot, HalfHeightPicturesAreDoubledInThePreview) {
  EnsureQtApp();
  std::tm t{};
  t.tm_year = 109;
  for (const auto& [w, h, pw, ph] : {std::array{720, 288, 720, 576}, std::array{176, 144, 352, 288},
                                     std::array{704, 240, 704, 480}, std::array{352, 288, 352, 288}}) {
    const bool half = IsHalfHeightSize(w, h);
    std::vector<uint8_t> pic = SolidYuy2(w, h, 100, 128, 128);
    BitmapInfoHeader header;
    const QImage preview = MakeSnapshotBitmap(pic.data(), &header, w, h, half, 3, "Door", t);
    EXPECT_EQ(preview.size(), QSize(pw, ph)) << w << "x" << h;
    EXPECT_EQ(header.width, w);
    EXPECT_EQ(header.height, h);
  }
  EXPECT_TRUE(MakeSnapshotBitmap(nullptr, nullptr, 352, 288, false, 1, "", t).isNull());
  EXPECT_EQ(SnapshotPrintRect(4800, 600, 600, 176, 144, true), QRect(300, 600, 4200, 3436));
  EXPECT_EQ(SnapshotPrintRect(4800, 600, 600, 720, 288, true), QRect(300, 600, 4200, 3360));
}

TEST(Snapshot, BitmapFilesReadBackInTheirDepth) {
  EnsureQtApp();
  std::tm t{};
  t.tm_year = 110;
  const int w = 176, h = 144;  // 176 * 3 is a multiple of 4; use 178 for padding below
  std::vector<uint8_t> pic = TwoToned(w, h);
  const QImage preview = MakeSnapshotBitmap(pic.data(), nullptr, w, h, false, 1, "", t);
  ASSERT_FALSE(preview.isNull());

  struct Case {
    QImage image;
    int bits, offset;
    const char* pix_fmt;
  };
  const QImage odd = preview.copy(0, 0, 178 - 4, 100).convertToFormat(QImage::Format_RGB888);
  for (const Case& c : {Case{preview, 32, 66, "bgr0"}, Case{odd, 24, 54, "bgr24"},
                        Case{preview.convertToFormat(QImage::Format_RGB16), 16, 66, "rgb565le"}}) {
    const std::string path = TempPath("snap" + std::to_string(c.bits) + ".bmp");
    ASSERT_EQ(SaveBitmapFile(c.image, path), 1);
    const std::vector<uint8_t> b = ReadFile(path);
    ASSERT_GT(b.size(), 70u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[28], c.bits);
    EXPECT_EQ(Le32(b, 10), static_cast<uint32_t>(c.offset));
    EXPECT_EQ(Le32(b, 2), b.size());
    const QImage back(QString::fromStdString(path));
    ASSERT_FALSE(back.isNull()) << c.bits;
    EXPECT_EQ(back.size(), c.image.size());
    // The top-right corner is blue, the bottom-left red, as in the picture.
    EXPECT_GT(qBlue(back.pixel(back.width() - 3, 3)), 200);
    EXPECT_GT(qRed(back.pixel(3, back.height() - 3)), 200);
    const std::string probe = Shell("ffprobe -v error -show_entries stream=codec_name,width,height,pix_fmt -of flat '" +
                                  path + "'");
    EXPECT_NE(probe.find("codec_name=\"bmp\""), std::string::npos) << probe;
    EXPECT_NE(probe.find("width=" + std::to_string(c.image.width())), std::string::npos) << probe;
    EXPECT_NE(probe.find(std::string("pix_fmt=\"") + c.pix_fmt + "\""), std::string::npos) << probe;
  }
}

TEST(Snapshot, FailedSaveKeepsTheOldFileAndLeavesNoFragment) {
  EnsureQtApp();
  const std::string dir = TempPath("keep");
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string target = dir + "/old.bmp";
  { std::ofstream(target) << "old"; }
  QImage image(64, 48, QImage::Format_RGB32);
  image.fill(Qt::blue);
  // A folder that cannot be written: nothing changes.
  std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const bool root = ::geteuid() == 0;
  if (!root) {
    EXPECT_EQ(SaveBitmapFile(image, target), 0);
    EXPECT_EQ(ReadFile(target).size(), 3u);
  }
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
  EXPECT_EQ(SaveBitmapFile(image, dir + "/missing/x.bmp"), 0);
  EXPECT_EQ(SaveBitmapFile(QImage(), target), 0);
  // A target that is a folder cannot be replaced; the temporary file goes.
  std::filesystem::create_directories(dir + "/folder.bmp/inner");
  EXPECT_EQ(SaveBitmapFile(image, dir + "/folder.bmp"), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2);
  EXPECT_EQ(ReadFile(target).size(), 3u);
  ASSERT_EQ(SaveBitmapFile(image, target), 1);
  EXPECT_EQ(QImage(QString::fromStdString(target)).size(), QSize(64, 48));
}

TEST(Snapshot, PrintedPageShowsThePictureAndItsCaption) {
  EnsureQtApp();
  const std::string pdf = TempPath("print.pdf");
  std::filesystem::remove(pdf);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(pdf));
  printer.setPageSize(QPageSize(QPageSize::A4));
  std::tm t{};
  t.tm_year = 109;
  t.tm_mon = 2;
  t.tm_mday = 5;
  std::vector<uint8_t> pic = SolidYuy2(176, 144, 41, 240, 110);  // blue
  ASSERT_TRUE(PrintSnapshotPage(printer, pic.data(), 176, 144, true, 7, "Gate", t));
  const std::string png = TempPath("print");
  Shell("pdftoppm -r 50 -png -singlefile '" + pdf + "' '" + png + "'");
  const QImage page(QString::fromStdString(png + ".png"));
  ASSERT_FALSE(page.isNull());
  // At 50 dpi: the picture from (25, 50), 350 wide and, doubled in both
  // directions, 286 high; the caption over its top left corner, the time
  // over its bottom right corner.
  EXPECT_GT(qBlue(page.pixel(200, 200)), 200);
  EXPECT_LT(qRed(page.pixel(200, 200)), 60);
  EXPECT_GT(qBlue(page.pixel(370, 330)), 200);
  EXPECT_GT(qRed(page.pixel(200, 370)), 200);  // white paper below the picture
  int green_above = 0, green_below = 0;  // top caption, bottom time
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const QRgb c = page.pixel(x, y);
      if (qGreen(c) > 180 && qRed(c) < 120 && qBlue(c) < 120) (y < 150 ? green_above : green_below)++;
    }
  EXPECT_GT(green_above, 10);
  EXPECT_GT(green_below, 10);
}

}  // namespace
