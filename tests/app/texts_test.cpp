// Language choice, text lookup and the shipped language files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/text_ids.h"
#include "app/texts.h"
#include "platform/profile.h"

namespace {

namespace fs = std::filesystem;

const std::string kSourceFolder = TAVREL_SOURCE_DIR;

// Every text number the program looks up.
constexpr int kStringNumbers[] = {
    1,   2,   3,   5,   6,   7,   8,   11,  12,  14,  35,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,
    48,  60,  63,  64,  65,  66,  74,  75,  76,  90,  127, 128, 140, 170, 171, 172, 173, 174, 175, 176, 177,
    193, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205, 206, 207, 215, 216, 217, 218, 219, 220,
    221, 222, 223, 224, 225, 226, 227, 228, 229, 230, 231, 232, 233, 234, 235, 236, 237, 238, 239, 240, 241,
    242, 247, 300, 301, 302, 303, 304, 305, 306, 307, 310, 311, 312, 313, 314, 315, 316, 317, 318, 319, 320,
    321, 322, 323, 324, 325, 326, 327, 328, 329, 330, 331, 332, 333, 334, 340, 341, 342, 343, 344, 345, 346,
    347, 348, 349, 350, 351, 352, 353, 354, 355, 356, 357, 370, 371, 372, 373, 374, 375, 376, 377, 378, 379, 380, 381,
    420, 421, 422,
};
constexpr int kMessageNumbers[] = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  11, 13, 16, 19, 23, 24, 25, 30, 31, 33, 36, 41, 42, 43, 44, 45, 46, 47,
    48, 50, 51, 52, 53, 54, 55, 56, 57, 58, 62, 63, 65, 68, 69, 77, 78, 79, 80, 81, 82, 83, 84, 85, 86, 87, 91,
    92, 93, 94, 96, 100, 101, 102, 104, 105, 106, 111, 300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 310,
    311, 312, 313, 314, 315, 420,
};

class TextsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_folder_ = app::ProgramFolder();
    saved_index_ = app::LanguageIndex();
    app::SetProgramFolder(kSourceFolder);
    app::SetLanguageIndex(0);
  }
  void TearDown() override {
    app::SetProgramFolder(saved_folder_);
    app::SetLanguageIndex(saved_index_);
    if (!empty_folder_.empty()) fs::remove_all(empty_folder_);
  }
  std::string EmptyFolder() {
    empty_folder_ = fs::path(::testing::TempDir()) / ("tavrel_texts_" + std::to_string(::getpid()));
    fs::create_directories(empty_folder_);
    return empty_folder_;
  }

 private:
  std::string saved_folder_;
  int saved_index_ = 0;
  std::string empty_folder_;
};

TEST_F(TextsTest, LooksUpTheChosenFileAndFallsBackToEnglish) {
  EXPECT_EQ(app::LoadText(app::kStrings, app::text::kStrAppTitle), "Tavrel");
  // A quoted value keeps its trailing blank: the camera label runs into its number.
  EXPECT_EQ(app::LoadText(app::kStrings, 219), "Camera ");
  const std::string english_instance = app::LoadText(app::kMessage, app::text::kMsgSecondInstance);
  EXPECT_FALSE(english_instance.empty());

  app::SetLanguageIndex(1);
  EXPECT_EQ(app::LoadText(app::kMessage, app::text::kMsgSecondInstance), "프로그램이 이미 실행 중입니다.");
  EXPECT_EQ(app::LoadText(app::kStrings, 219), "카메라 ");
  EXPECT_EQ(app::LoadText(app::kStrings, app::text::kStrAppTitle), "Tavrel");

  // No French file ships: a French system reads English.
  app::SetLanguageIndex(app::LanguageIndexForLangId(app::LangIdFromLocale("fr_FR.UTF-8")));
  EXPECT_EQ(app::LanguageIndex(), 4);
  EXPECT_EQ(app::LoadText(app::kMessage, app::text::kMsgSecondInstance), english_instance);

  EXPECT_EQ(app::LoadText(app::kStrings, 9999), "");
  EXPECT_EQ(app::LoadText("NOSUCH", app::text::kStrAppTitle), "");
}

