// Local settings and local accounts against real profile files in a
// temporary user folder.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/profile.h"
#include "platform/user_folder.h"
#include "sites/local_accounts.h"
#include "sites/local_settings.h"

namespace fs = std::filesystem;

namespace {

class LocalSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "local_settings_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ASSERT_TRUE(platform::SetUserFolder(dir_));
    login_ = platform::UserFile(kLoginFileName);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void PutLogin(const std::string& text) { std::ofstream(login_, std::ios::binary) << text; }
  std::string LoginText() const {
    std::ifstream in(login_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string Login(const char* key) { return platform::GetProfileString(login_, "LOGIN", key, "<none>"); }

  std::string dir_;
  std::string login_;
};

TEST(PasswordScramble, RotatesPrintableCodesOnly) {
  EXPECT_EQ(ScramblePassword("tovex"), "xszi|");
  EXPECT_EQ(ScramblePassword("~"), "\"");
  EXPECT_EQ(UnscramblePassword("\""), "~");
  EXPECT_EQ(ScramblePassword(" "), "$");
  EXPECT_EQ(ScramblePassword("\x7F"), "#");
  // Every byte comes back; bytes outside 32..127 are never touched.
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  const std::string scrambled = ScramblePassword(all);
  ASSERT_EQ(scrambled.size(), all.size());
  EXPECT_EQ(UnscramblePassword(scrambled), all);
  for (int c = 0; c < 256; ++c) {
    const bool printable = c >= 32 && c <= 127;
    EXPECT_EQ(scrambled[static_cast<size_t>(c)] == all[static_cast<size_t>(c)], !printable) << c;
  }
}

TEST_F(LocalSettingsTest, DefaultAccountWhenFileAbsentOrWithoutTotal) {
  CLocalAccounts accounts;
  EXPECT_TRUE(accounts.EnsureDefault());
  EXPECT_EQ(Login("TOTAL"), "1");
  EXPECT_EQ(Login("PW00"), "xszi|");
  ASSERT_TRUE(accounts.Load());
  ASSERT_EQ(accounts.Count(), 1);
  EXPECT_FALSE(accounts.CheckLogin(0, "tovex ").ok);
  const auto admin = accounts.CheckLogin(0, "tovex");
  EXPECT_TRUE(admin.ok && admin.admin);
  // Already there: nothing is written again.
  EXPECT_FALSE(accounts.EnsureDefault());

  // An empty file, and a readable file whose TOTAL is gone or 0.
  for (const char* text : {"", "[LOGIN]\nID00=boss\nPW00=xxx\n", "[LOGIN]\nTOTAL=0\n"}) {
    PutLogin(text);
    EXPECT_TRUE(accounts.EnsureDefault()) << text;
    ASSERT_TRUE(accounts.Load());
    EXPECT_TRUE(accounts.CheckLogin(0, "tovex").admin) << text;
  }
}

TEST_F(LocalSettingsTest, UnreadableOrCutOffFileIsNeverReset) {
  // A folder in place of the file opens but cannot be read (a mode of 000
  // would not stop the tests, which run as root).
  ASSERT_TRUE(fs::create_directory(login_));
  CLocalAccounts accounts;
  EXPECT_EQ(accounts.ProbeFile(), LoginFileState::kUnreadable);
  EXPECT_FALSE(accounts.EnsureDefault());
  EXPECT_FALSE(accounts.Load());
  EXPECT_EQ(accounts.Count(), 0);
  EXPECT_FALSE(accounts.CheckLogin(0, "tovex").ok);
  EXPECT_EQ(accounts.Add("x", "y", "y"), kAccountWriteFailed);
  EXPECT_EQ(accounts.ResetDefault(), kAccountWriteFailed);
  EXPECT_TRUE(fs::is_directory(login_));
  EXPECT_TRUE(fs::is_empty(login_));
  fs::remove(login_);

  // TOTAL says 3, but the file ends inside account 01: account 00 only, and
  // the file stays as it is.
  const std::string cut = "[LOGIN]\nTOTAL=03\nID00=boss\nPW00=" + ScramblePassword("s3cret") + "\nID01=eve\n";
  PutLogin(cut);
  EXPECT_FALSE(accounts.EnsureDefault());
  ASSERT_TRUE(accounts.Load());
  ASSERT_EQ(accounts.Count(), 1);
  EXPECT_TRUE(accounts.CheckLogin(0, "s3cret").admin);
  EXPECT_FALSE(accounts.CheckLogin(0, "tovex").ok);
  EXPECT_FALSE(accounts.CheckLogin(1, "").ok);
  EXPECT_EQ(LoginText(), cut);
}

TEST_F(LocalSettingsTest, TypedPasswordsLogInAfterReload) {
  CLocalAccounts accounts;
  accounts.EnsureDefault();
  ASSERT_TRUE(accounts.Load());
  // Blanks and quotes at the ends, before and after scrambling ("~" is
  // stored as a double quote, "#" as a single one, "|" as a blank), and
  // UTF-8 bytes.
  const std::vector<std::string> passwords = {" lead", "trail ", "~mid~", "|x|", "z#", "\"x\"", "p\xC3\xA4ss", ""};
  for (size_t i = 0; i < passwords.size(); ++i) {
    const std::string id = "user" + std::to_string(i);
    ASSERT_EQ(accounts.Add(id, passwords[i], passwords[i]), 0) << i;
  }
  EXPECT_EQ(Login("TOTAL"), "09");

  CLocalAccounts again;
  ASSERT_TRUE(again.Load());
  ASSERT_EQ(again.Count(), 9);
  for (size_t i = 0; i < passwords.size(); ++i) {
    const int index = static_cast<int>(i) + 1;
    EXPECT_EQ(again.Accounts()[i + 1].id, "user" + std::to_string(i));
    const auto r = again.CheckLogin(index, passwords[i]);
    EXPECT_TRUE(r.ok && !r.admin) << i;
  }
  // Changed passwords survive the same way.
  ASSERT_EQ(again.ChangePassword(0, " ~ ", " ~ "), 0);
  CLocalAccounts third;
  ASSERT_TRUE(third.Load());
  EXPECT_TRUE(third.CheckLogin(0, " ~ ").admin);
}

TEST_F(LocalSettingsTest, AccountChecksAndTheTenAccountBound) {
  CLocalAccounts accounts;
  accounts.EnsureDefault();
  ASSERT_TRUE(accounts.Load());
  EXPECT_EQ(accounts.Add("", "a", "b"), kAccountMsgEmptyId);
  EXPECT_EQ(accounts.Add("a b", "a", "b"), kAccountMsgIdHasSpace);
  EXPECT_EQ(accounts.Add("admin", "a", "b"), kAccountMsgIdExists);
  EXPECT_EQ(accounts.Add("bob", "a", "b"), kAccountMsgPasswordMismatch);
  EXPECT_EQ(accounts.Add("bob", std::string(32, 'p'), std::string(32, 'p')), kAccountBadInput);
  EXPECT_EQ(accounts.Add("bob", "a\nb", "a\nb"), kAccountBadInput);
  EXPECT_EQ(accounts.Count(), 1);
  EXPECT_EQ(accounts.ChangePassword(0, "x", "y"), kAccountMsgChangeMismatch);
  EXPECT_EQ(accounts.Delete(0), kAccountMsgCannotDeleteAdmin);
  EXPECT_EQ(accounts.Delete(-1), 0);

  for (int i = 1; i < kMaxLocalAccounts; ++i) ASSERT_EQ(accounts.Add("u" + std::to_string(i), "p", "p"), 0);
  EXPECT_EQ(accounts.Count(), kMaxLocalAccounts);
  EXPECT_EQ(accounts.CanAdd(), kAccountMsgTooMany);
  EXPECT_EQ(accounts.Add("u10", "p", "p"), kAccountMsgTooMany);

  // Removing account 03 moves the later ones down and drops index 09.
  ASSERT_EQ(accounts.Delete(3), 0);
  EXPECT_EQ(Login("TOTAL"), "09");
  EXPECT_EQ(Login("ID03"), "u4");
  EXPECT_EQ(Login("ID08"), "u9");
  EXPECT_EQ(Login("ID09"), "<none>");
  EXPECT_EQ(Login("PW09"), "<none>");
  ASSERT_EQ(accounts.Count(), 9);
  EXPECT_EQ(accounts.Accounts()[2].id, "u2");

  // A file claiming more than ten accounts gives ten, and takes no more.
  std::string text = "[LOGIN]\nTOTAL=15\n";
  for (int i = 0; i < 15; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "ID%02d=n%d\nPW%02d=%s\n", i, i, i, ScramblePassword("pw").c_str());
    text += line;
  }
  PutLogin(text);
  ASSERT_TRUE(accounts.Load());
  EXPECT_EQ(accounts.Count(), kMaxLocalAccounts);
  EXPECT_EQ(accounts.Add("new", "p", "p"), kAccountMsgTooMany);

  // Default: the section is replaced by the one default account.
  ASSERT_EQ(accounts.ResetDefault(), 0);
  EXPECT_EQ(accounts.Count(), 1);
  EXPECT_EQ(Login("ID05"), "<none>");
  EXPECT_TRUE(accounts.CheckLogin(0, "tovex").admin);
}

TEST_F(LocalSettingsTest, ConfigDefaultsAndBounds) {
  EXPECT_EQ(ConnectionTimeoutS(), 60);
  EXPECT_EQ(DataTimeoutS(kDataTimeoutShortS), 10);
  EXPECT_EQ(DataTimeoutS(kDataTimeoutLogListS), 30);
  EXPECT_EQ(RotationPeriodMs(), 5000);
  const EventPopupSettings evt = ReadEventPopupSettings();
  EXPECT_TRUE(evt.highlight);
  EXPECT_FALSE(evt.popup || evt.beep || evt.video_loss || evt.system);
  const NetworkSettings net = ReadNetworkSettings();
  EXPECT_TRUE(net.ch_mask && net.live_off && !net.show_covert);

  const std::string config = ConfigFilePath();
  platform::WriteProfileInt(config, "TIMEOUT", "DATA", 30);
  EXPECT_EQ(DataTimeoutS(kDataTimeoutShortS), 30);
  EXPECT_EQ(TimeoutChoiceIndex(30), 0);
  EXPECT_EQ(TimeoutChoiceIndex(60), 1);
  platform::WriteProfileInt(config, "TIMEOUT", "DATA", -5);
  EXPECT_EQ(DataTimeoutS(kDataTimeoutShortS), 10);
  platform::WriteProfileString(config, "TIMEOUT", "CONNECTION", "99999999");
  EXPECT_EQ(ConnectionTimeoutS(), kMaxTimeoutS);

  const std::pair<int, int> rotations[] = {{0, 1000}, {59, 60000}, {60, 60000}, {-3, 1000}};
  for (auto [stored, ms] : rotations) {
    platform::WriteProfileInt(config, "VIDEO", "ROTATING_TIME", stored);
    EXPECT_EQ(RotationPeriodMs(), ms) << stored;
  }
}

TEST_F(LocalSettingsTest, OsdFlags) {
  OsdSettings osd = ReadOsdSettings();
  EXPECT_EQ(OsdFlagsFromSettings(osd), 0x1 | 0x2 | 0x100 | 0x1000);
  osd = {true, true, true, true, true, true, 1};
  ASSERT_TRUE(WriteOsdSettings(osd));
  EXPECT_EQ(OsdFlagsFromSettings(ReadOsdSettings()), 0x1 | 0x2 | 0x4 | 0x8 | 0xF0 | 0x200 | 0x1000);
  osd = {false, false, false, true, false, true, 7};
  ASSERT_TRUE(WriteOsdSettings(osd));
  EXPECT_EQ(OsdFlagsFromSettings(ReadOsdSettings()), 0x4 | 0x400 | 0x1000);
  osd.time = false;
  EXPECT_EQ(OsdFlagsFromSettings(osd), 0x4 | 0x1000);
}

TEST_F(LocalSettingsTest, ClientPathsAreBounded) {
  EXPECT_EQ(GetClientPath(ClientFolder::kSnapshot), "");
  const std::string longest = "/" + std::string(kMaxClientPathLength - 1, 'd');
  ASSERT_TRUE(SetClientPath(ClientFolder::kSnapshot, longest));
  EXPECT_EQ(GetClientPath(ClientFolder::kSnapshot), longest);
  EXPECT_FALSE(SetClientPath(ClientFolder::kSnapshot, longest + "x"));
  EXPECT_FALSE(SetClientPath(ClientFolder::kBackup, "/a\nb"));
  ASSERT_TRUE(SetClientPath(ClientFolder::kConvertOutput, " /with blank "));
  EXPECT_EQ(GetClientPath(ClientFolder::kConvertOutput), " /with blank ");
  platform::WriteProfileString(ClientPathFilePath(), "LPB", "PATH", longest + "x");
  EXPECT_EQ(GetClientPath(ClientFolder::kLocalPlayback), "");
}

}  // namespace
