// Sixteen channels of live video in the grid window under Xvfb: the
// screenshot shows sixteen panes, each in its own colour, none black, with
// green overlay texts.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <filesystem>
#include <regex>

#include "support/process.h"

namespace {

struct PaneLook {
  double r = 0, g = 0, b = 0;
  int green_text = 0;
};

TEST(GridScreenshot, SixteenPanesOfLiveVideoWithGreenTexts) {
  ChildProcess sim(DVRSIM_PATH, {"--port", "0", "--user", "netuser:pass", "--channels", "16"});
  std::smatch m;
  const std::string ready = sim.WaitForLine("dvrsim listening", 20000);
  ASSERT_TRUE(std::regex_search(ready, m, std::regex("base=([0-9]+)"))) << sim.Stderr();
  const std::string base = m[1];

  std::filesystem::create_directories(ARTEFACT_DIR);
  const std::string shot = std::string(ARTEFACT_DIR) + "/grid16.png";
  std::filesystem::remove(shot);
  unsetenv("QT_QPA_PLATFORM");
  ChildProcess window("/usr/bin/xvfb-run", {"-a", "-s", "-screen 0 1024x768x24", GRID_WINDOW_PATH, "--port", base,
                                            "--out", shot, "--seconds", "40"});
  const std::string where = window.WaitForLine("grid ", 50000);
  const int status = window.Wait(10000);
  ASSERT_EQ(status, 0) << window.Stderr();
  ASSERT_TRUE(std::regex_search(where, m, std::regex("x=(-?[0-9]+) y=(-?[0-9]+) w=([0-9]+) h=([0-9]+)"))) << where;
  const int gx = std::stoi(m[1]), gy = std::stoi(m[2]), gw = std::stoi(m[3]), gh = std::stoi(m[4]);

  const QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull());
  ASSERT_GE(image.width(), gx + gw);
  ASSERT_GE(image.height(), gy + gh);
  const int cw = gw / 4, ch = gh / 4;
  std::vector<PaneLook> panes;
  for (int i = 0; i < 16; ++i) {
    const int px = gx + (i % 4) * cw, py = gy + (i / 4) * ch;
    PaneLook look;
    int n = 0;
    // The middle of the pane, clear of the texts, for its colour.
    for (int y = py + ch / 3; y < py + 2 * ch / 3; ++y)
      for (int x = px + cw / 4; x < px + 3 * cw / 4; ++x) {
        const QRgb c = image.pixel(x, y);
        look.r += qRed(c);
        look.g += qGreen(c);
        look.b += qBlue(c);
        ++n;
      }
    look.r /= n;
    look.g /= n;
    look.b /= n;
    // The top-left corner, for the channel number in overlay green.
    for (int y = py + 3; y < py + 22; ++y)
      for (int x = px + 3; x < px + 40; ++x) {
        const QRgb c = image.pixel(x, y);
        look.green_text += qGreen(c) > 200 && qRed(c) < 60 && qBlue(c) < 60;
      }
    panes.push_back(look);
  }
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE("pane " + std::to_string(i + 1));
    EXPECT_GT(panes[i].r + panes[i].g + panes[i].b, 60) << "black pane";
    EXPECT_GT(panes[i].green_text, 5) << "no green overlay text";
    for (int j = i + 1; j < 16; ++j) {
      const double d = std::fabs(panes[i].r - panes[j].r) + std::fabs(panes[i].g - panes[j].g) +
                       std::fabs(panes[i].b - panes[j].b);
      EXPECT_GT(d, 20) << "panes " << i + 1 << " and " << j + 1 << " look alike";
    }
  }
}

}  // namespace
