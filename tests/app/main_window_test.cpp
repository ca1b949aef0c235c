// The main window offscreen: commands with and without a site, the modes,
// the page rotation, and the shutdown order with two live sites of the
// simulator.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "app/text_ids.h"
#include "app/texts.h"
#include "app/ui/main_window.h"
#include "platform/profile.h"
#include "platform/user_folder.h"
#include "sites/local_settings.h"
#include "sites/site_directory_store.h"
#include "support/process.h"
#include "support/shell_support.h"
#include "support/sim_process.h"
#include "view/dvr_view.h"

namespace {


class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = FreshShellHome("main_window_home", TAVREL_BIN_DIR);
    ASSERT_FALSE(home_.empty());
    CMainWindow::SetMessageHook([this](QWidget*, const QString&, const QString& text, bool question) {
      messages_.push_back(text.toStdString());
      return question;
    });
  }
  void TearDown() override { CMainWindow::SetMessageHook(nullptr); }

  std::string Message(int number) { return app::LoadText(app::kMessage, number); }


  // Logs in as the administrator and connects these sites, which are put
  // into the directory first.
  CMainWindow::Options LoginAs(const std::vector<SiteRecord>& sites = {}) {
    CMainWindow::Options options;
    options.auto_login = true;
    options.auto_login_id = "admin";
    options.auto_login_password = "tovex";
    SiteDirectoryData data;
    data.groups.push_back(SiteGroup{"Test", sites});
    EXPECT_TRUE(SaveSiteDirectory(SiteDatPath(), SiteMirrorPath(), data).Ok());
    for (const SiteRecord& site : sites) options.connect_sites.push_back(site.name);
    return options;
  }


  std::string home_;
  std::vector<std::string> messages_;
};

TEST_F(MainWindowTest, CommandsWithoutASiteAreRefusedAndModesSwitch) {
  CMainWindow window(LoginAs());
  ASSERT_TRUE(window.Initialise());
  window.show();
  ASSERT_TRUE(WaitWithEvents([&] { return window.LoggedIn(); }, 10000));
  EXPECT_TRUE(window.IsAdministrator());

  for (int control : {app::kCtlRemotePlayback, app::kCtlSiteConfig, app::kCtlRemoteSetup}) {
    messages_.clear();
    window.OnCommand(control);
    ASSERT_EQ(messages_.size(), 1u) << control;
    EXPECT_EQ(messages_[0], Message(app::text::kMsgSiteNotConnected));
    EXPECT_EQ(window.Mode(), app::MainMode::kLive);
  }
  // Rotation needs a current site.
  window.StartRotation();
  EXPECT_FALSE(window.Rotation().Running());

  window.OnCommand(app::kCtlLocalPlayback);
  EXPECT_EQ(window.Mode(), app::MainMode::kLocalPlayback);
  EXPECT_EQ(window.View()->SplitCount(), 16);
  window.OnCommand(app::kCtlRemotePlayback);  // not from local playback
  EXPECT_EQ(window.Mode(), app::MainMode::kLocalPlayback);
  window.OnCommand(app::kCtlBackToLiveFromLocal);
  EXPECT_EQ(window.Mode(), app::MainMode::kLive);

  // Exit asks first; the hook answers OK and the window closes.
  messages_.clear();
  window.OnCommand(app::kCtlExit);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], Message(app::text::kMsgExitQuestion));
  EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindowTest, LiveSitePlaybackModeRotationAndShutdownOrder) {
  SimProcess sim1(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "16", "--resolution", "cif"});
  SimProcess sim2(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "8", "--platform", "161",
                                  "--resolution", "cif"});
  const std::string base1 = sim1.base;
  const std::string base2 = sim2.base;
  ASSERT_FALSE(base1.empty() || base2.empty());

  CMainWindow window(LoginAs({SimulatorSite("First", base1), SimulatorSite("Second", base2)}));
  ASSERT_TRUE(window.Initialise());
  window.show();
  // Both sites log in and start live; the one whose system information came
  // last is shown, so the shown site is known only once both have started.
  ASSERT_TRUE(WaitWithEvents(
      [&] {
        int live = 0;
        for (CSiteDirectory::Site* entry : window.SitePanel()->Directory().AllSites()) {
          live += entry->runtime != nullptr && entry->runtime->LiveStarted() ? 1 : 0;
        }
        CDvrSite* site = window.CurrentSite();
        return live == 2 && site != nullptr && site->LiveDisplay() && window.View()->HasVideo(0);
      },
      30000));
  CDvrSite* shown = window.CurrentSite();
  EXPECT_EQ(window.View()->SplitCount(), app::PanesForChannels(shown->ChannelCount()));

  // Remote playback: rights allow it; the live controls go, and return.
  window.OnCommand(app::kCtlRemotePlayback);
  EXPECT_EQ(window.Mode(), app::MainMode::kRemotePlayback);
  window.OnCommand(app::kCtlBackToLiveFromRemote);
  EXPECT_EQ(window.Mode(), app::MainMode::kLive);
  EXPECT_EQ(window.windowTitle().toStdString(), app::kLiveTitleAfterPlayback);

  // Rotation: the stored choice 4 gives five seconds; a changed choice
  // restarts the running rotation with its period.
  window.StartRotation();
  ASSERT_TRUE(window.Rotation().Running());
  EXPECT_EQ(window.RotationTimerMs(), 5000);
  ASSERT_TRUE(WriteRotatingTime(9));
  window.ReadDisplaySettings();
  EXPECT_EQ(window.RotationTimerMs(), 10000);
  // While rotating every channel streams, so the next page has video.
  window.View()->SetSplit(4, 0);
  ASSERT_TRUE(WaitWithEvents([&] { return window.View()->HasVideo(4); }, 10000));
  window.RotateOnce();
  EXPECT_EQ(window.View()->PageStart(), 4);
  window.StopRotation();
  EXPECT_EQ(window.RotationTimerMs(), 0);

  // Local playback stops the live site drawing; back to live resets its
  // decoders and the pictures come again.
  window.OnCommand(app::kCtlLocalPlayback);
  EXPECT_FALSE(shown->LiveDisplay());
  window.OnCommand(app::kCtlBackToLiveFromLocal);
  EXPECT_TRUE(shown->LiveDisplay());
  EXPECT_TRUE(WaitWithEvents([&] { return window.View()->HasVideo(0); }, 10000));

  QElapsedTimer timer;
  timer.start();
  window.close();
  EXPECT_LT(timer.elapsed(), 2000);
  EXPECT_EQ(window.ShutdownSteps(), (std::vector<std::string>{"talk", "transfers", "remote-playback", "local-player",
                                                               "sites", "log-viewer", "panels"}));
  EXPECT_EQ(window.CurrentSite(), nullptr);
}

}  // namespace
