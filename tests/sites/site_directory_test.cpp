// The site directory file, its mirror, the dialog's choices and checks, and
// the predefined camera lists, against real files in a temporary folder.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/profile.h"
#include "sites/predefined_lists.h"
#include "sites/site_directory_store.h"

namespace fs = std::filesystem;

namespace {

std::string Int32(int32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
  return out;
}
std::string Str(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }

// One group "G" holding one site whose channel count is `channels`.
std::string OneSiteFile(int32_t channels) {
  return Int32(1) + Int32(1) + Str("G") + Str("Lobby") + Str("10.1.2.3") + Str("admin") + Str("pw") +
         Str("QRT-2719B") + Int32(7700) + Int32(channels) + Int32(161);
}

class SiteFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "site_dir_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    dat_ = dir_ + "/site.dat";
    ini_ = dir_ + "/site_db.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string Mirror(const char* section, const char* key) {
    return platform::GetProfileString(ini_, section, key, "<none>");
  }

  std::string dir_, dat_, ini_;
};

TEST_F(SiteFilesTest, EmptyDirectoryIsFourZeroBytesAndTotalGroupZero) {
  SiteDirectoryData dir;
  EXPECT_EQ(LoadSiteDirectory(dat_, &dir).status, SiteLoadStatus::kMissing);
  ASSERT_TRUE(SaveSiteDirectory(dat_, ini_, dir).Ok());
  EXPECT_EQ(Get(dat_), std::string(4, '\0'));
  EXPECT_EQ(Mirror("DVRLIST", "TOTAL_GROUP"), "0");
  EXPECT_EQ(fs::status(dat_).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SiteFilesTest, HandWrittenFileLoadsAndRoundTrips) {
  Put(dat_, OneSiteFile(9));
  SiteDirectoryData dir;
  ASSERT_EQ(LoadSiteDirectory(dat_, &dir).status, SiteLoadStatus::kOk);
  ASSERT_EQ(dir.groups.size(), 1u);
  ASSERT_EQ(dir.groups[0].sites.size(), 1u);
  const SiteRecord& s = dir.groups[0].sites[0];
  EXPECT_EQ(s.name, "Lobby");
  EXPECT_EQ(s.address, "10.1.2.3");
  EXPECT_EQ(s.user_id, "admin");
  EXPECT_EQ(s.password, "pw");
  EXPECT_EQ(s.platform_code, 161);
  EXPECT_STREQ(kChannelChoiceLabels[ChannelChoiceIndex(s.channel_count)], "9CH");
  const PortChoices ports = MakePortChoices(s.base_port);
  EXPECT_EQ(ports.selected, 8);
  EXPECT_EQ(ports.labels[8], "7700 ~ 7704");
  EXPECT_EQ(ports.bases.size(), 16u);

  // Saving writes the same bytes back; the 3- and 7-byte length forms read too.
  ASSERT_TRUE(SaveSiteDirectory(dat_, ini_, dir).Ok());
  EXPECT_EQ(Get(dat_), OneSiteFile(9));
  dir.groups[0].name = std::string(300, 'g');
  EXPECT_EQ(EncodeSiteDirectory(dir).substr(8, 3), "\xFF\x2C\x01");
  SiteDirectoryData back;
  std::string reason;
  ASSERT_TRUE(DecodeSiteDirectory(EncodeSiteDirectory(dir), &back, &reason)) << reason;
  EXPECT_EQ(back.groups[0].name, dir.groups[0].name);
  std::string wide_form = OneSiteFile(9);
  wide_form.replace(8, 2, std::string("\xFF\xFF\xFF", 3) + Int32(1) + "G");
  ASSERT_TRUE(DecodeSiteDirectory(wide_form, &back, &reason)) << reason;
  EXPECT_EQ(back.groups[0].name, "G");
}

TEST_F(SiteFilesTest, OddValuesAreMendedOnLoad) {
  SiteDirectoryData dir;
  std::string reason;
  ASSERT_TRUE(DecodeSiteDirectory(OneSiteFile(17), &dir, &reason));
  EXPECT_EQ(dir.groups[0].sites[0].channel_count, 4);
  ASSERT_TRUE(DecodeSiteDirectory(OneSiteFile(0), &dir, &reason));
  EXPECT_EQ(dir.groups[0].sites[0].channel_count, 0);

  // 30 ASCII bytes and a two-byte character: cutting at 31 would split it.
  EXPECT_EQ(CutSiteText(std::string(30, 'a') + "\xC3\xA9" + "zz"), std::string(30, 'a'));
  EXPECT_EQ(CutSiteText(std::string(40, 'b')), std::string(31, 'b'));
  EXPECT_EQ(CutSiteText(std::string("ab\0cd", 5)), "ab");

  // A stored port that is not one of the 16 bases stays selectable.
  const PortChoices odd = MakePortChoices(7625);
  EXPECT_EQ(odd.selected, 16);
  EXPECT_EQ(odd.bases[16], 7625);
}

TEST_F(SiteFilesTest, HostileFilesFailAndAreKeptBesideTheNewOne) {
  const std::string cut = OneSiteFile(16);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"5000 groups", Int32(5000) + std::string(5000 * 5, '\0')},
      {"count -1", Int32(1) + Int32(-1) + Str("G")},
      {"huge count", Int32(2) + Int32(0x7FFFFFFF) + Int32(0x7FFFFFFF) + Str("G") + Str("H")},
      {"32-bit length 0xFFFFFFF0", Int32(1) + Int32(0) + "\xFF\xFF\xFF" + Int32(static_cast<int32_t>(0xFFFFFFF0))},
      {"cut inside a site", cut.substr(0, cut.size() - 6)},
      // Taken as a length, the marker would fit: only the marker check refuses it.
      {"wide-string marker", Int32(1) + Int32(0) + "\xFF\xFE\xFF" + std::string(0xFFFE, 'n')},
      {"trailing bytes", OneSiteFile(16) + "x"},
      {"short header", std::string("\x01\x00", 2)},
  };
  for (const auto& c : cases) {
    Put(dat_, c.bytes);
    fs::remove(dat_ + ".bad");
    SiteDirectoryData dir;
    SiteLoadResult loaded = LoadSiteDirectory(dat_, &dir);
    EXPECT_EQ(loaded.status, SiteLoadStatus::kDamaged) << c.what;
    EXPECT_TRUE(dir.groups.empty()) << c.what;
    EXPECT_FALSE(loaded.reason.empty()) << c.what;

    dir.groups.push_back({"New", {}});
    ASSERT_TRUE(SaveSiteDirectory(dat_, ini_, dir, &loaded).Ok()) << c.what;
    EXPECT_EQ(Get(dat_ + ".bad"), c.bytes) << c.what;
    // Only the first save keeps the damaged file.
    ASSERT_TRUE(SaveSiteDirectory(dat_, ini_, dir, &loaded).Ok());
    EXPECT_EQ(Get(dat_ + ".bad"), c.bytes) << c.what;
    EXPECT_EQ(LoadSiteDirectory(dat_, &dir).status, SiteLoadStatus::kOk) << c.what;
  }
}

