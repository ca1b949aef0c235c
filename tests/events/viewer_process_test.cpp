#include "events/viewer_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Starting, the argument and an ordinary end are checked through the event
// panel's button; this is the viewer that will not end on SIGTERM.
TEST(ViewerProcess, OneIgnoringTerminationIsKilledAfterTheWaitAndReaped) {
  std::string dir = ::testing::TempDir() + "viewer_test_XXXXXX";
  ASSERT_NE(::mkdtemp(dir.data()), nullptr);
  const std::string ready = dir + "/ready";
  const std::string program = dir + "/stubborn";
  std::ofstream(program) << "#!/bin/sh\ntrap '' TERM\ntouch " << ready << "\nwhile :; do sleep 1; done\n";
  fs::permissions(program, fs::perms::owner_all);

  events::CViewerProcess viewer;
  ASSERT_TRUE(viewer.Start(program, dir));
  const pid_t pid = viewer.Pid();
  EXPECT_TRUE(viewer.Start(program, dir));  // the running one is kept
  EXPECT_EQ(viewer.Pid(), pid);
  const auto start = std::chrono::steady_clock::now();
  while (!fs::exists(ready) && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(fs::exists(ready));
  viewer.Stop(200);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(viewer.Running());
  EXPECT_EQ(::kill(pid, 0), -1);  // no zombie left under that id
  fs::remove_all(dir);
}

}  // namespace
