#include "platform/profile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;
using platform::DeleteProfileKey;
using platform::DeleteProfileSection;
using platform::GetProfileInt;
using platform::GetProfileKeys;
using platform::GetProfileSectionNames;
using platform::GetProfileString;
using platform::WriteProfileInt;
using platform::WriteProfileString;
using Names = std::vector<std::string>;

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "profile_test_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/tavrel.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Contents() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string Get(std::string_view section, std::string_view key) {
    return GetProfileString(path_, section, key, "<def>");
  }
  size_t FilesInDir() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  std::string dir_;
  std::string path_;
};

TEST_F(ProfileTest, ReadsNamesWithoutCaseAndFirstDuplicateWins) {
  Put("top=outside\r\n"
      "[Camera]\r\n"
      "  Name = Front door  \r\n"
      "; name=comment\r\n"
      "name=second\r\n"
      "bare\r\n"
      "[ camera ]\r\n"
      "other=hidden\r\n"
      "[Net]\r\n"
      "Port=9000");
  EXPECT_EQ(Get("CAMERA", "NAME"), "Front door");
  EXPECT_EQ(Get("camera", "bare"), "");
  EXPECT_EQ(Get("camera", "other"), "<def>");  // only the first [camera] counts
  EXPECT_EQ(Get("camera", "top"), "<def>");
  EXPECT_EQ(Get("net", "port"), "9000");       // last line without line end
  EXPECT_EQ(Get("missing", "port"), "<def>");
  EXPECT_EQ(GetProfileSectionNames(path_), (Names{"Camera", "Net"}));
  EXPECT_EQ(GetProfileKeys(path_, "CAMERA"), (Names{"Name", "bare"}));
  EXPECT_TRUE(GetProfileKeys(path_, "none").empty());
}

TEST_F(ProfileTest, RemovesOnePairOfMatchingQuotes) {
  Put("[q]\na=\"quoted\"\nb='single'\nc=\"mixed'\nd=\"\"inner\"\"\ne=\"\"\nf=\"\ng= \" padded \" \n");
  EXPECT_EQ(Get("q", "a"), "quoted");
  EXPECT_EQ(Get("q", "b"), "single");
  EXPECT_EQ(Get("q", "c"), "\"mixed'");
  EXPECT_EQ(Get("q", "d"), "\"inner\"");
  EXPECT_EQ(Get("q", "e"), "");
  EXPECT_EQ(Get("q", "f"), "\"");
  EXPECT_EQ(Get("q", "g"), " padded ");
}

TEST_F(ProfileTest, ParsesLeadingDecimalDigits) {
  Put("[n]\na=  -12abc\nb=+7\nc=abc\nd=\ne=\"42\"\nf=4294967295\ng=- 5\n");
  EXPECT_EQ(GetProfileInt(path_, "n", "a", 99), -12);
  EXPECT_EQ(GetProfileInt(path_, "n", "b", 99), 7);
  EXPECT_EQ(GetProfileInt(path_, "n", "c", 99), 0);   // present but not a number
  EXPECT_EQ(GetProfileInt(path_, "n", "d", 99), 99);  // empty reads as absent
  EXPECT_EQ(GetProfileInt(path_, "n", "e", 99), 42);
  EXPECT_EQ(GetProfileInt(path_, "n", "f", 99), -1);  // unsigned 32-bit bits kept
  EXPECT_EQ(GetProfileInt(path_, "n", "g", 99), 0);
  EXPECT_EQ(GetProfileInt(path_, "n", "missing", 99), 99);
  ASSERT_TRUE(WriteProfileInt(path_, "n", "h", -2147483647 - 1));
  EXPECT_EQ(GetProfileInt(path_, "n", "h", 0), -2147483647 - 1);
}

