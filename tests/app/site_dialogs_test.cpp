// The group and site dialogs: their rules directly, then the site dialog
// driven through its widgets offscreen, with message boxes recorded by the
// prompt hook.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/texts.h"
#include "sites/site_dialog_model.h"
#include "sites/ui/site_dialogs.h"

namespace {

SiteRecord Site(const char* name, int port = 7620, int channels = 16) {
  SiteRecord s;
  s.name = name;
  s.address = "10.0.0.1";
  s.base_port = port;
  s.channel_count = channels;
  return s;
}

SiteDirectoryData Directory() {
  SiteDirectoryData dir;
  dir.groups.push_back({"North", {Site("Gate"), Site("Yard", 7655, 9)}});
  dir.groups.push_back({"South", {Site("Dock", 7700)}});
  dir.groups[0].sites[1].platform_code = 161;
  return dir;
}

// Types text into a widget as key presses, the way an operator would.
void Type(QWidget* w, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
  }
}

class SiteDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_folder_ = app::ProgramFolder();
    saved_language_ = app::LanguageIndex();
    app::SetProgramFolder(TAVREL_BIN_DIR);
    app::SetLanguageIndex(0);
    CSitePrompts::SetHook([this](QWidget*, int message, const QString& text, bool) {
      shown_.push_back({message, text.toStdString()});
      return false;
    });
  }
  void TearDown() override {
    CSitePrompts::SetHook({});
    app::SetProgramFolder(saved_folder_);
    app::SetLanguageIndex(saved_language_);
  }

  struct Shown {
    int message;
    std::string text;
  };
  std::vector<Shown> shown_;
  std::string saved_folder_;
  int saved_language_ = 0;
};

TEST_F(SiteDialogsTest, ChoicesAndWhatOkWrites) {
  const SiteDirectoryData dir = Directory();

  const CSiteDialogModel add(dir, nullptr);
  ASSERT_EQ(add.PortLabels().size(), 16u);
  EXPECT_EQ(add.PortLabels().front(), "7620 ~ 7624");
  EXPECT_EQ(add.PortLabels().back(), "7770 ~ 7774");
  EXPECT_EQ(add.ChannelLabels()[static_cast<size_t>(add.ChannelIndex())], "16CH");
  const SiteRecord fresh = add.Result();
  EXPECT_EQ(fresh.model, "QRT-2719B");
  EXPECT_EQ(fresh.user_id, "netuser");
  EXPECT_EQ(fresh.base_port, 7620);
  EXPECT_EQ(fresh.channel_count, 16);
  EXPECT_EQ(fresh.platform_code, 163);


  // A stored port on no range base is offered last and kept unless another
  // range is picked; 9 channels show "9CH" and cannot be changed.
  const SiteRecord yard = dir.groups[0].sites[1];
  CSiteDialogModel modify(dir, &yard);
  ASSERT_EQ(modify.PortLabels().size(), 17u);
  EXPECT_EQ(modify.PortLabels().back(), "7655 ~ 7659");
  EXPECT_EQ(modify.PortIndex(), 16);
  EXPECT_EQ(modify.ChannelLabels()[static_cast<size_t>(modify.ChannelIndex())], "9CH");
  EXPECT_FALSE(modify.ChannelEditable());
  modify.SetChannelIndex(0);
  modify.SetAddress("cam.example");
  SiteRecord r = modify.Result();
  EXPECT_EQ(r.base_port, 7655);
  EXPECT_EQ(r.channel_count, 9);
  EXPECT_EQ(r.platform_code, 161);
  EXPECT_EQ(r.address, "cam.example");
  modify.SetPortIndex(1);
  EXPECT_EQ(modify.Result().base_port, 7630);

  // A count the four choices lack is shown as it is, not as "16CH".
  const SiteRecord twelve = Site("Twelve", 7620, 12);
  const CSiteDialogModel odd(dir, &twelve);
  EXPECT_EQ(odd.ChannelLabels()[static_cast<size_t>(odd.ChannelIndex())], "12CH");
  EXPECT_EQ(odd.Result().channel_count, 12);

  // Texts are cut to 31 bytes, never inside a character.
  CSiteDialogModel cut(dir, nullptr);
  cut.SetName(std::string(40, 'n'));
  EXPECT_EQ(cut.Name(), std::string(31, 'n'));
  cut.SetPassword(std::string(30, 'p') + "\xC3\xA9");
  EXPECT_EQ(cut.Password(), std::string(30, 'p'));
}

