// The event list as the operator sees it, on an X server of its own: the
// client connected to the simulator, whose scenario sends an event of every
// kind; the rows are reported, and the screenshot shows them in the list's
// colours.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sites/site_directory_store.h"
#include "support/process.h"
#include "support/xvfb.h"
#include "support/shell_support.h"
#include "support/sim_process.h"

namespace {

TEST(EventListGui, RowsOfEveryKindInTheListColours) {
  std::string error;
  const auto xvfb = StartXvfb(&error);
  ASSERT_NE(xvfb, nullptr) << error;
  unsetenv("TAVREL_HOME");

  const std::string home = ::testing::TempDir() + "/gui_events";
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  std::ofstream(home + "/tavrel_config.ini") << "[EVTPOP]\nPOPUP=0\nHLIGHT=1\nBEEP=1\nMOTION=1\nSENSOR=1\nVLOSS=1\n"
                                                "ALARMOUT=1\nSYSTEM=1\n";
  const std::string scenario = home + "/events.scn";
  std::ofstream(scenario) << "1.0 send 0x2F22 000000020000000600010000\n"
                             "1.5 event motion channel=0 state=0\n"
                             "1.7 event sensor channel=0 state=0\n"
                             "1.9 event videoloss channel=3 state=0\n"
                             "2.1 event alarm channel=1 state=0\n"
                             "2.3 event system code=5 text=\"disk full\"\n"
                             "2.5 event motion channel=0 state=1\n";
  SimProcess sim(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--resolution", "cif", "--scenario",
                               scenario});
  ASSERT_FALSE(sim.base.empty()) << sim.proc->Stderr();
  SiteDirectoryData data;
  data.groups.push_back(SiteGroup{"Demo", {SimulatorSite("Front DVR", sim.base, 4)}});
  ASSERT_TRUE(SaveSiteDirectory(home + "/site.dat", home + "/site_db.ini", data).Ok());

  std::filesystem::create_directories(ARTEFACT_DIR);
  const std::string shot = std::string(ARTEFACT_DIR) + "/event_list.png";
  std::filesystem::remove(shot);
  ChildProcess client(TAVREL_PATH, {"--home", home, "--messages-to-stderr", "--login", "admin:tovex", "--connect-site",
                                    "Front DVR", "--report-events", "--screenshot", shot, "--quit-after", "90"});
  std::vector<std::string> rows, grid;
  std::string line;
  while (client.ReadLine(&line, 60000) && line.rfind("screenshot", 0) != 0) {
    if (line.rfind("event-row ", 0) == 0) rows.push_back(line.substr(line.find(" kind=") + 1));
    if (line.rfind("event-grid ", 0) == 0) grid.push_back(line.substr(11));
  }
  ASSERT_EQ(line, "screenshot " + shot) << client.Stderr();
  ASSERT_EQ(client.Wait(20000), 0) << client.Stderr();
  // The rules are the monitor's own tests'; here: every row arrived, and the
  // grid carried out a highlight, a video-loss mark and their ends.
  EXPECT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows.back(), "kind=Motion dvr=Front DVR channel=1 text=Motion ended");
  EXPECT_EQ(grid.front(), "highlight channel=1 kind=1 on=1");
  EXPECT_NE(std::find(grid.begin(), grid.end(), "video-loss channel=4 lost=1"), grid.end());
  EXPECT_EQ(grid.back(), "highlight channel=1 kind=1 on=0");

  // The list at (11, 8) of the event panel at (22, 572): black rows with
  // text in red 0x3B, green 0x99, blue 0xFE.
  const QImage image(QString::fromStdString(shot));
  ASSERT_EQ(image.size(), QSize(972, 720));
  const QRect list(22 + 11, 572 + 8, 707, 112);
  int text_pixels = 0, black_pixels = 0, other_pixels = 0;
  for (int y = list.top() + 24; y < list.bottom() - 2; ++y) {
    for (int x = list.left() + 2; x < list.right() - 20; ++x) {
      const QRgb p = image.pixel(x, y);
      if (qRed(p) == 0x3B && qGreen(p) == 0x99 && qBlue(p) == 0xFE) {
        ++text_pixels;
      } else if (qRed(p) == 0 && qGreen(p) == 0 && qBlue(p) == 0) {
        ++black_pixels;
      } else {
        ++other_pixels;
      }
    }
  }
  EXPECT_GT(text_pixels, 300);
  EXPECT_GT(black_pixels, text_pixels * 5);
}

}  // namespace