TEST_F(SiteFilesTest, SaveIsRefusedWhenTheDamagedFileCannotBeKept) {
  fs::create_directory(dat_);  // exists, cannot be read as a file
  SiteDirectoryData dir;
  SiteLoadResult loaded = LoadSiteDirectory(dat_, &dir);
  ASSERT_EQ(loaded.status, SiteLoadStatus::kDamaged);
  EXPECT_EQ(SaveSiteDirectory(dat_, ini_, dir, &loaded).status, SiteSaveStatus::kPreserveFailed);
  EXPECT_TRUE(fs::is_directory(dat_));
  EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(SiteFilesTest, MirrorHoldsTheKeysAndNothingStale) {
  SiteDirectoryData dir;
  SiteRecord a;
  a.name = "Gate";
  a.address = "gate.example";
  a.password = " secret";
  a.channel_count = 8;
  SiteRecord b = a;
  b.name = "Yard";
  b.base_port = 7630;
  dir.groups = {{"North", {a, b}}, {"Empty", {}}};
  ASSERT_TRUE(SaveSiteDirectory(dat_, ini_, dir).Ok());
  EXPECT_EQ(Mirror("DVRLIST", "TOTAL_GROUP"), "2");
  EXPECT_EQ(Mirror("GROUP", "GROUP_NUM01"), "2");
  EXPECT_EQ(Mirror("GROUP", "GROUP_NAME02"), "Empty");
  EXPECT_EQ(Mirror("GROUP", "GROUP_NUM02"), "0");
  EXPECT_EQ(Mirror("SITE_INFO01", "NAME02"), "Yard");
  EXPECT_EQ(Mirror("SITE_INFO01", "IP01"), "gate.example");
  EXPECT_EQ(Mirror("SITE_INFO01", "ID01"), "netuser");
  EXPECT_EQ(Mirror("SITE_INFO01", "PW01"), " secret");
  EXPECT_EQ(Mirror("SITE_INFO01", "PORT02"), "7630");
  EXPECT_EQ(Mirror("SITE_INFO01", "CH_NUM01"), "08");

  // A smaller directory leaves no keys of deleted sites behind.
  dir.groups.resize(1);
  dir.groups[0].sites.resize(1);
  ASSERT_TRUE(SaveSiteDirectory(dat_, ini_, dir).Ok());
  EXPECT_EQ(Mirror("SITE_INFO01", "NAME02"), "<none>");
  EXPECT_EQ(Mirror("GROUP", "GROUP_NAME02"), "<none>");
}

TEST(SiteChecks, NamesAreUniqueAcrossGroupsAndFieldsBounded) {
  SiteDirectoryData dir;
  SiteRecord lobby;
  lobby.name = "Lobby";
  lobby.address = "10.0.0.1";
  dir.groups = {{"A", {lobby}}, {"B", {}}};

  SiteRecord s = lobby;
  EXPECT_EQ(CheckNewSite(dir, s), SiteFieldError::kDuplicateName);
  EXPECT_EQ(SiteFieldMessage(SiteFieldError::kDuplicateName), 33);
  s.name = "lobby";  // exact byte comparison
  EXPECT_EQ(CheckNewSite(dir, s), SiteFieldError::kNone);
  // Modifying a site keeps its own name, but may not take another's.
  EXPECT_EQ(CheckModifiedSite(dir, {0, 0}, lobby), SiteFieldError::kNone);
  dir.groups[1].sites.push_back(s);
  EXPECT_EQ(CheckModifiedSite(dir, {1, 0}, lobby), SiteFieldError::kDuplicateName);
  EXPECT_EQ(FindSiteByName(dir, "lobby").group, 1);

  const struct {
    void (*change)(SiteRecord*);
    SiteFieldError error;
  } cases[] = {
      {[](SiteRecord* r) { r->name.clear(); }, SiteFieldError::kEmptyName},
      {[](SiteRecord* r) { r->address.clear(); }, SiteFieldError::kEmptyAddress},
      {[](SiteRecord* r) { r->base_port = 0; }, SiteFieldError::kBadPort},
      {[](SiteRecord* r) { r->base_port = 65533; }, SiteFieldError::kBadPort},
      {[](SiteRecord* r) { r->channel_count = 5; }, SiteFieldError::kBadChannelCount},
      {[](SiteRecord* r) { r->password = std::string(32, 'p'); }, SiteFieldError::kTooLong},
      {[](SiteRecord* r) { r->name = "two\nlines"; }, SiteFieldError::kControlCharacter},
  };
  for (const auto& c : cases) {
    SiteRecord r;
    r.name = "Fresh";
    r.address = "h";
    r.base_port = 65532;
    c.change(&r);
    EXPECT_EQ(CheckNewSite(dir, r), c.error) << SiteFieldErrorText(c.error);
  }
  EXPECT_EQ(CheckNewGroup(dir, "A"), SiteFieldError::kDuplicateGroup);
}

class PredefinedListsTest : public SiteFilesTest {};

TEST_F(PredefinedListsTest, ReadingStopsAtTheFirstFreeSlot) {
  const auto lists = ParsePredefinedLists(
      "[PREDVRLIST]\nTOTAL_LIST=02\n[GROUP]\nLIST_NAME01=Front\nLIST_NAME02=Back\n"
      "[SITE_INFO01]\nREG01=0\nDVR_NAME02=Gate\nREG02=1\n"
      "[SITE_INFO02]\nDVR_NAME01=Yard\nSEL_CH01=16\nREG01=1\nDVR_NAME02=Yard\nSEL_CH02=4\nREG02=01\n"
      "REG03=\nDVR_NAME04=Late\nREG04=1\n");
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(lists[0].name, "Front");
  EXPECT_TRUE(TreeSlotNumbers(lists[0]).empty());
  // Slot 1 names channel 17: not shown, but reading goes on; slot 3 ends it.
  EXPECT_EQ(TreeSlotNumbers(lists[1]), std::vector<int>{2});
  EXPECT_EQ(SlotTreeText(2, lists[1].slots[1]), "[2]:Yard(Ch:5)");
  EXPECT_EQ(lists[1].slots[3].reg, 0);

  EXPECT_EQ(ParsePredefinedLists("[PREDVRLIST]\nTOTAL_LIST=500\n").size(), 99u);
}

TEST_F(PredefinedListsTest, SavingRewritesTheListsAndDropsRemovedOnes) {
  const std::string path = dir_ + "/predvr_list3.ini";
  Put(path,
      "[KEEP]\nA=1\n[PREDVRLIST]\nTOTAL_LIST=03\n[GROUP]\nLIST_NAME01=x\nLIST_NAME03=z\n"
      "[SITE_INFO01]\nREG01=1\nREG02=1\nDVR_NAME02=Old\n[SITE_INFO03]\nREG01=1\n");
  std::vector<PredefinedList> lists;
  ASSERT_TRUE(LoadPredefinedLists(path, &lists));
  ASSERT_EQ(lists.size(), 3u);
  lists.resize(1);
  lists[0].slots[1] = PredefinedSlot{};  // slot 2 freed
  ASSERT_TRUE(SavePredefinedLists(path, lists));

  EXPECT_EQ(platform::GetProfileSectionNames(path),
            (std::vector<std::string>{"KEEP", "PREDVRLIST", "GROUP", "SITE_INFO01"}));
  EXPECT_EQ(platform::GetProfileString(path, "PREDVRLIST", "TOTAL_LIST", ""), "01");
  EXPECT_EQ(platform::GetProfileString(path, "SITE_INFO01", "DVR_NAME02", "<none>"), "<none>");
  EXPECT_EQ(platform::GetProfileString(path, "GROUP", "LIST_NAME03", "<none>"), "<none>");
  ASSERT_TRUE(LoadPredefinedLists(path, &lists));
  EXPECT_EQ(lists.size(), 1u);

  // More than 99 lists are refused whole.
  lists.resize(100);
  EXPECT_FALSE(SavePredefinedLists(path, lists));
  EXPECT_EQ(platform::GetProfileString(path, "PREDVRLIST", "TOTAL_LIST", ""), "01");
}

TEST(PredefinedListEditor, SaveRulesAndDrops) {
  PredefinedList list;
  EXPECT_EQ(CheckPredefinedListSave(list), 30);
  list.name = "Lobby";
  EXPECT_EQ(CheckPredefinedListSave(list), 31);

  SiteRecord site;
  site.name = "Gate";
  site.channel_count = 16;
  EXPECT_FALSE(DropSiteOnSlots(&list, 50, site));  // 50..65 runs past slot 64
  EXPECT_EQ(list.AssignedCount(), 0);
  ASSERT_TRUE(DropSiteOnSlots(&list, 49, site));
  EXPECT_EQ(list.AssignedCount(), 16);
  EXPECT_EQ(list.slots[63].channel, 15);
  EXPECT_EQ(CheckPredefinedListSave(list), 0);

  std::vector<PredefinedList> lists(98);
  EXPECT_TRUE(PutEditedList(&lists, -1, list));
  EXPECT_FALSE(PutEditedList(&lists, -1, list));
  EXPECT_EQ(lists.size(), 99u);
}

}  // namespace
