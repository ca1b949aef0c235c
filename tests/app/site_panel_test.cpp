// The site panel: its text and button rules, and the panel itself against
// simulator sites (connect, live, switching, a lost connection, deletion
// refused while live, disconnecting everything, talk granted, refused and
// busy).
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/text_ids.h"
#include "app/texts.h"
#include "audio/fake_audio_device.h"
#include "platform/user_folder.h"
#include "sites/predefined_lists.h"
#include "sites/site_directory_store.h"
#include "sites/ui/site_dialogs.h"
#include "sites/ui/site_panel.h"
#include "support/process.h"
#include "support/shell_support.h"
#include "support/sim_process.h"
#include "view/dvr_view.h"

namespace {


TEST(SitePanelRules, TextsAndChecks) {
  app::SetProgramFolder(TAVREL_BIN_DIR);
  app::SetLanguageIndex(0);
  const auto S = [](int n) { return app::LoadText(app::kStrings, n); };
  EXPECT_EQ(sites_ui::TextsForState(1).tree_word, S(193));
  EXPECT_EQ(sites_ui::TextsForState(1).status, S(194));
  for (int code : {3, 5, 10}) EXPECT_EQ(sites_ui::TextsForState(code).status, S(197)) << code;
  EXPECT_EQ(sites_ui::TextsForState(9).tree_word, S(196));
  EXPECT_EQ(sites_ui::TextsForState(9).status, sites_ui::kNoAuthorityText);
  EXPECT_EQ(sites_ui::TextsForState(8).tree_word, S(198));
  EXPECT_EQ(sites_ui::TextsForState(11).tree_word, S(195));
  EXPECT_EQ(sites_ui::TextsForState(sites_ui::kStateConnecting).tree_word, app::LoadText(app::kMessage, 100));
  // After the operator's disconnect the tree shows the name alone.
  EXPECT_EQ(sites_ui::TreeItemText("Gate", sites_ui::TextsForState(sites_ui::kStateDisconnected).tree_word), "Gate");
  EXPECT_EQ(sites_ui::TreeItemText("Gate", "Connected"), "Gate : Connected");
  EXPECT_EQ(sites_ui::CountLine("Port", 7620), "Port=7620");
  EXPECT_EQ(sites_ui::CountLine("Channels", 4), "Channels=04");

  using sites_ui::Selection;
  EXPECT_EQ(sites_ui::CheckConnect(Selection::kNone, false), 16);
  EXPECT_EQ(sites_ui::CheckConnect(Selection::kGroup, false), -1);
  EXPECT_EQ(sites_ui::CheckConnect(Selection::kSite, true), 19);
  EXPECT_EQ(sites_ui::CheckConnect(Selection::kSite, false), 0);
  EXPECT_EQ(sites_ui::CheckDisconnect(Selection::kNone, true), 16);
  EXPECT_EQ(sites_ui::CheckDisconnect(Selection::kNone, false), 0);
}

// The main window as far as the panel needs it: an offscreen grid.
class FakeHost : public ISitePanelHost {
 public:
  FakeHost() {
    MonitorInfo m;
    m.rect = QRect(0, 0, 720, 500);
    m.work = m.rect;
    view.UseMonitor(m);
    view.InitSurfaces();
    view.SetVideoArea(0, 0, 700, 500);
  }
  CDvrView* View() override { return &view; }
  CWaveOutPlayer* Player() override { return nullptr; }
  bool InRemotePlaybackOf(CDvrSite*) override { return false; }
  void ReturnToLive() override {}
  bool IsLiveMode() override { return true; }
  void StopRotation() override { ++rotation_stops; }
  void SitesChanged() override {}

  CDvrView view;
  int rotation_stops = 0;
};

class SitePanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = FreshShellHome("site_panel_home", TAVREL_BIN_DIR);
    ASSERT_FALSE(home_.empty());
    CSitePrompts::SetHook([this](QWidget*, int, const QString& text, bool question) {
      messages_.push_back(text.toStdString());
      return question;
    });
    CSitePanel::SetTalkDeviceFactory([] { return std::make_unique<FakeAudioInput>(); });
  }
  void TearDown() override {
    CSitePrompts::SetHook(nullptr);
    CSitePanel::SetTalkDeviceFactory(nullptr);
  }



  void WriteDirectory(const std::vector<SiteRecord>& sites) {
    SiteDirectoryData data;
    data.groups.push_back(SiteGroup{"Group", sites});
    ASSERT_TRUE(SaveSiteDirectory(SiteDatPath(), SiteMirrorPath(), data).Ok());
  }

  std::string ItemText(CSitePanel& panel, const std::string& name) {
    CSiteDirectory::Site* site = panel.Directory().FindByName(name);
    QTreeWidgetItem* item = site != nullptr ? panel.Tree()->ItemOf(site) : nullptr;
    return item != nullptr ? item->text(0).toStdString() : std::string();
  }

  std::string Message(int number) { return app::LoadText(app::kMessage, number); }

  std::string home_;
  std::vector<std::string> messages_;
};

