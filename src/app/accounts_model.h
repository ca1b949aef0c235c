// The rules of the local login dialog and of the local accounts dialog,
// without widgets: what each press checks and writes, and which MESSAGE
// text a refusal shows. Results are 0 when done, else the MESSAGE number to
// show (negative: a fixed text, see sites/local_accounts.h).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "sites/local_accounts.h"

namespace app {

// Text an ID or password field may hold: at most 31 bytes of UTF-8 and no
// control characters, so the file gives it back exactly as typed.
bool AcceptableAccountText(std::string_view utf8);

class CLoginModel {
 public:
  // Writes the default account when it is due, then reads the accounts.
  void Load();
  // Account IDs in file order, for the drop-down.
  std::vector<std::string> Ids() const;
  // "Login" with the account at index chosen: 0 when the password matches,
  // else kMsgWrongPassword.
  int Submit(int index, std::string_view password);
  bool IsAdministrator() const { return admin_; }

 private:
  CLocalAccounts accounts_;
  bool admin_ = false;
};

class CAccountsModel {
 public:
  void Load();
  int RowCount() const { return accounts_.Count(); }
  std::string Id(int row) const;
  // The password column shows one '*' per character, never the password.
  std::string MaskedPassword(int row) const;

  // "ADD": refused with a message while the table is full; 0 opens "User Add".
  int PressAdd() const { return accounts_.CanAdd(); }
  // "User Add" OK: 0 closes the sub-dialog, anything else keeps it open.
  int SubmitAdd(std::string_view id, std::string_view password, std::string_view confirm);

  // "DEL" on the selected row (-1 for none): nothing, a refusal to show, or
  // the question to ask before ConfirmDelete.
  enum class DeleteStep { kNothing, kRefuse, kAsk };
  struct DeletePress {
    DeleteStep step = DeleteStep::kNothing;
    int message = 0;
  };
  DeletePress PressDelete(int row) const;
  int ConfirmDelete(int row);

  // "CHG" opens "Password Change" only with a row selected.
  bool CanChange(int row) const { return row >= 0 && row < RowCount(); }
  int SubmitChange(int row, std::string_view password, std::string_view confirm);

  // "Default" after the operator confirmed it.
  int ResetDefault();

 private:
  CLocalAccounts accounts_;
};

}  // namespace app
