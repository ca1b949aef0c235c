// The local operator accounts that unlock the program at start, kept in
// tavrel_login.ini of the user folder:
//
//   [LOGIN]
//   TOTAL=02          number of accounts
//   ID00=admin        account IDs, index "%02d"
//   PW00=xszi|        passwords, scrambled (ScramblePassword)
//
// Account 00 is the administrator. At most kMaxLocalAccounts accounts are
// read and kept. IDs and passwords are at most kMaxAccountText bytes.
//
// The file is read at every Load and written at once by every change; the
// object only remembers what the last Load saw, so the dialogs can show it.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kMaxLocalAccounts = 10;
inline constexpr size_t kMaxAccountText = 31;
inline constexpr std::string_view kDefaultAccountId = "admin";
inline constexpr std::string_view kDefaultAccountPassword = "tovex";

// Results of the account operations: 0 when done, else the number of the
// language file's MESSAGE text that tells the operator why not.
inline constexpr int kAccountMsgEmptyId = 91;
inline constexpr int kAccountMsgIdHasSpace = 92;
inline constexpr int kAccountMsgIdExists = 93;
inline constexpr int kAccountMsgPasswordMismatch = 94;
inline constexpr int kAccountMsgWrongPassword = 300;
inline constexpr int kAccountMsgCannotDeleteAdmin = 302;
inline constexpr int kAccountMsgChangeMismatch = 303;
inline constexpr int kAccountMsgTooMany = 313;
// Negative results have no language text: the file could not be written
// (or, after a failed Load, must not be), or the input can never be stored
// as typed (too long, or holding a line break or NUL).
inline constexpr int kAccountWriteFailed = -1;
inline constexpr int kAccountBadInput = -2;

// The password scramble of the "PW%02d" values: each byte of the range
// 32..127 is rotated forward by 4 inside that range of 96 codes; every other
// byte is kept. Unscrambling rotates back. The length never changes.
std::string ScramblePassword(std::string_view plain);
std::string UnscramblePassword(std::string_view stored);

struct LocalAccount {
  std::string id;
  std::string password;  // plain text
};

enum class LoginFileState { kAbsent, kReadable, kUnreadable };

class CLocalAccounts {
 public:
  // Uses tavrel_login.ini of the user folder, or the file at path.
  CLocalAccounts();
  explicit CLocalAccounts(std::string path);

  const std::string& Path() const { return path_; }
  LoginFileState ProbeFile() const;

  // Writes the default account ("admin" with the default password, TOTAL 1)
  // when the file is absent, or readable with "TOTAL" missing or not above
  // 0. A file that exists but cannot be read is left alone, so an accident
  // never turns the accounts into the public default. True when written.
  bool EnsureDefault();

  // Reads the accounts: at most kMaxLocalAccounts of them ("TOTAL" is
  // clamped), stopping at the first index whose ID or password key is
  // missing, as in a cut-off file. Values longer than kMaxAccountText bytes
  // are cut there. False (and no accounts) when the file exists but cannot
  // be read; every change is refused then.
  bool Load();

  const std::vector<LocalAccount>& Accounts() const { return accounts_; }
  int Count() const { return static_cast<int>(accounts_.size()); }

  struct LoginResult {
    bool ok = false;
    bool admin = false;  // account 00
  };
  // Compares the typed password exactly with the password of the account
  // at index.
  LoginResult CheckLogin(int index, std::string_view password) const;

  // kAccountMsgTooMany when the table is full, else 0.
  int CanAdd() const;
  // Reads the file again, then checks, in order: full table, empty ID, an
  // ID with a space, an ID that exists, password and confirmation
  // differing. Then writes the account at the next index and "TOTAL" + 1.
  int Add(std::string_view id, std::string_view password, std::string_view confirm);
  // Removes the account at index and writes the rest with consecutive
  // indexes from 00. Account 00 is refused; an index out of range does
  // nothing (0).
  int Delete(int index);
  // Rewrites the password of the account at index when the two agree.
  int ChangePassword(int index, std::string_view password, std::string_view confirm);
  // Deletes the whole "LOGIN" section and writes the default account.
  int ResetDefault();

 private:
  bool WriteDefault();
  bool WriteAccount(int index, const LocalAccount& account);
  bool WriteTotal(int total);

  std::string path_;
  std::vector<LocalAccount> accounts_;
  bool loaded_ok_ = false;
};
