// The client as the operator meets it, under Xvfb against the simulator: a
// fresh user folder, the local login, a 16-channel site live in the grid of
// the skinned main window; and a close with two live sites that ends the
// process quickly and cleanly.
#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <regex>
#include <string>

#include "support/process.h"

namespace {

std::string StartSimulator(ChildProcess& sim) {
  std::smatch m;
  const std::string ready = sim.WaitForLine("dvrsim listening", 20000);
  if (!std::regex_search(ready, m, std::regex("base=([0-9]+)"))) return "";
  return m[1];
}

std::string FreshHome(const std::string& name) {
  const std::string home = ::testing::TempDir() + "/" + name;
  std::filesystem::remove_all(home);
  return home;
}

// Average brightness of a rectangle of the picture.
double Brightness(const QImage& image, int x0, int y0, int w, int h) {
  double sum = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) sum += qGray(image.pixel(x, y));
  return sum / (w * h);
}

TEST(MainWindowGui, LoginConnectAndSixteenLivePanes) {
  ChildProcess sim(DVRSIM_PATH, {"--port", "0", "--user", "netuser:pass", "--channels", "16", "--resolution", "cif"});
  const std::string base = StartSimulator(sim);
  ASSERT_FALSE(base.empty()) << sim.Stderr();

  std::filesystem::create_directories(ARTEFACT_DIR);
  const std::string shot = std::string(ARTEFACT_DIR) + "/main_window.png";
  std::filesystem::remove(shot);
  unsetenv("QT_QPA_PLATFORM");
  ChildProcess client("/usr/bin/xvfb-run",
                      {"-a", "-s", "-screen 0 1280x1024x24", TAVREL_PATH, "--home", FreshHome("gui_home"),
                       "--messages-to-stderr", "--login", "admin:tovex", "--connect",
                       "127.0.0.1:" + base + ":netuser:pass:Lobby DVR", "--screenshot", shot, "--maximise-cycle", "--quit-after", "90"});
  // Maximising lays the grid out over the screen below a 29-pixel band, and
  // restoring puts it back, without the window freezing.
  const std::string maximised = client.WaitForLine("maximised", 100000);
  EXPECT_EQ(maximised, "maximised large=1 grid=1280x995") << client.Stderr();
  const std::string restored = client.WaitForLine("restored", 20000);
  EXPECT_EQ(restored, "restored large=0 grid=728x500") << client.Stderr();
  const std::string line = client.WaitForLine("screenshot", 20000);
  ASSERT_EQ(client.Wait(20000), 0) << client.Stderr();
  ASSERT_EQ(line, "screenshot " + shot) << client.Stderr();

  const QImage image(QString::fromStdString(shot));
  ASSERT_EQ(image.size(), QSize(972, 720));
  // Sixteen panes of the 728 x 500 grid at (22, 33), none black.
  const int cw = 728 / 4, ch = 500 / 4;
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE("pane " + std::to_string(i + 1));
    EXPECT_GT(Brightness(image, 22 + (i % 4) * cw + cw / 4, 33 + (i / 4) * ch + ch / 3, cw / 2, ch / 3), 20);
  }
  // The skin: a dark window body, not the toolkit's light grey.
  EXPECT_LT(Brightness(image, 2, 300, 16, 200), 80);
  // The title bar above the grid names the site: light text on dark.
  int text_pixels = 0;
  for (int y = 8; y < 26; ++y)
    for (int x = 26; x < 200; ++x) text_pixels += qGray(image.pixel(x, y)) > 150;
  EXPECT_GT(text_pixels, 20);
}

TEST(MainWindowGui, CloseWithTwoLiveSitesExitsWithinTwoSeconds) {
  ChildProcess sim1(DVRSIM_PATH, {"--port", "0", "--user", "netuser:pass", "--channels", "4", "--resolution", "cif"});
  ChildProcess sim2(DVRSIM_PATH, {"--port", "0", "--user", "netuser:pass", "--channels", "16", "--platform", "161",
                                  "--resolution", "cif"});
  const std::string base1 = StartSimulator(sim1);
  const std::string base2 = StartSimulator(sim2);
  ASSERT_FALSE(base1.empty() || base2.empty());
  unsetenv("QT_QPA_PLATFORM");
  ChildProcess client("/usr/bin/xvfb-run",
                      {"-a", "-s", "-screen 0 1280x1024x24", TAVREL_PATH, "--home", FreshHome("gui_home2"),
                       "--messages-to-stderr", "--login", "admin:tovex", "--connect",
                       "127.0.0.1:" + base1 + ":netuser:pass:One", "--connect",
                       "127.0.0.1:" + base2 + ":netuser:pass:Two", "--close-when-live", "--quit-after", "90"});
  const std::string closing = client.WaitForLine("closing ", 100000);
  ASSERT_FALSE(closing.empty()) << client.Stderr();
  const std::string exit_line = client.WaitForLine("exit ", 10000);
  ASSERT_FALSE(exit_line.empty()) << client.Stderr();
  EXPECT_LE(std::stoll(exit_line.substr(5)) - std::stoll(closing.substr(8)), 2000);
  EXPECT_EQ(client.Wait(10000), 0) << client.Stderr();
}

}  // namespace
