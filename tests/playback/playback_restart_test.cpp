// A site plays the simulator's recordings to their end and starts playback
// again as the panel does after status 15; the simulator's request log shows
// the new month search, stream open and playback request.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "dvrsim/simulator.h"
#include "platform/clock.h"
#include "playback/playback_consumer.h"
#include "playback/playback_session.h"
#include "sites/dvr_site.h"
#include "support/condition_wait.h"

namespace {

// The site's reports, as its owner would receive them.
class SiteCodes : public ISiteObserver {
 public:
  void OnSiteCode(int, int code) override { codes.Add(code); }
  void OnSiteEvent(int, const EventRecord&) override {}
  CCodeLog codes;
};

TEST(PlaybackRestart, TheEndOfTheRecordingsLeadsToANewSearchAndStreamOpen) {
  dvrsim::SimConfig config;
  config.base_port = 0;
  config.platform = 164;
  config.channels = 4;
  config.resolution = 3;
  config.loop_frames = 5;
  config.log_requests = true;
  dvrsim::ArchiveSegment segment;
  std::string why;
  ASSERT_TRUE(dvrsim::ParseArchiveSegment("2026-12-07T10:00:00+1@0x1", &segment, &why)) << why;
  config.archive_segments = {segment};
  std::mutex log_lock;
  std::vector<std::string> log;
  CConditionSignal log_grew;
  dvrsim::Simulator sim(config, [&](std::string_view line) {
    {
      std::lock_guard<std::mutex> l(log_lock);
      log.emplace_back(line);
    }
    log_grew.Notify();
  });
  auto logged = [&](const std::string& part) {
    std::lock_guard<std::mutex> l(log_lock);
    return std::count_if(log.begin(), log.end(),
                         [&](const std::string& s) { return s.find(part) != std::string::npos; });
  };
  ASSERT_TRUE(sim.Start(&why)) << why;

  SiteRecord record;
  record.address = "127.0.0.1";
  record.base_port = sim.base_port();
  record.user_id = "admin";
  record.password = "1234";
  record.channel_count = 4;
  record.platform_code = 164;
  CDvrSite site(record);
  SiteCodes reports;
  site.SetObserver(&reports);
  site.StartControl();
  ASSERT_TRUE(reports.codes.WaitCount(kNotifyLoggedIn, 1) && site.IsConnected());

  CPlaybackConsumer consumer;
  consumer.SetChannelCount(4);
  consumer.SetPanelState(kPanelPlaying);
  CCodeLog statuses;
  CCodeLog notes;
  CPlaybackSession* session =
      site.CreatePlaybackSession(&CPlaybackConsumer::OnFrame, &consumer, &CCodeLog::OnCode, &statuses);
  session->SetNotifyCallback(&CCodeLog::OnCode, &notes);
  consumer.SetSession(session);
  EXPECT_TRUE(site.PlaybackMode());
  site.StartPlaybackSession();
  ASSERT_TRUE(notes.WaitCount(kNotifyStreamRunning, 1) && session->IsAdmitted());
  session->SetPosition(2026, 12, 7, 10, 0, 0);
  session->PlayControl(1, 0, 1);
  ASSERT_TRUE(statuses.WaitCount(kPlaybackStatusEnded, 1));
  EXPECT_EQ(statuses.Codes(), (std::vector<int>{kPlaybackStatusRunning, kPlaybackStatusEnded}));
  EXPECT_GE(consumer.FramesReceived(0), 20u);

  // What the panel does with 15 on its own thread.
  site.SendMonthSearch(0, 0, 2);
  site.StartPlaybackSession();
  ASSERT_TRUE(notes.WaitCount(kNotifyStreamRunning, 2) && session->IsAdmitted());
  EXPECT_EQ(session->Rounds(), 2);
  const std::string live_port = "port=" + std::to_string(sim.live_port());
  EXPECT_TRUE(log_grew.WaitUntil([&] { return logged(live_port + " cmd=0x4110") == 2; }));
  EXPECT_EQ(logged(live_port + " cmd=0x1021"), 2);
  EXPECT_EQ(logged("cmd=0x4067"), 1);

  site.DeletePlaybackSession();
  consumer.SetSession(nullptr);
  EXPECT_FALSE(site.PlaybackMode());
  EXPECT_EQ(site.PlaybackSession(), nullptr);
  site.StopAll();
  site.SetObserver(nullptr);
  sim.Stop();
}

}  // namespace
