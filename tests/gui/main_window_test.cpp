// The client as the operator meets it, on an X server of its own (Xvfb)
// against the simulator: a fresh user folder, the local login, sites of the
// directory connected and live in the skinned main window; a double click
// in the site tree with real mouse events switching the grid; and a close
// with two live sites that ends the process quickly and cleanly.
#include <gtest/gtest.h>

#include <QImage>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sites/site_directory_store.h"
#include "support/process.h"
#include "support/xvfb.h"
#include "support/shell_support.h"
#include "support/sim_process.h"

namespace {

class MainWindowGui : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    xvfb_ = StartXvfb(&error);
    ASSERT_NE(xvfb_, nullptr) << error;
  }


  // A fresh user folder whose directory holds these sites in one group.
  std::string Home(const std::string& name, const std::vector<SiteRecord>& sites) {
    const std::string home = ::testing::TempDir() + "/" + name;
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    SiteDirectoryData data;
    data.groups.push_back(SiteGroup{"Demo", sites});
    EXPECT_TRUE(SaveSiteDirectory(home + "/site.dat", home + "/site_db.ini", data).Ok());
    return home;
  }


  std::unique_ptr<ChildProcess> xvfb_;
};

// Average brightness of a rectangle of the picture.
double Brightness(const QImage& image, int x0, int y0, int w, int h) {
  double sum = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) sum += qGray(image.pixel(x, y));
  return sum / (w * h);
}

TEST_F(MainWindowGui, LoginConnectAndSixteenLivePanes) {
  SimProcess sim(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "16", "--resolution", "cif"});
  const std::string base = sim.base;
  ASSERT_FALSE(base.empty()) << sim.proc->Stderr();

  std::filesystem::create_directories(ARTEFACT_DIR);
  const std::string shot = std::string(ARTEFACT_DIR) + "/main_window.png";
  std::filesystem::remove(shot);
  ChildProcess client(TAVREL_PATH, {"--home", Home("gui_home", {SimulatorSite("Lobby DVR", base)}), "--messages-to-stderr",
                                    "--login", "admin:tovex", "--connect-site", "Lobby DVR", "--screenshot", shot,
                                    "--maximise-cycle", "--quit-after", "90"});
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

TEST_F(MainWindowGui, DoubleClickInTheTreeSwitchesTheGrid) {
  SimProcess sim1(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "16", "--resolution", "cif"});
  SimProcess sim2(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--platform", "161",
                                  "--resolution", "cif"});
  const std::string base1 = sim1.base;
  const std::string base2 = sim2.base;
  ASSERT_FALSE(base1.empty() || base2.empty());
  ChildProcess client(TAVREL_PATH, {"--home", Home("gui_tree", {SimulatorSite("Sixteen", base1), SimulatorSite("Four", base2, 4)}),
                                    "--messages-to-stderr", "--login", "admin:tovex", "--connect-site", "Sixteen",
                                    "--connect-site", "Four", "--report-sites", "--quit-after", "90"});
  // Both sites go live; the one whose system information came last is shown.
  std::string current;
  std::map<std::string, std::pair<int, int>> items;
  std::string line;
  while (items.size() < 2 && client.ReadLine(&line, 60000)) {
    if (line.rfind("current-site ", 0) == 0) current = line;
    // "site-item NAME x=X y=Y"
    char name[64];
    int x = 0, y = 0;
    if (std::sscanf(line.c_str(), "site-item %63s x=%d y=%d", name, &x, &y) == 3) items[name] = {x, y};
  }
  ASSERT_EQ(items.size(), 2u) << client.Stderr();
  const bool sixteen_shown = current.find("Sixteen") != std::string::npos;
  const std::string other = sixteen_shown ? "Four" : "Sixteen";
  const auto [x, y] = items[other];

  // A real double click through the X server on the other site's item.
  ChildProcess click("/usr/bin/xdotool", {"mousemove", std::to_string(x), std::to_string(y), "click", "--repeat", "2",
                                          "--delay", "60", "1"});
  ASSERT_EQ(click.Wait(10000), 0) << click.Stderr();
  const std::string switched = client.WaitForLine("current-site " + other, 20000);
  EXPECT_EQ(switched, "current-site " + other + (other == "Four" ? " panes=4" : " panes=16")) << client.Stderr();
}

TEST_F(MainWindowGui, CloseWithTwoLiveSitesExitsWithinTwoSeconds) {
  SimProcess sim1(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--resolution", "cif"});
  SimProcess sim2(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "16", "--platform", "161",
                                  "--resolution", "cif"});
  const std::string base1 = sim1.base;
  const std::string base2 = sim2.base;
  ASSERT_FALSE(base1.empty() || base2.empty());
  ChildProcess client(TAVREL_PATH, {"--home", Home("gui_close", {SimulatorSite("One", base1, 4), SimulatorSite("Two", base2)}),
                                    "--messages-to-stderr", "--login", "admin:tovex", "--connect-site", "One",
                                    "--connect-site", "Two", "--close-when-live", "--quit-after", "90"});
  const std::string closing = client.WaitForLine("closing ", 100000);
  ASSERT_FALSE(closing.empty()) << client.Stderr();
  const std::string exit_line = client.WaitForLine("exit ", 10000);
  ASSERT_FALSE(exit_line.empty()) << client.Stderr();
  EXPECT_LE(std::stoll(exit_line.substr(5)) - std::stoll(closing.substr(8)), 2000);
  EXPECT_EQ(client.Wait(10000), 0) << client.Stderr();
}

TEST_F(MainWindowGui, SigtermEndsTheClientThroughItsShutdown) {
  SimProcess sim(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--resolution", "cif"});
  const std::string base = sim.base;
  ASSERT_FALSE(base.empty());
  ChildProcess client(TAVREL_PATH, {"--home", Home("gui_sigterm", {SimulatorSite("One", base, 4)}), "--messages-to-stderr",
                                    "--login", "admin:tovex", "--connect-site", "One", "--report-sites",
                                    "--quit-after", "90"});
  ASSERT_FALSE(client.WaitForLine("site-item", 100000).empty()) << client.Stderr();
  client.Signal(SIGTERM);
  // The window is destroyed as on a close (its shutdown ends the sessions
  // and any log viewer), and the process ends normally.
  EXPECT_FALSE(client.WaitForLine("exit ", 10000).empty()) << client.Stderr();
  EXPECT_EQ(client.Wait(10000), 0) << client.Stderr();
}

}  // namespace