TEST_F(SitePanelTest, ConnectSwitchLoseDeleteAndDisconnectAll) {
  SimProcess sim1(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "8", "--resolution", "cif"});
  SimProcess sim2(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--platform", "161",
                                  "--resolution", "cif"});
  const std::string base1 = sim1.base;
  const std::string base2 = sim2.base;
  ASSERT_FALSE(base1.empty() || base2.empty());
  // A stored channel count of 0 connects as 16 until the DVR tells its own.
  WriteDirectory({SimulatorSite("Eight", base1, 0), SimulatorSite("Four", base2, 4)});

  FakeHost host;
  CSitePanel panel(&host);
  panel.LoadDirectory();
  CSiteDirectory::Site* eight = panel.Directory().FindByName("Eight");
  CSiteDirectory::Site* four = panel.Directory().FindByName("Four");
  ASSERT_TRUE(eight != nullptr && four != nullptr);
  EXPECT_EQ(ItemText(panel, "Eight"), "Eight");

  // Nothing selected: MESSAGE 16.
  panel.Tree()->clearSelection();
  panel.Tree()->setCurrentItem(nullptr);
  panel.Connect();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], Message(16));

  panel.Tree()->Select(eight);
  panel.Connect();
  EXPECT_EQ(eight->runtime->ChannelCount(), 16);
  EXPECT_EQ(ItemText(panel, "Eight"), "Eight : " + Message(100));
  panel.Connect();  // busy now
  EXPECT_EQ(messages_.back(), Message(19));
  panel.Tree()->Select(four);
  panel.Connect();

  // Both log in and start live; the grid shows one, laid out for it.
  // The tree's text follows from a report queued for the panel, after the
  // site itself has started live.
  const std::string eight_live = "Eight : " + app::LoadText(app::kStrings, 193);
  ASSERT_TRUE(WaitWithEvents(
      [&] {
        return eight->runtime->LiveStarted() && four->runtime->LiveStarted() && ItemText(panel, "Eight") == eight_live;
      },
      30000))
      << ItemText(panel, "Eight");
  ASSERT_NE(panel.CurrentEntry(), nullptr);
  panel.MakeCurrent(eight);
  EXPECT_EQ(panel.CurrentEntry(), eight);
  EXPECT_EQ(eight->runtime->ChannelCount(), 8);
  EXPECT_EQ(host.view.SplitCount(), 9);  // 8 channels in the 3 x 3 layout
  EXPECT_TRUE(eight->runtime->LiveDisplay());
  EXPECT_FALSE(four->runtime->LiveDisplay());
  panel.MakeCurrent(four);
  EXPECT_EQ(host.view.SplitCount(), 4);
  EXPECT_FALSE(eight->runtime->LiveDisplay());

  // A site whose live stream runs is not deleted.
  panel.Tree()->Select(eight);
  messages_.clear();
  panel.Delete();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], Message(app::text::kMsgDeleteRefusedConnected));
  EXPECT_NE(panel.Directory().FindByName("Eight"), nullptr);

  // The DVR goes away: the tree says the connection is lost.
  sim2.proc->Kill();
  ASSERT_TRUE(WaitWithEvents([&] { return ItemText(panel, "Four") == "Four : " + app::LoadText(app::kStrings, 195); }, 20000))
      << ItemText(panel, "Four");
  EXPECT_GT(host.rotation_stops, 0);

  // Disconnect everything: a pause before the connected site, names alone,
  // and the status text of an operator's disconnect.
  panel.Tree()->setCurrentItem(panel.Tree()->topLevelItem(0));
  panel.Tree()->topLevelItem(0)->setSelected(true);
  QElapsedTimer timer;
  timer.start();
  panel.Disconnect();
  EXPECT_GE(timer.elapsed(), 100);
  EXPECT_EQ(ItemText(panel, "Eight"), "Eight");
  EXPECT_EQ(ItemText(panel, "Four"), "Four");
  EXPECT_EQ(eight->status_text, app::LoadText(app::kStrings, 140));
  EXPECT_EQ(panel.CurrentEntry(), nullptr);
  EXPECT_FALSE(eight->runtime->IsConnected());
  // A report still queued from before changes nothing.
  QApplication::processEvents();
  EXPECT_EQ(ItemText(panel, "Eight"), "Eight");
  // Now it may go.
  panel.Tree()->Select(eight);
  panel.Delete();
  EXPECT_EQ(panel.Directory().FindByName("Eight"), nullptr);
}

