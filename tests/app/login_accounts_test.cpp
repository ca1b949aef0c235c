// The local login and accounts dialogs offscreen, over a temporary user
// folder; message boxes, questions and sub-dialogs go through test hooks.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <stdlib.h>

#include <deque>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/accounts_model.h"
#include "app/text_ids.h"
#include "app/ui/accounts_dialog.h"
#include "app/ui/config_prompts.h"
#include "app/ui/login_dialog.h"
#include "platform/profile.h"
#include "platform/user_folder.h"
#include "sites/local_settings.h"

namespace {

namespace t = app::text;

class LocalAccountsUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "login_ui_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ASSERT_TRUE(platform::SetUserFolder(dir_));
    CLocalPrompts::SetShowHook([this](QWidget*, int message) { shown_.push_back(message); });
    CLocalPrompts::SetAskHook([this](QWidget*, int message, int caption, bool yes_no) {
      asked_.push_back({message, caption, yes_no});
      EXPECT_FALSE(answers_.empty()) << "unexpected question " << message;
      if (answers_.empty()) return false;
      const bool yes = answers_.front();
      answers_.pop_front();
      return yes;
    });
    CLocalPrompts::SetRunHook([this](QDialog* d) { return fill_ ? fill_(d) : int(QDialog::Rejected); });
  }
  void TearDown() override {
    CLocalPrompts::SetShowHook({});
    CLocalPrompts::SetAskHook({});
    CLocalPrompts::SetRunHook({});
    std::filesystem::remove_all(dir_);
  }

  std::string Login(const char* key) {
    return platform::GetProfileString(platform::UserFile(kLoginFileName), "LOGIN", key, "<none>");
  }
  // Types into the named fields of a sub-dialog and presses its OK.
  static void Submit(QDialog* d, std::initializer_list<std::pair<const char*, const char*>> fields) {
    for (const auto& [name, text] : fields) d->findChild<QLineEdit*>(name)->setText(QString::fromUtf8(text));
    d->findChild<QPushButton*>("okButton")->click();
  }

  struct Question {
    int message, caption;
    bool yes_no;
  };
  std::string dir_;
  std::vector<int> shown_;
  std::vector<Question> asked_;
  std::deque<bool> answers_;
  std::function<int(QDialog*)> fill_;
};