TEST_F(ProfileTest, MissingFileReadsAsEmptyAndOnlyWritesCreateIt) {
  EXPECT_EQ(Get("a", "b"), "<def>");
  EXPECT_EQ(GetProfileInt(path_, "a", "b", 5), 5);
  EXPECT_TRUE(GetProfileSectionNames(path_).empty());
  EXPECT_TRUE(DeleteProfileKey(path_, "a", "b"));
  EXPECT_TRUE(DeleteProfileSection(path_, "a"));
  EXPECT_FALSE(fs::exists(path_));
  // A missing folder is not created.
  EXPECT_FALSE(WriteProfileString(dir_ + "/no/such.ini", "a", "b", "c"));
  EXPECT_FALSE(fs::exists(dir_ + "/no"));
  ASSERT_TRUE(WriteProfileString(path_, "s", "k", "v"));
  EXPECT_EQ(Contents(), "[s]\nk=v\n");
}

TEST_F(ProfileTest, WritesInPlaceAppendAtSectionEndAndKeepOtherLines) {
  Put("; header comment\n"
      "loose=1\n"
      "[Camera]\n"
      "Name=old\n"
      "  ; about camera\n"
      "Port = 80\n"
      "\n"
      "; belongs to net\n"
      "[Net]\n"
      "Host=a\n");
  ASSERT_TRUE(WriteProfileString(path_, "camera", "NAME", "new"));
  ASSERT_TRUE(WriteProfileString(path_, "CAMERA", "Added", "x"));
  ASSERT_TRUE(WriteProfileString(path_, "Extra", "k", "v"));
  ASSERT_TRUE(WriteProfileString(path_, "extra", "k2", "v2"));
  ASSERT_TRUE(WriteProfileString(path_, "net", "port", "1"));
  EXPECT_EQ(Contents(),
            "; header comment\n"
            "loose=1\n"
            "[Camera]\n"
            "Name=new\n"
            "  ; about camera\n"
            "Port = 80\n"
            "Added=x\n"
            "\n"
            "; belongs to net\n"
            "[Net]\n"
            "Host=a\n"
            "port=1\n"
            "\n"
            "[Extra]\n"
            "k=v\n"
            "k2=v2\n");
}

TEST_F(ProfileTest, CrlfFileIsRewrittenWithLfAndBomKept) {
  Put("\xEF\xBB\xBF[a]\r\nx=1\r\n");
  EXPECT_EQ(Get("a", "x"), "1");
  ASSERT_TRUE(WriteProfileString(path_, "a", "y", "2"));
  EXPECT_EQ(Contents(), "\xEF\xBB\xBF[a]\nx=1\ny=2\n");
}

TEST_F(ProfileTest, DeletesKeysAndSectionsWithTheirDuplicates) {
  Put("[a]\nx=1\ny=2\nX=3\n\n[b]\nz=1\n\n[A]\nw=1\n[c]\nq=1\n");
  ASSERT_TRUE(DeleteProfileKey(path_, "A", "x"));
  EXPECT_EQ(Get("a", "x"), "<def>");
  EXPECT_EQ(Contents(), "[a]\ny=2\n\n[b]\nz=1\n\n[A]\nw=1\n[c]\nq=1\n");
  ASSERT_TRUE(DeleteProfileSection(path_, "a"));
  EXPECT_EQ(Contents(), "[b]\nz=1\n\n[c]\nq=1\n");
  EXPECT_TRUE(DeleteProfileKey(path_, "b", "nothing"));
  EXPECT_TRUE(DeleteProfileSection(path_, "nothing"));
  EXPECT_EQ(Contents(), "[b]\nz=1\n\n[c]\nq=1\n");
}

TEST_F(ProfileTest, ValuesCannotInjectLinesOrSections) {
  ASSERT_TRUE(WriteProfileString(path_, "s", "k", "a\n[evil]\nkey=1"));
  ASSERT_TRUE(WriteProfileString(path_, "s", "j", std::string("b\r\0c", 4)));
  EXPECT_EQ(GetProfileSectionNames(path_), (Names{"s"}));
  EXPECT_EQ(GetProfileKeys(path_, "s"), (Names{"k", "j"}));
  EXPECT_EQ(Get("s", "k"), "a [evil] key=1");
  EXPECT_EQ(Get("s", "j"), "b  c");
}