TEST_F(SiteDialogsTest, ChecksOnOk) {
  const SiteDirectoryData dir = Directory();

  CSiteDialogModel add(dir, nullptr);
  add.SetName("Dock");  // a site of another group
  add.SetAddress("10.0.0.9");
  SiteDialogRefusal refused = add.Submit();
  EXPECT_EQ(refused.error, SiteFieldError::kDuplicateName);
  EXPECT_EQ(refused.message, 33);
  EXPECT_EQ(SiteDialogRefusalText(refused, "Taken:"), "Taken: Dock");
  add.SetName("Pier");
  EXPECT_FALSE(add.Submit().Refused());
  add.SetAddress("");
  EXPECT_EQ(SiteDialogRefusalText(add.Submit(), ""), "The address is empty");

  // Modify: the site itself is passed over, every other site is not.
  const SiteRecord gate = dir.groups[0].sites[0];
  CSiteDialogModel modify(dir, &gate);
  EXPECT_FALSE(modify.Submit().Refused());
  modify.SetName("Dock");
  EXPECT_EQ(modify.Submit().error, SiteFieldError::kDuplicateName);

  EXPECT_EQ(CGroupDialogModel(dir).Submit("South").error, SiteFieldError::kDuplicateGroup);
  EXPECT_FALSE(CGroupDialogModel(dir, 0).Submit("North").Refused());
  EXPECT_EQ(CGroupDialogModel(dir, 0).Submit("South").error, SiteFieldError::kDuplicateGroup);
  SiteDirectoryData full = dir;
  for (int g = 2; g < kMaxSiteGroups; ++g) full.groups.push_back({"G" + std::to_string(g), {}});
  EXPECT_EQ(CGroupDialogModel(full).Submit("East").error, SiteFieldError::kTooManyGroups);
  EXPECT_FALSE(CGroupDialogModel(full, 1).Submit("East").Refused());  // a rename adds no group
}

TEST_F(SiteDialogsTest, SiteDialogThroughItsWidgets) {
  const SiteDirectoryData dir = Directory();
  CSiteDialog dialog(dir);
  dialog.show();
  auto* name = dialog.findChild<QLineEdit*>("siteName");
  auto* address = dialog.findChild<QLineEdit*>("siteAddress");
  auto* password = dialog.findChild<QLineEdit*>("sitePassword");
  auto* port = dialog.findChild<QComboBox*>("sitePort");
  auto* channels = dialog.findChild<QComboBox*>("siteChannels");
  auto* ok = dialog.findChild<QPushButton*>("okButton");
  ASSERT_TRUE(name && address && password && port && channels && ok);
  EXPECT_EQ(dialog.windowTitle().toStdString(), app::LoadText(app::kStrings, 48));
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(channels->isEnabled());

  // The duplicate's message is MESSAGE 33, a blank and the name; the dialog stays open.
  Type(name, "Dock");
  Type(address, "192.168.1.20");
  ok->click();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].message, 33);
  EXPECT_EQ(shown_[0].text, app::LoadText(app::kMessage, 33) + " Dock");
  EXPECT_TRUE(dialog.isVisible());

  // Typing stops at 31 bytes: "é" takes two and is cut, "y" fills the last one.
  name->clear();
  Type(name, QString(30, 'x') + QString::fromUtf8("\xC3\xA9") + "yz");
  EXPECT_EQ(name->text().toStdString(), std::string(30, 'x') + "y");
  port->setCurrentIndex(3);
  channels->setCurrentIndex(2);
  ok->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
  const SiteRecord r = dialog.Record();
  EXPECT_EQ(r.name, std::string(30, 'x') + "y");
  EXPECT_EQ(r.address, "192.168.1.20");
  EXPECT_EQ(r.base_port, 7650);
  EXPECT_EQ(r.channel_count, 9);

  // Modify: the stored count is shown read-only.
  const SiteRecord yard = dir.groups[0].sites[1];
  CSiteDialog modify(dir, &yard);
  auto* modify_channels = modify.findChild<QComboBox*>("siteChannels");
  EXPECT_FALSE(modify_channels->isEnabled());
  EXPECT_EQ(modify_channels->currentText().toStdString(), "9CH");
  modify.findChild<QPushButton*>("okButton")->click();
  EXPECT_EQ(modify.result(), QDialog::Accepted);
  EXPECT_EQ(modify.Record().base_port, 7655);
}

TEST_F(SiteDialogsTest, GroupDialogRefusesAnotherGroupsName) {
  const SiteDirectoryData dir = Directory();
  CGroupDialog dialog(dir, 0);
  dialog.show();
  auto* name = dialog.findChild<QLineEdit*>("groupName");
  EXPECT_EQ(name->text().toStdString(), "North");
  name->setText("South");
  dialog.findChild<QPushButton*>("okButton")->click();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, "A group with this name already exists");
  EXPECT_TRUE(dialog.isVisible());
  name->setText("West");
  dialog.findChild<QPushButton*>("okButton")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Name(), "West");
}

}  // namespace
