// tavrel-cli sites on a site directory in a temporary user folder: the lines
// scripts read, the checks that refuse a change, CSV import and export, and a
// damaged site.dat that no command may write over.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/profile.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace {

struct SitesRun {
  int status = -1;
  std::vector<std::string> lines;
  std::string err;
};

class CliSites : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "cli_sites_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    home_ = root_ + "/home";
  }
  void TearDown() override { fs::remove_all(root_); }

  SitesRun Sites(std::vector<std::string> args, const std::string& home = "") {
    args.insert(args.begin(), "sites");
    args.push_back("--home");
    args.push_back(home.empty() ? home_ : home);
    ChildProcess p(TAVREL_CLI_PATH, args);
    SitesRun r;
    r.status = p.Wait(20000);
    r.lines = p.RestOfStdout();
    r.err = p.Stderr();
    return r;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string root_, home_;
};

TEST_F(CliSites, AddListRemoveAndRefusals) {
  EXPECT_EQ(Sites({"list"}).lines, std::vector<std::string>{});
  ASSERT_EQ(Sites({"add-group", "Main Office"}).lines, std::vector<std::string>{"group \"Main Office\""});
  ASSERT_EQ(Sites({"add-group", "Yard"}).status, 0);
  ASSERT_EQ(Sites({"add", "--group", "Main Office", "--name", "Gate", "--address", "10.0.0.7", "--port", "7700",
                   "--channels", "9", "--password", "pw"})
                .status,
            0);
  const std::vector<std::string> listed = {
      "group \"Main Office\"",
      "site group=\"Main Office\" name=Gate address=10.0.0.7 port=7700 channels=9 platform=163 model=QRT-2719B "
      "user=netuser",
      "group Yard"};
  EXPECT_EQ(Sites({"list"}).lines, listed);

  // Refusals leave site.dat as it was.
  const std::string before = Read(home_ + "/site.dat");
  const SitesRun dup = Sites({"add", "--group", "Yard", "--name", "Gate", "--address", "h"});
  EXPECT_EQ(dup.status, 1);
  EXPECT_NE(dup.err.find("already exists"), std::string::npos) << dup.err;
  EXPECT_EQ(Sites({"add", "--group", "Yard", "--name", "X", "--address", "h", "--channels", "5"}).status, 1);
  EXPECT_EQ(Sites({"add", "--group", "Nowhere", "--name", "X", "--address", "h"}).status, 1);
  EXPECT_EQ(Sites({"add-group", "Yard"}).status, 1);
  EXPECT_EQ(Sites({"add", "--group", "Yard", "--name", "X"}).status, 2);
  EXPECT_EQ(Sites({"add", "--group", "Yard", "--name", "X", "--address", "h", "--port", "x"}).status, 2);
  EXPECT_EQ(Sites({"list", "--name", "X"}).status, 2);
  EXPECT_EQ(Read(home_ + "/site.dat"), before);

  EXPECT_EQ(Sites({"remove", "--group", "Main Office", "--name", "Gate"}).lines,
            std::vector<std::string>{"removed site group=\"Main Office\" name=Gate"});
  EXPECT_EQ(Sites({"remove", "--group", "Yard"}).lines, std::vector<std::string>{"removed group=Yard sites=0"});
  EXPECT_EQ(Sites({"list"}).lines, std::vector<std::string>{"group \"Main Office\""});
  EXPECT_EQ(platform::GetProfileString(home_ + "/site_db.ini", "DVRLIST", "TOTAL_GROUP", ""), "1");
}

TEST_F(CliSites, ImportIsAllOrNothing) {
  ASSERT_EQ(Sites({"add-group", "A"}).status, 0);
  const std::string before = Read(home_ + "/site.dat");
  const std::string csv = root_ + "/in.csv";
  Write(csv,
        "group,name,address,port,channels,platform,model,user,password\n"
        "B,One,10.0.0.1,7620,16,163,,,\n"
        "B,Two,10.0.0.2,7620,5,163,,,\n");
  const SitesRun bad = Sites({"import", csv});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("line 3"), std::string::npos) << bad.err;
  EXPECT_EQ(Read(home_ + "/site.dat"), before);

  // A name already in the directory is refused as well.
  ASSERT_EQ(Sites({"add", "--group", "A", "--name", "Two", "--address", "h"}).status, 0);
  Write(csv, "group,name,address,port,channels,platform,model,user,password\r\nB,Two,h,,,,,,\r\n");
  EXPECT_EQ(Sites({"import", csv}).status, 1);
  EXPECT_EQ(Sites({"list"}).lines.size(), 2u);
}

TEST_F(CliSites, ExportImportRoundTrip) {
  ASSERT_EQ(Sites({"add-group", "North, \"Old\" wing"}).status, 0);
  ASSERT_EQ(Sites({"add-group", "Empty"}).status, 0);
  ASSERT_EQ(Sites({"add", "--group", "North, \"Old\" wing", "--name", "Gate, \"A\"", "--address", "gate.example",
                   "--user", "ops", "--password", "p,w\"", "--platform", "164", "--channels", "4"})
                .status,
            0);
  const std::string csv = root_ + "/out.csv";
  ASSERT_EQ(Sites({"export", csv}).lines, std::vector<std::string>{"exported sites=1 groups=2"});
  const std::string other = root_ + "/other";
  EXPECT_EQ(Sites({"import", csv}, other).lines, std::vector<std::string>{"imported sites=1 groups=2"});
  EXPECT_EQ(Sites({"list"}, other).lines, Sites({"list"}).lines);
  EXPECT_EQ(Read(other + "/site.dat"), Read(home_ + "/site.dat"));
  EXPECT_EQ(Read(other + "/site_db.ini"), Read(home_ + "/site_db.ini"));
}

TEST_F(CliSites, DamagedDirectoryIsNeverWrittenOver) {
  fs::create_directories(home_);
  const std::string garbage = std::string("\x05\x00\x00\x00", 4) + "junk";
  Write(home_ + "/site.dat", garbage);
  const SitesRun list = Sites({"list"});
  EXPECT_EQ(list.status, 1);
  EXPECT_NE(list.err.find("damaged"), std::string::npos) << list.err;
  EXPECT_EQ(Sites({"add-group", "A"}).status, 1);
  EXPECT_EQ(Sites({"export", root_ + "/x.csv"}).status, 1);
  EXPECT_EQ(Read(home_ + "/site.dat"), garbage);
  EXPECT_FALSE(fs::exists(home_ + "/site_db.ini"));
}

}  // namespace
