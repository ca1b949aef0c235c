#include "app/accounts_model.h"

#include "app/text_ids.h"

namespace app {

// The account engine names the texts by number; they must be the ones the
// language file holds for these refusals.
static_assert(kAccountMsgEmptyId == text::kMsgEmptyUserId);
static_assert(kAccountMsgIdHasSpace == text::kMsgUserIdHasSpace);
static_assert(kAccountMsgIdExists == text::kMsgUserIdExists);
static_assert(kAccountMsgPasswordMismatch == text::kMsgPasswordMismatch);
static_assert(kAccountMsgWrongPassword == text::kMsgWrongPassword);
static_assert(kAccountMsgCannotDeleteAdmin == text::kMsgCannotDeleteAdmin);
static_assert(kAccountMsgChangeMismatch == text::kMsgChangePasswordMismatch);
static_assert(kAccountMsgTooMany == text::kMsgTooManyAccounts);

bool AcceptableAccountText(std::string_view utf8) {
  if (utf8.size() > kMaxAccountText) return false;
  for (char c : utf8) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) return false;
  }
  return true;
}

void CLoginModel::Load() {
  accounts_.EnsureDefault();
  accounts_.Load();
  admin_ = false;
}

std::vector<std::string> CLoginModel::Ids() const {
  std::vector<std::string> ids;
  for (const LocalAccount& a : accounts_.Accounts()) ids.push_back(a.id);
  return ids;
}

int CLoginModel::Submit(int index, std::string_view password) {
  const CLocalAccounts::LoginResult r = accounts_.CheckLogin(index, password);
  admin_ = r.admin;
  return r.ok ? 0 : text::kMsgWrongPassword;
}

void CAccountsModel::Load() { accounts_.Load(); }

std::string CAccountsModel::Id(int row) const {
  if (row < 0 || row >= RowCount()) return {};
  return accounts_.Accounts()[static_cast<size_t>(row)].id;
}

std::string CAccountsModel::MaskedPassword(int row) const {
  if (row < 0 || row >= RowCount()) return {};
  size_t characters = 0;
  for (char c : accounts_.Accounts()[static_cast<size_t>(row)].password) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;  // UTF-8 lead bytes only
  }
  return std::string(characters, '*');
}

int CAccountsModel::SubmitAdd(std::string_view id, std::string_view password, std::string_view confirm) {
  return accounts_.Add(id, password, confirm);
}

CAccountsModel::DeletePress CAccountsModel::PressDelete(int row) const {
  if (row < 0 || row >= RowCount()) return {};
  // Account 00 is refused before asking: the question would be pointless.
  if (row == 0) return {DeleteStep::kRefuse, text::kMsgCannotDeleteAdmin};
  return {DeleteStep::kAsk, text::kMsgDeleteAccountQuestion};
}

int CAccountsModel::ConfirmDelete(int row) { return accounts_.Delete(row); }

int CAccountsModel::SubmitChange(int row, std::string_view password, std::string_view confirm) {
  return accounts_.ChangePassword(row, password, confirm);
}

int CAccountsModel::ResetDefault() { return accounts_.ResetDefault(); }

}  // namespace app
