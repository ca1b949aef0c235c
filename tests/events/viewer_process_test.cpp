#include "events/viewer_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Starting, the argument and an ordinary end are checked through the event
// panel's button; this is the viewer that will not end on SIGTERM.
TEST(ViewerProcess, OneIgnoringTerminationIsKilledAfterTheWaitAndReaped) {
  std::string dir = ::testing::TempDir() + "viewer_test_XXXXXX";
  ASSERT_NE(::mkdtemp(dir.data()), nullptr);
  const std::string ready = dir + "/ready";
  const std::string program = dir + "/stubborn";
  // The viewer says it has set its trap through a FIFO, which the test
  // waits on with poll.
  ASSERT_EQ(::mkfifo(ready.c_str(), 0600), 0);
  const int ready_fd = ::open(ready.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(ready_fd, 0);
  std::ofstream(program) << "#!/bin/sh\ntrap '' TERM\necho ready > " << ready << "\nwhile :; do sleep 1; done\n";
  fs::permissions(program, fs::perms::owner_all);

  events::CViewerProcess viewer;
  ASSERT_TRUE(viewer.Start(program, dir));
  const pid_t pid = viewer.Pid();
  EXPECT_TRUE(viewer.Start(program, dir));  // the running one is kept
  EXPECT_EQ(viewer.Pid(), pid);
  const auto start = std::chrono::steady_clock::now();
  pollfd ready_poll{ready_fd, POLLIN, 0};
  ASSERT_EQ(::poll(&ready_poll, 1, 10000), 1);
  ::close(ready_fd);
  viewer.Stop(200);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(viewer.Running());
  EXPECT_EQ(::kill(pid, 0), -1);  // no zombie left under that id
  fs::remove_all(dir);
}

}  // namespace
