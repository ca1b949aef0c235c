// Remote playback as the operator drives it, on an X server of its own
// (Xvfb) against a simulator with two recorded days: real clicks on the
// window's playback button, a highlighted day of the calendar, play, fast
// forward twice, fast backward, stop, back to live, playback again and exit
// while it is open; a double click on a pane asks the DVR for its channel. The panel's reports say what each press did; the
// screenshot taken while playing shows pictures in every pane.
#include <gtest/gtest.h>

#include <QImage>

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

class PlaybackGui : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    xvfb_ = StartXvfb(&error);
    ASSERT_NE(xvfb_, nullptr) << error;
  }

  // Reads the client's lines until one starts with prefix, remembering
  // every reported position ("NAME x=X y=Y") on the way.
  std::string Until(ChildProcess& client, const std::string& prefix, long timeout_ms = 20000) {
    std::string line;
    while (client.ReadLine(&line, timeout_ms)) {
      const size_t x = line.find(" x=");
      int px = 0, py = 0;
      if (x != std::string::npos && std::sscanf(line.c_str() + x, " x=%d y=%d", &px, &py) == 2) {
        at_[line.substr(0, x)] = {px, py};
      }
      lines_.push_back(line);
      if (line.rfind(prefix, 0) == 0) return line;
    }
    return "";
  }

  // Whether a line starting with prefix came, earlier or within the time.
  bool Seen(ChildProcess& client, const std::string& prefix, long timeout_ms) {
    for (const std::string& line : lines_) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return !Until(client, prefix, timeout_ms).empty();
  }

  // A double click in the middle of the first pane of a 2 x 2 grid.
  void DoubleClickFirstPane() {
    ASSERT_EQ(at_.count("grid"), 1u);
    const auto [x, y] = at_["grid"];
    ChildProcess click("/usr/bin/xdotool", {"mousemove", std::to_string(x + 182), std::to_string(y + 125), "click",
                                            "--repeat", "2", "--delay", "60", "1"});
    ASSERT_EQ(click.Wait(10000), 0) << click.Stderr();
  }

  // Whether the simulator is asked for exactly this channel mask (hex).
  static bool MaskRequested(SimProcess& sim, const std::string& mask) {
    const std::string wanted = "cmd=0x4106 length=8 payload=" + mask;
    std::string line;
    while (sim.proc->ReadLine(&line, 10000)) {
      if (line.find(wanted) != std::string::npos) return true;
    }
    return false;
  }

  void Click(const std::string& name) {
    ASSERT_EQ(at_.count(name), 1u) << name;
    const auto [x, y] = at_[name];
    ChildProcess click("/usr/bin/xdotool", {"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
    ASSERT_EQ(click.Wait(10000), 0) << click.Stderr();
  }

  std::unique_ptr<ChildProcess> xvfb_;
  std::map<std::string, std::pair<int, int>> at_;
  std::vector<std::string> lines_;
};

double Brightness(const QImage& image, int x0, int y0, int w, int h) {
  double sum = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) sum += qGray(image.pixel(x, y));
  return sum / (w * h);
}

