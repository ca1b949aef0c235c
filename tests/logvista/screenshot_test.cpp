// What the operator sees: logvista on an X server of its own (Xvfb) over a
// generated folder, its window saved as a picture. The table must show every
// row as light text on the dark theme, nothing below them.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "log_fixture.h"
#include "support/process.h"
#include "support/xvfb.h"

namespace {

using logvista_test::Log;

// Pixels of the band that are light enough to be text.
int TextPixels(const QImage& image, int x0, int y0, int w, int h) {
  int count = 0;
  for (int y = y0; y < y0 + h && y < image.height(); ++y)
    for (int x = x0; x < x0 + w && x < image.width(); ++x) count += qGray(image.pixel(x, y)) > 170;
  return count;
}

TEST(LogvistaScreenshot, TableRowsAreDrawnReadably) {
  std::string error;
  const auto xvfb = StartXvfb(&error, "1024x768x24");
  ASSERT_NE(xvfb, nullptr) << error;

  const std::string folder = logvista_test::FreshFolder("screenshot");
  Log(folder, 2026, 12, 6, 9, 15, "Video loss", "Warehouse DVR", "16", "Video lost");
  Log(folder, 2026, 12, 7, 13, 1, "Motion", "Lobby DVR", "2", "Motion detected");
  Log(folder, 2026, 12, 7, 13, 5, "System", "Lobby DVR", " ", "Disk \"A\" is full, recording overwrites");
  Log(folder, 2026, 12, 7, 13, 9, "Sensor", "Gate", "10", "Sensor on");
  Log(folder, 2026, 12, 7, 14, 0, "Alarm out", "Gate", " ", "ALARM:port1");

  std::filesystem::create_directories(ARTEFACT_DIR);
  const std::string shot = std::string(ARTEFACT_DIR) + "/logvista.png";
  std::filesystem::remove(shot);
  ChildProcess viewer(LOGVISTA_PATH, {folder, "--screenshot", shot});
  const std::string line = viewer.WaitForLine("screenshot", 30000);
  ASSERT_EQ(viewer.Wait(20000), 0) << viewer.Stderr();
  int rows = 0, x = 0, y = 0, w = 0, h = 0, row_height = 0;
  ASSERT_EQ(std::sscanf(line.c_str(), "screenshot %*s rows=%d rows-area=%d,%d,%d,%d row-height=%d", &rows, &x, &y, &w, &h,
                        &row_height),
            6)
      << line;
  EXPECT_EQ(rows, 5);

  const QImage image(QString::fromStdString(shot));
  ASSERT_EQ(image.size(), QSize(800, 600));
  ASSERT_GT(row_height, 10);
  ASSERT_GT(h, (rows + 1) * row_height);
  for (int i = 0; i < rows; ++i) {
    EXPECT_GT(TextPixels(image, x, y + i * row_height, w, row_height), 40) << "row " << i;
  }
  EXPECT_EQ(TextPixels(image, x, y + rows * row_height, w, h - rows * row_height), 0);
  // The dark theme: the empty part of the table is dark.
  EXPECT_LT(qGray(image.pixel(x + w / 2, y + h - 4)), 60);
}

}  // namespace