TEST_F(TextsTest, MissingLanguageFilesGiveEmptyTexts) {
  app::SetProgramFolder(EmptyFolder());
  for (int index : {0, 1}) {
    app::SetLanguageIndex(index);
    EXPECT_EQ(app::LoadText(app::kStrings, app::text::kStrAppTitle), "");
    EXPECT_EQ(app::LoadText(app::kMessage, app::text::kMsgSecondInstance), "");
  }
}

TEST_F(TextsTest, SystemLanguageSelectsTheFile) {
  struct Sample {
    const char* locale;
    int lang_id;
    int index;
  } samples[] = {
      {"ko_KR.UTF-8", 1042, 1}, {"fr_FR.UTF-8", 1036, 4}, {"fr_CA", 3084, 0},  {"es_MX.utf8", 2058, 6},
      {"es_BO", 16394, 0},      {"zh_CN.UTF-8", 2052, 0}, {"zh_TW", 1028, 10}, {"zh_HK", 3076, 9},
      {"pt_BR", 1046, 7},       {"pt_PT", 2070, 7},       {"nl_BE", 2067, 14}, {"de_DE", 1031, 0},
      {"C", 1033, 0},           {"", 1033, 0},            {"xx_YY", 1033, 0},
  };
  for (const Sample& s : samples) {
    EXPECT_EQ(app::LangIdFromLocale(s.locale), s.lang_id) << s.locale;
    EXPECT_EQ(app::LanguageIndexForLangId(s.lang_id), s.index) << s.locale;
  }

  const char* old = std::getenv("LC_ALL");
  const std::string saved = old != nullptr ? old : "";
  setenv("LC_ALL", "ko_KR.UTF-8", 1);
  app::ChooseLanguage();
  EXPECT_EQ(app::LanguageIndex(), 1);
  if (old != nullptr) {
    setenv("LC_ALL", saved.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

// Both shipped files hold a text for every number the program uses, the
// same numbers, nothing empty or too long, and no format placeholders: every
// numbered text is either shown as it stands or passed as an argument.
TEST_F(TextsTest, LanguageFilesAreComplete) {
  const std::string eng = kSourceFolder + "/Skin/" + app::LanguageFileName(0);
  const std::string kor = kSourceFolder + "/Skin/" + app::LanguageFileName(1);
  for (const std::string& file : {eng, kor}) {
    SCOPED_TRACE(file);
    const auto sections = platform::GetProfileSectionNames(file);
    ASSERT_EQ(sections, (std::vector<std::string>{"STRINGS", "MESSAGE"}));
    for (const char* section : {"STRINGS", "MESSAGE"}) {
      const auto keys = platform::GetProfileKeys(file, section);
      EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size()) << "duplicate key";
      for (const std::string& key : keys) {
        const std::string value = platform::GetProfileString(file, section, key, "");
        EXPECT_FALSE(value.empty()) << section << " " << key;
        EXPECT_LE(value.size(), 255u) << section << " " << key;
        EXPECT_EQ(value.find('%'), std::string::npos) << section << " " << key;
      }
    }
    for (int n : kStringNumbers) EXPECT_NE(platform::GetProfileString(file, "STRINGS", std::to_string(n), ""), "") << n;
    for (int n : kMessageNumbers) EXPECT_NE(platform::GetProfileString(file, "MESSAGE", std::to_string(n), ""), "") << n;
  }
  for (const char* section : {"STRINGS", "MESSAGE"}) {
    const auto e = platform::GetProfileKeys(eng, section);
    const auto k = platform::GetProfileKeys(kor, section);
    EXPECT_EQ(std::set<std::string>(e.begin(), e.end()), std::set<std::string>(k.begin(), k.end())) << section;
  }
}

}  // namespace