TEST_F(PlaybackGui, DayPlayFastStopLiveAndExit) {
  SimProcess sim(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--platform", "163", "--resolution", "cif", "--log-requests",
                               "--archive", "2026-03-09T10:00:00+3600", "--archive", "2026-03-20T14:00:00+3600"});
  ASSERT_FALSE(sim.base.empty()) << sim.proc->Stderr();
  const std::string home = ::testing::TempDir() + "/gui_playback";
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  SiteDirectoryData data;
  data.groups.push_back(SiteGroup{"Demo", {SimulatorSite("Vault", sim.base, 4)}});
  ASSERT_TRUE(SaveSiteDirectory(home + "/site.dat", home + "/site_db.ini", data).Ok());
  std::filesystem::create_directories(ARTEFACT_DIR);
  const std::string shot = std::string(ARTEFACT_DIR) + "/remote_playback.png";
  std::filesystem::remove(shot);

  ChildProcess client(TAVREL_PATH, {"--home", home, "--messages-to-stderr", "--login", "admin:tovex",
                                    "--connect-site", "Vault", "--report-sites", "--report-playback", "--playback-screenshot", shot,
                                    "--quit-after", "150"});
  // The window's buttons, and every pane live (the site's tree item is
  // reported then), in either order.
  ASSERT_TRUE(Seen(client, "command exit", 60000)) << client.Stderr();
  ASSERT_TRUE(Seen(client, "site-item", 60000)) << client.Stderr();

  // Live: a double click zooms into the first pane and another returns; the
  // live mask follows the panes each time.
  DoubleClickFirstPane();
  EXPECT_TRUE(MaskRequested(sim, "0001"));
  DoubleClickFirstPane();
  EXPECT_TRUE(MaskRequested(sim, "000f"));

  // Remote playback: the latest recorded day and its first minute; both
  // recorded days highlighted in the calendar.
  Click("command remote-playback");
  EXPECT_EQ(Until(client, "playback-days"), "playback-days 2026/3 9 20") << client.Stderr();
  EXPECT_FALSE(Until(client, "playback state=0 fwd=1 bwd=1 speed=0 date=2026/03/20 time=14:00").empty());
  ASSERT_EQ(at_.count("playback-day 9"), 1u) << client.Stderr();

  // The other highlighted day: its first recorded minute is chosen.
  Click("playback-day 9");
  EXPECT_FALSE(Until(client, "playback state=0 fwd=1 bwd=1 speed=0 date=2026/03/09 time=10:00").empty())
      << client.Stderr();

  Click("playback-control play");
  EXPECT_FALSE(Until(client, "playback state=1 fwd=1 bwd=1 speed=0 date=2026/03/09").empty()) << client.Stderr();
  const std::string saved = Until(client, "playback-screenshot", 40000);
  ASSERT_EQ(saved, "playback-screenshot " + shot) << client.Stderr();

  // A double click on the first of the four panes zooms into it: the DVR
  // plays that channel alone.
  DoubleClickFirstPane();
  EXPECT_TRUE(MaskRequested(sim, "0001"));

  // Fast forward twice: 8X then 32X; fast backward: -8X; stop.
  Click("playback-control fast-forward");
  EXPECT_FALSE(Until(client, "playback state=2 fwd=2 bwd=1 speed=4").empty()) << client.Stderr();
  Click("playback-control fast-forward");
  EXPECT_FALSE(Until(client, "playback state=2 fwd=3 bwd=1 speed=5").empty()) << client.Stderr();
  Click("playback-control fast-backward");
  EXPECT_FALSE(Until(client, "playback state=3 fwd=1 bwd=2 speed=1").empty()) << client.Stderr();
  Click("playback-control stop");
  EXPECT_FALSE(Until(client, "playback state=0 fwd=1 bwd=2 speed=0").empty()) << client.Stderr();

  // Back to live, playback again, and exit while it is open.
  Click("playback-control live");
  EXPECT_EQ(Until(client, "playback closed"), "playback closed") << client.Stderr();
  Click("command remote-playback");
  EXPECT_FALSE(Until(client, "playback state=0").empty()) << client.Stderr();
  Click("command exit");
  EXPECT_FALSE(Until(client, "exit ", 20000).empty()) << client.Stderr();
  EXPECT_EQ(client.Wait(20000), 0) << client.Stderr();
  // No press was refused for want of a recording.
  EXPECT_EQ(client.Stderr().find("There is no recording"), std::string::npos) << client.Stderr();

  // The screenshot: the four panes of the 728 x 500 grid at (22, 33) show
  // pictures; the panel below it has light text on its dark ground.
  const QImage image(QString::fromStdString(shot));
  ASSERT_EQ(image.size(), QSize(972, 720));
  const int cw = 728 / 2, ch = 500 / 2;
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("pane " + std::to_string(i + 1));
    EXPECT_GT(Brightness(image, 22 + (i % 2) * cw + cw / 4, 33 + (i / 2) * ch + ch / 3, cw / 2, ch / 3), 20);
  }
  int text_pixels = 0;
  for (int y = 540; y < 704; ++y)
    for (int x = 270; x < 746; ++x) text_pixels += qGray(image.pixel(x, y)) > 170;
  EXPECT_GT(text_pixels, 200);
}

}  // namespace
