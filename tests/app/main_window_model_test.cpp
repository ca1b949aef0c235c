// The main window's rules and the one-instance lock, without any window.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_window_model.h"
#include "app/single_instance.h"
#include "app/text_ids.h"

namespace {

app::SiteFacts Connected(uint32_t rights = 15, int permission = 1, int platform = 163, int channels = 16) {
  app::SiteFacts f;
  f.selected = true;
  f.connected = true;
  f.rights_word = rights;
  f.setup_permission = permission;
  f.platform_code = platform;
  f.channel_count = channels;
  return f;
}

TEST(MainWindowRules, CommandsNeedASelectedConnectedSiteAndTheRight) {
  app::SiteFacts none;
  EXPECT_EQ(app::CheckRemotePlayback(none), app::text::kMsgSiteNotConnected);
  app::SiteFacts idle = Connected();
  idle.connected = false;
  EXPECT_EQ(app::CheckRemotePlayback(idle), app::text::kMsgSiteNotConnected);
  EXPECT_EQ(app::CheckSiteCommand(idle), app::text::kMsgSiteNotConnected);
  // Playback is open to a user with the playback or the backup right.
  EXPECT_EQ(app::CheckRemotePlayback(Connected(0)), app::text::kMsgPlaybackRefused);
  EXPECT_EQ(app::CheckRemotePlayback(Connected(2)), 0);
  EXPECT_EQ(app::CheckRemotePlayback(Connected(4)), 0);
  EXPECT_EQ(app::CheckRemotePlayback(Connected(1 | 8)), app::text::kMsgPlaybackRefused);
}

TEST(MainWindowRules, SetupPermission) {
  EXPECT_EQ(app::CheckRemoteSetup(Connected(15, 0)), app::text::kMsgSetupRefused);
  EXPECT_EQ(app::CheckRemoteSetup(Connected(15, 1)), 0);
  // The four-channel DVR of platform 164 grants set-up with the value 4 only.
  EXPECT_EQ(app::CheckRemoteSetup(Connected(15, 1, 164, 4)), app::text::kMsgSetupRefused);
  EXPECT_EQ(app::CheckRemoteSetup(Connected(15, 4, 164, 4)), 0);
  EXPECT_EQ(app::CheckRemoteSetup(Connected(15, 1, 164, 16)), 0);
}

TEST(MainWindowRules, RotationPeriodAndPages) {
  EXPECT_EQ(app::CPageRotation::PeriodMs(0), 1000);
  EXPECT_EQ(app::CPageRotation::PeriodMs(4), 5000);
  EXPECT_EQ(app::CPageRotation::PeriodMs(59), 60000);
  EXPECT_EQ(app::CPageRotation::PeriodMs(1000), 60000);
  EXPECT_EQ(app::CPageRotation::PeriodMs(-3), 1000);

  // Four panes over sixteen channels: 0, 4, 8, 12, back to 0.
  std::vector<int> starts;
  int start = 0;
  for (int i = 0; i < 5; ++i) starts.push_back(start = app::CPageRotation::NextPageStart(4, start, 16));
  EXPECT_EQ(starts, (std::vector<int>{4, 8, 12, 0, 4}));
  EXPECT_EQ(app::CPageRotation::NextPageStart(9, 0, 8), 0);
  EXPECT_EQ(app::CPageRotation::NextPageStart(1, 3, 4), 0);

  app::CPageRotation rotation;
  EXPECT_FALSE(rotation.PeriodChanged(9));  // nothing runs, nothing to restart
  rotation.Start(4);
  EXPECT_FALSE(rotation.PeriodChanged(4));
  EXPECT_TRUE(rotation.PeriodChanged(9));
  rotation.Start(9);
  EXPECT_EQ(rotation.CurrentPeriodMs(), 10000);
}

TEST(MainWindowRules, ModesChangeOnlyThroughLive) {
  app::CMainWindowModel model;
  EXPECT_FALSE(model.LeaveRemotePlayback());
  EXPECT_TRUE(model.EnterRemotePlayback());
  EXPECT_FALSE(model.EnterLocalPlayback());
  EXPECT_FALSE(model.RotationAllowed(true));
  EXPECT_FALSE(model.LeaveLocalPlayback());
  EXPECT_TRUE(model.LeaveRemotePlayback());
  EXPECT_TRUE(model.EnterLocalPlayback());
  EXPECT_EQ(model.Mode(), app::MainMode::kLocalPlayback);
  EXPECT_TRUE(model.LeaveLocalPlayback());
  EXPECT_TRUE(model.RotationAllowed(true));
  EXPECT_FALSE(model.RotationAllowed(false));
  EXPECT_EQ(app::PanesForChannels(8), 9);
  EXPECT_EQ(app::PanesForChannels(4), 4);
  EXPECT_EQ(app::PanesForChannels(12), 16);
}

TEST(SingleInstance, SecondHolderRefusedAndACrashedHolderLeavesNoLock) {
  const std::string path = ::testing::TempDir() + "/tavrel_instance_test.lock";
  std::filesystem::remove(path);
  {
    app::CSingleInstance first;
    ASSERT_EQ(first.Acquire(path), app::CSingleInstance::Result::kAcquired);
    app::CSingleInstance second;
    EXPECT_EQ(second.Acquire(path), app::CSingleInstance::Result::kHeldByAnother);
    first.Release();
    EXPECT_EQ(second.Acquire(path), app::CSingleInstance::Result::kAcquired);
  }
  // A holder that dies without releasing: the system drops its lock.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    app::CSingleInstance held;
    _exit(held.Acquire(path) == app::CSingleInstance::Result::kAcquired ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  app::CSingleInstance next;
  EXPECT_EQ(next.Acquire(path), app::CSingleInstance::Result::kAcquired);
  EXPECT_EQ(next.Acquire("/nonexistent-folder/x.lock"), app::CSingleInstance::Result::kFailed);
}

}  // namespace