TEST_F(LocalAccountsUiTest, ModelRules) {
  EXPECT_TRUE(app::AcceptableAccountText(std::string(31, 'a')));
  EXPECT_FALSE(app::AcceptableAccountText(std::string(32, 'a')));
  EXPECT_FALSE(app::AcceptableAccountText("a\tb"));
  EXPECT_TRUE(app::AcceptableAccountText("caf\xC3\xA9"));

  CLocalAccounts seed;
  seed.EnsureDefault();
  seed.Load();
  ASSERT_EQ(seed.Add("op", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"), 0);
  app::CAccountsModel model;
  model.Load();
  EXPECT_EQ(model.MaskedPassword(1), "***");
  EXPECT_EQ(model.PressDelete(-1).step, app::CAccountsModel::DeleteStep::kNothing);
  const auto admin = model.PressDelete(0);
  EXPECT_EQ(admin.step, app::CAccountsModel::DeleteStep::kRefuse);
  EXPECT_EQ(admin.message, t::kMsgCannotDeleteAdmin);
  const auto other = model.PressDelete(1);
  EXPECT_EQ(other.step, app::CAccountsModel::DeleteStep::kAsk);
  EXPECT_EQ(other.message, t::kMsgDeleteAccountQuestion);
}

TEST_F(LocalAccountsUiTest, LoginDialog) {
  {
    CLoginDialog dialog;  // writes the default account into the empty folder
    auto* ids = dialog.findChild<QComboBox*>("loginId");
    auto* password = dialog.findChild<QLineEdit*>("loginPassword");
    ASSERT_EQ(ids->count(), 1);
    EXPECT_EQ(ids->itemText(0), "admin");
    dialog.show();

    // Escape does not leave; a wrong password shows a message and stays.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(password, &escape);
    EXPECT_TRUE(dialog.isVisible());
    password->setText("tovex ");
    dialog.findChild<QPushButton*>("loginButton")->click();
    EXPECT_EQ(shown_, std::vector<int>{t::kMsgWrongPassword});
    EXPECT_TRUE(dialog.isVisible());

    // Enter in the password field logs in.
    password->setText("tovex");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(password, &enter);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.IsAdministrator());
  }
  CLocalAccounts accounts;
  accounts.Load();
  ASSERT_EQ(accounts.Add("op", "pw", "pw"), 0);
  {
    CLoginDialog dialog;
    dialog.findChild<QComboBox*>("loginId")->setCurrentIndex(1);
    dialog.findChild<QLineEdit*>("loginPassword")->setText("pw");
    dialog.findChild<QPushButton*>("loginButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.IsAdministrator());
  }
  {
    CLoginDialog dialog;
    dialog.show();
    dialog.findChild<QPushButton*>("cancelButton")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
}

TEST_F(LocalAccountsUiTest, AccountsDialogFlows) {
  CLocalAccounts seed;
  seed.EnsureDefault();
  CAccountsDialog dialog;
  auto* list = dialog.findChild<QTreeWidget*>("accountList");
  auto press = [&dialog](const char* name) { dialog.findChild<QPushButton*>(name)->click(); };
  EXPECT_EQ(dialog.property("dialogId").toInt(), 413);

  // "ADD": each refusal keeps "User Add" open, then the account is written.
  fill_ = [this](QDialog* d) {
    Submit(d, {{"userId", ""}});
    Submit(d, {{"userId", "a b"}});
    Submit(d, {{"userId", "admin"}});
    Submit(d, {{"userId", "op"}, {"password", "x"}, {"confirm", "y"}});
    EXPECT_EQ(d->result(), QDialog::Rejected);
    Submit(d, {{"password", "pw"}, {"confirm", "pw"}});
    return d->result();
  };
  press("addButton");
  EXPECT_EQ(shown_, (std::vector<int>{t::kMsgEmptyUserId, t::kMsgUserIdHasSpace, t::kMsgUserIdExists,
                                      t::kMsgPasswordMismatch}));
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(1)->text(0), "op");
  EXPECT_EQ(list->topLevelItem(1)->text(1), "**");
  EXPECT_EQ(Login("TOTAL"), "02");
  shown_.clear();

  // "CHG" on account 00: a mismatch is refused, then the password changes.
  list->setCurrentItem(list->topLevelItem(0));
  fill_ = [](QDialog* d) {
    EXPECT_EQ(d->findChild<QLineEdit*>("userId")->text(), "admin");
    Submit(d, {{"newPassword", "n1"}, {"confirm", "n2"}});
    Submit(d, {{"confirm", "n1"}});
    return d->result();
  };
  press("chgButton");
  EXPECT_EQ(shown_, std::vector<int>{t::kMsgChangePasswordMismatch});
  EXPECT_EQ(Login("PW00"), ScramblePassword("n1"));
  shown_.clear();

  // "DEL": account 00 is refused without a question; another one is
  // removed only after "yes".
  press("delButton");
  EXPECT_EQ(shown_, std::vector<int>{t::kMsgCannotDeleteAdmin});
  EXPECT_TRUE(asked_.empty());
  list->setCurrentItem(list->topLevelItem(1));
  answers_ = {false, true};
  press("delButton");
  EXPECT_EQ(list->topLevelItemCount(), 2);
  list->setCurrentItem(list->topLevelItem(1));
  press("delButton");
  EXPECT_EQ(list->topLevelItemCount(), 1);
  ASSERT_EQ(asked_.size(), 2u);
  EXPECT_EQ(asked_[1].message, t::kMsgDeleteAccountQuestion);
  EXPECT_TRUE(asked_[1].yes_no);
  EXPECT_EQ(Login("TOTAL"), "01");

  // "Default": OK/Cancel with its own caption; OK restores the default.
  answers_ = {true};
  press("defaultButton");
  EXPECT_EQ(asked_.back().message, t::kMsgDefaultAccountsQuestion);
  EXPECT_EQ(asked_.back().caption, t::kMsgDefaultAccountsCaption);
  EXPECT_FALSE(asked_.back().yes_no);
  EXPECT_EQ(Login("PW00"), ScramblePassword(kDefaultAccountPassword));

  // A full table refuses "ADD" before "User Add" opens.
  for (int i = 1; i < kMaxLocalAccounts; ++i) seed.Add("u" + std::to_string(i), "p", "p");
  CAccountsDialog full;
  shown_.clear();
  fill_ = [](QDialog*) -> int {
    ADD_FAILURE() << "User Add opened";
    return QDialog::Rejected;
  };
  full.findChild<QPushButton*>("addButton")->click();
  EXPECT_EQ(shown_, std::vector<int>{t::kMsgTooManyAccounts});
}

}  // namespace
