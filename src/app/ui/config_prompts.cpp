#include "app/ui/config_prompts.h"

#include <QDialog>
#include <QMessageBox>

#include <utility>

#include "app/text_ids.h"
#include "app/texts.h"
#include "sites/local_accounts.h"

static_assert(kFixedLoginWriteFailed == kAccountWriteFailed);
static_assert(kFixedBadAccountText == kAccountBadInput);

namespace {

CLocalPrompts::ShowHook& ShowHookRef() {
  static CLocalPrompts::ShowHook hook;
  return hook;
}
CLocalPrompts::AskHook& AskHookRef() {
  static CLocalPrompts::AskHook hook;
  return hook;
}
CLocalPrompts::RunHook& RunHookRef() {
  static CLocalPrompts::RunHook hook;
  return hook;
}

// English stand-ins for a language file without these messages.
const char* MessageFallback(int number) {
  namespace t = app::text;
  switch (number) {
    case kFixedLoginWriteFailed: return "The local accounts file could not be written.";
    case kFixedBadAccountText: return "This ID or password cannot be stored.";
    case kFixedConfigWriteFailed: return "The settings file could not be written.";
    case t::kMsgDefaultAccountsQuestion:
      return "All local accounts will be removed and the default administrator account restored. Continue?";
    case t::kMsgEmptyUserId: return "Enter a user ID.";
    case t::kMsgUserIdHasSpace: return "The user ID may not contain spaces.";
    case t::kMsgUserIdExists: return "This user ID already exists.";
    case t::kMsgPasswordMismatch: return "The passwords do not match.";
    case t::kMsgDefaultAccountsCaption: return "Default accounts";
    case t::kMsgWrongPassword: return "The password is not correct.";
    case t::kMsgDeleteAccountQuestion: return "Delete the selected account?";
    case t::kMsgCannotDeleteAdmin: return "The administrator account cannot be deleted.";
    case t::kMsgChangePasswordMismatch: return "The new password and its confirmation differ.";
    case t::kMsgTooManyAccounts: return "No more accounts can be added.";
    default: return "";
  }
}

QString Caption(int caption) {
  if (caption != 0) return MessageText(caption);
  return StringOr(app::text::kStrAppTitle, "Tavrel");
}

}  // namespace

QString StringOr(int number, const char* fallback) {
  const std::string text = app::LoadText(app::kStrings, number);
  return text.empty() ? QString::fromUtf8(fallback) : QString::fromStdString(text);
}

QString MessageText(int number) {
  const std::string text = number > 0 ? app::LoadText(app::kMessage, number) : std::string();
  return text.empty() ? QString::fromUtf8(MessageFallback(number)) : QString::fromStdString(text);
}

void CLocalPrompts::Show(QWidget* parent, int message) {
  if (ShowHookRef()) {
    ShowHookRef()(parent, message);
    return;
  }
  QMessageBox::information(parent, Caption(0), MessageText(message));
}

bool CLocalPrompts::Ask(QWidget* parent, int message, int caption, bool yes_no) {
  if (AskHookRef()) return AskHookRef()(parent, message, caption, yes_no);
  if (yes_no) {
    return QMessageBox::question(parent, Caption(caption), MessageText(message),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  }
  return QMessageBox::question(parent, Caption(caption), MessageText(message),
                               QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
}

int CLocalPrompts::Run(QDialog* dialog) {
  if (RunHookRef()) return RunHookRef()(dialog);
  return dialog->exec();
}

void CLocalPrompts::SetShowHook(ShowHook hook) { ShowHookRef() = std::move(hook); }
void CLocalPrompts::SetAskHook(AskHook hook) { AskHookRef() = std::move(hook); }
void CLocalPrompts::SetRunHook(RunHook hook) { RunHookRef() = std::move(hook); }
