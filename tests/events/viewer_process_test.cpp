#include "events/viewer_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

class ViewerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "viewer_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }
  // Waits up to 10 s for the file to hold a line.
  std::string WaitForLine(const std::string& path) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      std::ifstream in(path);
      std::string line;
      if (std::getline(in, line) && in.good()) return line;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
  }

  std::string dir_;
};

TEST_F(ViewerProcessTest, OneViewerWithTheFolderIsStartedAndEndedByItsId) {
  const std::string out = dir_ + "/args";
  const std::string program = Script("viewer", "echo \"$1\" > " + out + ".tmp; mv " + out + ".tmp " + out +
                                                   "\nexec sleep 60\n");
  events::CViewerProcess viewer;
  ASSERT_TRUE(viewer.Start(program, dir_ + "/event folder"));
  const pid_t pid = viewer.Pid();
  EXPECT_TRUE(viewer.Running());
  EXPECT_EQ(WaitForLine(out), dir_ + "/event folder");
  // A second start while it runs keeps the one viewer.
  EXPECT_TRUE(viewer.Start(program, dir_));
  EXPECT_EQ(viewer.Pid(), pid);
  viewer.Stop();
  EXPECT_FALSE(viewer.Running());
  EXPECT_EQ(viewer.Pid(), -1);
  EXPECT_EQ(::kill(pid, 0), -1);  // reaped: no zombie left under that id

  EXPECT_FALSE(viewer.Start(dir_ + "/no-such-viewer", dir_));
  EXPECT_FALSE(viewer.Running());
}

TEST_F(ViewerProcessTest, AViewerIgnoringTerminationIsKilledAfterTheWait) {
  const std::string out = dir_ + "/ready";
  const std::string program =
      Script("stubborn", "trap '' TERM\necho ready > " + out + ".tmp; mv " + out + ".tmp " + out +
                             "\nwhile :; do sleep 1; done\n");
  events::CViewerProcess viewer;
  ASSERT_TRUE(viewer.Start(program, dir_));
  ASSERT_EQ(WaitForLine(out), "ready");
  const pid_t pid = viewer.Pid();
  const auto start = std::chrono::steady_clock::now();
  viewer.Stop(200);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(::kill(pid, 0), -1);
}

}  // namespace
