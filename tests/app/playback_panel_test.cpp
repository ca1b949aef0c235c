// The remote playback panel against a simulator with two recordings: the
// site's search answers reach the calendar and the recording bars through
// the site and the queued reports, a press without a recording is refused,
// play brings pictures into the grid with the time following them, and
// closing deletes the session and ends the site's playback mode.
#include <QCalendarWidget>
#include <QLabel>
#include <QAbstractButton>
#include <QTextCharFormat>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/texts.h"
#include "platform/user_folder.h"
#include "playback/playback_session.h"
#include "playback/ui/playback_panel.h"
#include "playback/ui/record_slider.h"
#include "sites/dvr_site.h"
#include "support/shell_support.h"
#include "support/sim_process.h"
#include "view/dvr_view.h"

namespace {

using playback::PanelButton;

// Hands the site's codes to the panel on the user-interface thread, as the
// site panel does.
class PanelRelay : public ISiteObserver {
 public:
  explicit PanelRelay(CPlaybackPanel* panel) : panel_(panel) {}
  void OnSiteCode(int site_id, int code) override {
    CPlaybackPanel* panel = panel_;
    QMetaObject::invokeMethod(panel, [panel, site_id, code] { panel->HandleSiteCode(site_id, code); },
                              Qt::QueuedConnection);
  }
  void OnSiteEvent(int, const EventRecord&) override {}

 private:
  CPlaybackPanel* panel_;
};

TEST(PlaybackPanel, SearchesPlaysAndClosesAgainstTheSimulator) {
  const std::string home = FreshShellHome("playback_panel_home", TAVREL_BIN_DIR);
  ASSERT_FALSE(home.empty());
  std::vector<std::string> messages;
  CPlaybackPanel::SetMessageHook([&](QWidget*, const QString& text) { messages.push_back(text.toStdString()); });

  SimProcess sim(DVRSIM_PATH, {"--user", "netuser:pass", "--channels", "4", "--resolution", "cif", "--archive",
                               "2026-03-09T10:00:00+1800", "--archive", "2026-03-20T14:00:00+600"});
  ASSERT_FALSE(sim.base.empty()) << sim.proc->Stderr();

  CDvrView view;
  ASSERT_EQ(view.InitSurfaces(), 1);
  view.SetVideoArea(0, 0, 728, 500);
  view.SetChannelCount(4);
  view.SetSplit(4, 0);
  view.SetGridMode(2);
  CDvrSite site(SimulatorSite("Vault", sim.base, 4));
  {
    CPlaybackPanel panel([&](int id) { return id == site.Id() ? &site : nullptr; });
    panel.resize(716, 164);
    panel.show();
    PanelRelay relay(&panel);
    site.SetObserver(&relay);
    site.StartControl();
    ASSERT_TRUE(WaitWithEvents([&] { return site.IsConnected(); }, 15000));
    site.SendFollowUpRequests();
    ASSERT_TRUE(WaitWithEvents([&] { return site.TimeZoneKnown(); }, 15000));

    panel.Open(site.Id(), &view, nullptr);
    ASSERT_NE(site.PlaybackSession(), nullptr);
    // The latest recorded month and its last recorded day, the day's first
    // recorded minute; both days highlighted, the recorded hour and minutes
    // on the bars.
    ASSERT_TRUE(WaitWithEvents([&] { return panel.TimeText()->text() == "  2026/03/20    14:00:00"; }, 15000))
        << panel.TimeText()->text().toStdString();
    EXPECT_EQ(panel.Calendar()->dateTextFormat().keys(), (QList<QDate>{QDate(2026, 3, 9), QDate(2026, 3, 20)}));
    EXPECT_EQ(panel.Calendar()->selectedDate(), QDate(2026, 3, 20));
    EXPECT_TRUE(panel.HourSlider()->Marks()[14]);
    EXPECT_FALSE(panel.HourSlider()->Marks()[13]);
    EXPECT_TRUE(panel.MinuteSlider()->Marks()[9]);
    EXPECT_FALSE(panel.MinuteSlider()->Marks()[30]);
    // Play from 14:02: pictures arrive and the shown time follows them.
    panel.HourSlider()->setValue(14);
    panel.MinuteSlider()->setValue(2);
    panel.Button(PanelButton::kPlay)->click();
    EXPECT_EQ(panel.Model().State(), kPanelPlaying);
    EXPECT_FALSE(panel.Button(PanelButton::kPlay)->isEnabled());
    EXPECT_FALSE(panel.Calendar()->isEnabled());
    ASSERT_TRUE(WaitWithEvents([&] { return view.HasVideo(0); }, 15000));
    EXPECT_TRUE(WaitWithEvents(
        [&] { return panel.TimeText()->text().startsWith("  2026/03/20    14:02:") &&
                     panel.TimeText()->text() != "  2026/03/20    14:02:00"; },
        10000))
        << panel.TimeText()->text().toStdString();

    // The DVR said it plays: the grid has the site's names.
    EXPECT_TRUE(WaitWithEvents([&] { return view.Title(0) == "Vault"; }, 10000));
    panel.Button(PanelButton::kStop)->click();
    EXPECT_EQ(panel.Model().State(), kPanelStopped);
    EXPECT_TRUE(panel.Button(PanelButton::kPlay)->isEnabled());

    // The last recorded minute at the fastest speed: the DVR ends playback,
    // the panel stops, searches again and opens the session anew.
    panel.MinuteSlider()->setValue(9);
    panel.Button(PanelButton::kPlay)->click();
    for (int i = 0; i < 3; ++i) panel.Button(PanelButton::kFastForward)->click();
    EXPECT_EQ(panel.Model().ForwardStep(), 4);
    CPlaybackSession* session = site.PlaybackSession();
    ASSERT_NE(session, nullptr);
    const int rounds = session->Rounds();
    ASSERT_TRUE(WaitWithEvents([&] { return panel.Model().State() == kPanelStopped && session->Rounds() > rounds; },
                               40000));
    EXPECT_TRUE(WaitWithEvents([&] { return panel.TimeText()->text() == "  2026/03/20    14:00:00"; }, 15000))
        << panel.TimeText()->text().toStdString();

    panel.Close();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(site.PlaybackSession(), nullptr);
    EXPECT_FALSE(site.PlaybackMode());
    site.StopAll();
    site.SetObserver(nullptr);
  }
  CPlaybackPanel::SetMessageHook(nullptr);
}

}  // namespace