TEST_F(SitePanelTest, TalkGrantedRefusedAndBusy) {
  for (const std::string mode : {"grant", "refuse", "busy"}) {
    SCOPED_TRACE(mode);
    messages_.clear();
    SimProcess sim(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--platform", "164",
                                   "--resolution", "cif", "--talk-mode", mode});
    const std::string base = sim.base;
    ASSERT_FALSE(base.empty());
    WriteDirectory({SimulatorSite("Talker", base, 4)});
    FakeHost host;
    CSitePanel panel(&host);
    panel.LoadDirectory();
    CSiteDirectory::Site* site = panel.Directory().FindByName("Talker");

    // Not connected yet: MESSAGE 25 and the box stays clear.
    panel.TalkBox()->setChecked(true);
    panel.SetTalk(true);
    EXPECT_FALSE(panel.TalkBox()->isChecked());
    ASSERT_FALSE(messages_.empty());
    EXPECT_EQ(messages_.back(), Message(app::text::kMsgNotConnectedTalk));

    panel.Tree()->Select(site);
    panel.Connect();
    ASSERT_TRUE(WaitWithEvents([&] { return site->runtime->LiveStarted(); }, 30000));
    messages_.clear();
    panel.TalkBox()->setChecked(true);
    panel.SetTalk(true);
    if (mode == "grant") {
      ASSERT_TRUE(WaitWithEvents([&] { return site->runtime->TalkGranted(); }, 10000));
      EXPECT_TRUE(panel.TalkBox()->isChecked());
      EXPECT_TRUE(messages_.empty());
      panel.TalkBox()->setChecked(false);
      panel.SetTalk(false);
      EXPECT_FALSE(site->runtime->Talking());
    } else {
      ASSERT_TRUE(WaitWithEvents([&] { return !messages_.empty(); }, 10000));
      EXPECT_EQ(messages_[0], mode == "refuse" ? Message(104) : std::string(sites_ui::kAudioPortsBusyText));
      EXPECT_FALSE(panel.TalkBox()->isChecked());
      EXPECT_FALSE(site->runtime->Talking());
    }
  }
}

TEST_F(SitePanelTest, PredefinedListShowsChannelsOfTwoDvrs) {
  SimProcess sim1(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--resolution", "cif"});
  SimProcess sim2(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--platform", "161",
                                  "--resolution", "cif"});
  const std::string base1 = sim1.base;
  const std::string base2 = sim2.base;
  ASSERT_FALSE(base1.empty() || base2.empty());
  WriteDirectory({SimulatorSite("North", base1, 4), SimulatorSite("South", base2, 4)});
  // Slot 1: North channel 1, slot 2: South channel 3, slot 3: North channel 4.
  PredefinedList list;
  list.name = "Doors";
  const auto assign = [&](int number, const std::string& dvr, int channel, const std::string& base) {
#pragma push_macro("slots")
#undef slots
    PredefinedSlot& slot = list.slots[static_cast<size_t>(number - 1)];
#pragma pop_macro("slots")
    slot.dvr_name = dvr;
    slot.channel = channel;
    slot.address = "127.0.0.1";
    slot.port = std::stoi(base);
    slot.reg = 1;
  };
  assign(1, "North", 0, base1);
  assign(2, "South", 2, base2);
  assign(3, "North", 3, base1);
  ASSERT_TRUE(SavePredefinedLists(PredefinedListPath(), {list}));

  FakeHost host;
  CSitePanel panel(&host);
  panel.LoadDirectory();
  ASSERT_TRUE(panel.ShowList(0));
  EXPECT_EQ(host.view.GridMode(), 3);
  EXPECT_EQ(host.view.SplitCount(), 4);
  // Both DVRs connect by themselves and fill their slots.
  // Pane titles come with the DVRs' camera names, which may follow the
  // first pictures.
  ASSERT_TRUE(WaitWithEvents(
      [&] {
        return host.view.HasVideo(0) && host.view.HasVideo(1) && host.view.HasVideo(2) &&
               host.view.Title(1).find("South") != std::string::npos;
      },
      30000));
  EXPECT_FALSE(host.view.HasVideo(3));
  // In the list view the selected pane names the DVR channel it shows.
  host.view.SelectChannel(1);
  EXPECT_EQ(host.view.SelectedPaneId(), 2);
  host.view.SelectChannel(2);
  EXPECT_EQ(host.view.SelectedPaneId(), 3);
  EXPECT_NE(host.view.Title(1).find("South"), std::string::npos) << host.view.Title(1);

  // Back to one site: the grid leaves the list mode.
  panel.MakeCurrent(panel.Directory().FindByName("South"));
  EXPECT_FALSE(panel.InListView());
  EXPECT_EQ(host.view.GridMode(), 0);
  EXPECT_EQ(panel.CurrentEntry(), panel.Directory().FindByName("South"));
}

}  // namespace
