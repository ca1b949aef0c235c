// The event panel offscreen, and the main window's event handling against
// the simulator: a scenario's events of every kind reach the grid, the list
// and the hourly log.
#include <QAbstractButton>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/texts.h"
#include "app/ui/main_window.h"
#include "app/ui/main_window_events.h"
#include "events/event_log.h"
#include "events/ui/event_panel.h"
#include "platform/user_folder.h"
#include "sites/local_settings.h"
#include "sites/site_directory_store.h"
#include "support/shell_support.h"
#include "support/sim_process.h"
#include "view/dvr_view.h"

namespace {

namespace fs = std::filesystem;
using events_ui::CEventPanel;

events::EventRow Row(int n) {
  return events::EventRow{"2026/12/07 13:00:00", "Motion", "DVR", std::to_string(n), "row " + std::to_string(n)};
}

TEST(EventPanel, TheListKeepsTheNewestTenThousandRowsOnTop) {
  CEventPanel panel;
  for (int i = 0; i <= events::kMaxListRows; ++i) panel.AddRow(Row(i));
  const auto* model = panel.Model();
  EXPECT_EQ(model->rowCount(), events::kMaxListRows);
  EXPECT_EQ(model->Row(0).description, "row 10000");
  EXPECT_EQ(model->Row(events::kMaxListRows - 1).description, "row 1");  // the oldest went
}

TEST(EventPanel, TheButtonStartsTheViewerOnTheEventFolderAndShutdownEndsIt) {
  const std::string dir = ::testing::TempDir() + "/event_panel_viewer";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string program = dir + "/logvista";
  std::ofstream(program) << "#!/bin/sh\necho \"$1\" > " << dir << "/arg.tmp && mv " << dir << "/arg.tmp " << dir
                         << "/arg\nexec sleep 60\n";
  fs::permissions(program, fs::perms::owner_all);
  CEventPanel panel;
  panel.SetEventFolder(dir + "/event");
  panel.SetViewerProgram(program);
  panel.ViewerButton()->click();
  ASSERT_TRUE(WaitWithEvents([&] { return fs::exists(dir + "/arg"); }, 10000));
  std::string arg;
  std::getline(std::ifstream(dir + "/arg"), arg);
  EXPECT_EQ(arg, dir + "/event");
  const pid_t pid = panel.Viewer().Pid();
  ASSERT_GT(pid, 0);
  panel.EndViewer();
  EXPECT_EQ(::kill(pid, 0), -1);  // ended and reaped
  // A viewer that is not there is not reported.
  panel.SetViewerProgram(dir + "/missing");
  panel.ViewerButton()->click();
  EXPECT_FALSE(panel.Viewer().Running());
}

class MainWindowEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = FreshShellHome("main_window_events_home", TAVREL_BIN_DIR);
    ASSERT_FALSE(home_.empty());
    CMainWindow::SetMessageHook([](QWidget*, const QString&, const QString&, bool question) { return question; });
  }
  void TearDown() override { CMainWindow::SetMessageHook(nullptr); }
  std::string home_;
};

TEST_F(MainWindowEvents, ScenarioEventsPopUpListAndLog) {
  for (const ConfigFlag* flag : {&kEvtPopup, &kEvtHighlight, &kEvtMotion, &kEvtSensor, &kEvtVideoLoss, &kEvtAlarmOut,
                                 &kEvtSystem}) {
    ASSERT_TRUE(WriteConfigFlag(*flag, true));
  }
  const std::string scenario = home_ + "/events.scn";
  // Sensor 0 is linked to channels 2 and 3; the events come once the site
  // is live.
  std::ofstream(scenario) << "2.0 send 0x2F22 000000010000000C\n"
                             "3.0 event motion channel=5 state=0\n"
                             "3.2 event sensor channel=0 state=0\n"
                             "3.4 event videoloss channel=1 state=0\n"
                             "3.6 event alarm channel=0 state=0\n"
                             "3.8 event system code=5 text=\"fan\\nstopped\"\n";
  SimProcess sim(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "16", "--resolution", "cif", "--scenario",
                               scenario});
  ASSERT_FALSE(sim.base.empty());

  CMainWindow::Options options;
  options.auto_login = true;
  options.auto_login_id = "admin";
  options.auto_login_password = "tovex";
  SiteDirectoryData data;
  data.groups.push_back(SiteGroup{"Test", {SimulatorSite("Lobby", sim.base)}});
  ASSERT_TRUE(SaveSiteDirectory(SiteDatPath(), SiteMirrorPath(), data).Ok());
  options.connect_sites.push_back("Lobby");
  CMainWindow window(options);
  ASSERT_TRUE(window.Initialise());
  window.show();
  events_ui::CEventPanel* panel = window.Events()->Panel();
  // Connection row, motion, sensor and its two channels, video loss, alarm,
  // system.
  ASSERT_TRUE(WaitWithEvents([&] { return panel->Model()->rowCount() >= 8; }, 30000))
      << panel->Model()->rowCount();
  // The sensor (channel 1) fans out to channels 3 and 4; the system text
  // stays one line.
  const auto* model = panel->Model();
  std::vector<std::string> rows;
  for (int i = model->rowCount() - 1; i >= 0; --i) rows.push_back(model->Row(i).kind + "|" + model->Row(i).channel);
  EXPECT_EQ(rows, (std::vector<std::string>{"Connection| ", "Motion|6", "Sensor|1", "Sensor|3", "Sensor|4",
                                            "Video loss|2", "Alarm output| ", "System| "}));
  EXPECT_EQ(model->Row(0).description, "fan stopped");
  // The last pop-up (video loss on channel 2) shows that channel alone.
  EXPECT_EQ(window.View()->SplitCount(), 1);
  EXPECT_EQ(window.View()->ShownChannels().front(), 1);
  // Every row is in the log of its hour, in the order of the list.
  const auto logged = events::ReadEventFolder(home_ + "/event", 0, INT64_MAX);
  ASSERT_EQ(logged.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(logged[i].row.kind + "|" + logged[i].row.channel, rows[i]);
  window.close();
}

}  // namespace