TEST_F(ProfileTest, RefusesNamesThatWouldNotReadBack) {
  Put("[s]\nk=v\n");
  const std::string before = Contents();
  for (const std::string& bad : Names{"a]b", "[a", "a\nb", "a\rb", std::string("a\0b", 3), "", "  "}) {
    EXPECT_FALSE(WriteProfileString(path_, bad, "k", "v")) << "section " << bad;
  }
  for (const std::string& bad : Names{"a=b", "a\nb", std::string("a\0b", 3), "", "[x", ";x"}) {
    EXPECT_FALSE(WriteProfileString(path_, "s", bad, "v")) << "key " << bad;
  }
  EXPECT_EQ(Contents(), before);
}

TEST_F(ProfileTest, ValuesRoundTrip) {
  const std::vector<std::string> values = {" a ", "\tx", "\"q\"", "'", "a'", "\"", "", "x=y;z", "[z]", "' '"};
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_TRUE(WriteProfileString(path_, "v", "k" + std::to_string(i), values[i]));
  }
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(Get("v", "k" + std::to_string(i)), values[i]) << i;
  }
  // Overwriting with the same value leaves a hand-made layout alone.
  Put("[v]\n  k = 1  \n");
  ASSERT_TRUE(WriteProfileString(path_, "v", "k", "1"));
  EXPECT_EQ(Contents(), "[v]\n  k = 1  \n");
}

TEST_F(ProfileTest, FailedSaveLeavesOriginalAndNoTemporaryFile) {
  // A file-size limit makes the write of the temporary file fail as a full
  // disk would, whatever the privileges of the test.
  std::string big = "[a]\nx=1\n[b]\n" + std::string(8192, ';') + "\n";
  Put(big);
  struct rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteProfileString(path_, "a", "x", "2");
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(written);
  EXPECT_EQ(Contents(), big);
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(ProfileTest, ReplacesThroughSymlinkAndKeepsPermissions) {
  Put("[a]\nx=1\n");
  ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
  const std::string link = dir_ + "/link.ini";
  fs::create_symlink(path_, link);
  ASSERT_TRUE(WriteProfileString(link, "a", "x", "2"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Get("a", "x"), "2");
  struct stat st{};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(FilesInDir(), 2u);
  // A folder where the file should be is not replaced.
  EXPECT_FALSE(WriteProfileString(dir_, "a", "x", "1"));
}

TEST_F(ProfileTest, ConcurrentWritersLoseNoChange) {
  constexpr int kThreads = 4;
  constexpr int kKeys = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int k = 0; k < kKeys; ++k) {
        WriteProfileInt(path_, "s" + std::to_string(t), "k" + std::to_string(k), k);
        GetProfileString(path_, "s0", "k0", "");
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(GetProfileKeys(path_, "s" + std::to_string(t)).size(), static_cast<size_t>(kKeys));
  }
}

TEST_F(ProfileTest, SeveralKeysInOneUpdateAndWholeFileRead) {
  Put("[A]\nx=1\n[b]\ny = \"q \"\n[a]\nx=2\nz=3\n");
  // A new section and keys in it, a key added to an existing section, a key
  // changed in place, all in one update.
  ASSERT_TRUE(platform::WriteProfileStrings(
      path_, {{"new", "k1", "v\nw"}, {"new", "k2", " "}, {"a", "x", "9"}, {"B", "w", "4"}}));
  EXPECT_EQ(Contents(), "[A]\nx=9\n[b]\ny = \"q \"\nw=4\n[a]\nx=2\nz=3\n\n[new]\nk1=v w\nk2=\" \"\n");
  // A refused name anywhere writes nothing.
  EXPECT_FALSE(platform::WriteProfileStrings(path_, {{"a", "x", "5"}, {"bad]", "k", "v"}}));
  EXPECT_EQ(Get("a", "x"), "9");

  auto sections = platform::ReadProfileSections(path_);
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0].name, "A");
  EXPECT_EQ(sections[0].Get("X"), "9");  // first of a repeated key wins
  EXPECT_EQ(sections[0].Get("z"), "3");  // repeated section merged
  EXPECT_EQ(sections[1].Get("y"), "q ");
  EXPECT_EQ(sections[2].Get("k2"), " ");
  EXPECT_EQ(sections[2].Get("none", "d"), "d");
  EXPECT_TRUE(platform::ReadProfileSections(dir_ + "/missing.ini").empty());
}

}  // namespace
