// The local configuration sheet and its page rules over a temporary user
// folder.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <stdlib.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/config_pages.h"
#include "app/ui/config_prompts.h"
#include "app/ui/config_sheet.h"
#include "platform/profile.h"
#include "platform/user_folder.h"
#include "sites/local_settings.h"

namespace {

class ConfigSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "config_sheet_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ASSERT_TRUE(platform::SetUserFolder(dir_));
    CLocalPrompts::SetShowHook([this](QWidget*, int message) { shown_.push_back(message); });
  }
  void TearDown() override {
    CLocalPrompts::SetShowHook({});
    std::filesystem::remove_all(dir_);
  }

  std::string Get(const char* section, const char* key) {
    return platform::GetProfileString(ConfigFilePath(), section, key, "<none>");
  }
  void Put(const char* section, const char* key, int value) {
    platform::WriteProfileInt(ConfigFilePath(), section, key, value);
  }
  template <class T>
  static T* Child(QWidget* w, const char* name) {
    T* child = w->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  std::string dir_;
  std::vector<int> shown_;
};

TEST_F(ConfigSheetTest, TimeoutChoiceKeepsStoredValueUntilSaved) {
  Put("TIMEOUT", "DATA", 30);
  Put("TIMEOUT", "CONNECTION", 60);
  app::CNetworkState state;
  state.Load();
  EXPECT_EQ(state.DataIndex(), 0);
  EXPECT_EQ(state.ConnectionIndex(), 1);
  EXPECT_EQ(DataTimeoutS(kDataTimeoutShortS), 30);
  ASSERT_TRUE(state.Save());
  EXPECT_EQ(Get("TIMEOUT", "DATA"), "10");
  EXPECT_EQ(Get("TIMEOUT", "CONNECTION"), "60");
}

TEST_F(ConfigSheetTest, PagesWriteTheirKeys) {
  Put("TIMEOUT", "DATA", 30);
  Put("VIDEO", "ROTATING_TIME", 99);
  Put("OSD", "TIME_FORMAT", 5);
  CConfigSheet sheet;
  std::vector<bool> covert;
  QObject::connect(&sheet, &CConfigSheet::covertShowChanged, [&covert](bool show) { covert.push_back(show); });

  // "Event Popup": every check box writes its own key at once.
  for (const app::ConfigCheck& c : app::CEventPopupState::Checks()) {
    auto* box = Child<QCheckBox>(&sheet, QByteArray(c.flag.key).toLower().constData());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->isChecked(), c.flag.def) << c.flag.key;
    box->click();
    EXPECT_EQ(Get(c.flag.section, c.flag.key), c.flag.def ? "0" : "1") << c.flag.key;
  }

  // "Network": hidden controls stay hidden; "Covert OFF" writes at once.
  EXPECT_TRUE(Child<QCheckBox>(&sheet, "chMask")->isHidden());
  EXPECT_TRUE(Child<QCheckBox>(&sheet, "liveOff")->isHidden());
  EXPECT_TRUE(Child<QComboBox>(&sheet, "connectionTimeout")->isHidden());
  EXPECT_EQ(Child<QComboBox>(&sheet, "dataTimeout")->currentText(), "10");
  Child<QCheckBox>(&sheet, "covertOff")->click();
  EXPECT_EQ(Get("HIDDEN", "SHOW"), "1");
  EXPECT_EQ(covert, std::vector<bool>{true});

  // "OSD": nothing is written before "Set", then all seven keys.
  EXPECT_EQ(Child<QComboBox>(&sheet, "timeFormat")->currentIndex(), 2);
  Child<QCheckBox>(&sheet, "camera_num")->click();
  Child<QCheckBox>(&sheet, "speed")->click();
  Child<QComboBox>(&sheet, "timeFormat")->setCurrentIndex(1);
  EXPECT_EQ(Get("OSD", "CAMERA_NUM"), "<none>");
  Child<QPushButton>(&sheet, "setButton")->click();
  const OsdSettings osd = ReadOsdSettings();
  EXPECT_EQ(OsdFlagsFromSettings(osd), 0x2 | 0xF0 | 0x200 | 0x1000);
  EXPECT_EQ(Get("OSD", "SITE_ADDR"), "0");

  // "Video Display" and the time-outs are written by OK.
  EXPECT_EQ(Child<QComboBox>(&sheet, "rotatingTime")->currentText(), "60");
  Child<QComboBox>(&sheet, "rotatingTime")->setCurrentIndex(0);
  EXPECT_EQ(Get("TIMEOUT", "DATA"), "30");
  EXPECT_EQ(Get("VIDEO", "ROTATING_TIME"), "99");
  Child<QPushButton>(&sheet, "okButton")->click();
  EXPECT_EQ(sheet.result(), QDialog::Accepted);
  EXPECT_EQ(Get("TIMEOUT", "DATA"), "10");
  EXPECT_EQ(Get("TIMEOUT", "CONNECTION"), "60");  // missing, so its default
  EXPECT_EQ(RotationPeriodMs(), 1000);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ConfigSheetTest, CancelLeavesTheSavedKeys) {
  Put("TIMEOUT", "DATA", 30);
  CConfigSheet sheet;
  Child<QComboBox>(&sheet, "rotatingTime")->setCurrentIndex(9);
  Child<QPushButton>(&sheet, "cancelButton")->click();
  EXPECT_EQ(Get("TIMEOUT", "DATA"), "30");
  EXPECT_EQ(Get("VIDEO", "ROTATING_TIME"), "<none>");
}

}  // namespace
