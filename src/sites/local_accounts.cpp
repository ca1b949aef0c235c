#include "sites/local_accounts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/profile.h"
#include "platform/user_folder.h"
#include "sites/local_settings.h"

namespace {

constexpr const char* kSection = "LOGIN";
constexpr const char* kTotalKey = "TOTAL";

std::string IndexKey(const char* prefix, int index) {
  char key[16];
  std::snprintf(key, sizeof key, "%s%02d", prefix, index);
  return key;
}

std::string TotalText(int total) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", total);
  return text;
}

bool HasKey(const std::vector<std::string>& keys, std::string_view key) {
  auto same = [key](const std::string& k) {
    return std::equal(k.begin(), k.end(), key.begin(), key.end(), [](char a, char b) {
      auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
      return lower(a) == lower(b);
    });
  };
  return std::any_of(keys.begin(), keys.end(), same);
}

// Text the file can give back unchanged: within the length limit, and no
// line break or NUL (the profile file turns those into blanks).
bool Storable(std::string_view s) {
  return s.size() <= kMaxAccountText && s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string Bounded(std::string s) {
  if (s.size() > kMaxAccountText) s.resize(kMaxAccountText);
  return s;
}

}  // namespace

std::string ScramblePassword(std::string_view plain) {
  std::string out(plain);
  for (char& ch : out) {
    const unsigned c = static_cast<unsigned char>(ch);
    if (c >= 32 && c <= 127) ch = static_cast<char>((c + 68) % 96 + 32);
  }
  return out;
}

std::string UnscramblePassword(std::string_view stored) {
  std::string out(stored);
  for (char& ch : out) {
    const unsigned c = static_cast<unsigned char>(ch);
    if (c >= 36 && c <= 127) {
      ch = static_cast<char>(c - 4);
    } else if (c >= 32 && c <= 35) {
      ch = static_cast<char>(c + 92);
    }
  }
  return out;
}

CLocalAccounts::CLocalAccounts() : path_(platform::UserFile(kLoginFileName)) {}

CLocalAccounts::CLocalAccounts(std::string path) : path_(std::move(path)) {}

LoginFileState CLocalAccounts::ProbeFile() const {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? LoginFileState::kAbsent : LoginFileState::kUnreadable;
  }
  // A directory (or anything else that is not a plain file) opens but does
  // not read; try one read to catch that and device errors alike.
  struct stat st{};
  LoginFileState state = LoginFileState::kReadable;
  char byte;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::read(fd, &byte, 1) < 0) {
    state = LoginFileState::kUnreadable;
  }
  ::close(fd);
  return state;
}

bool CLocalAccounts::WriteDefault() {
  return platform::WriteProfileString(path_, kSection, "PW00", ScramblePassword(kDefaultAccountPassword)) &&
         platform::WriteProfileString(path_, kSection, "ID00", kDefaultAccountId) &&
         platform::WriteProfileString(path_, kSection, kTotalKey, "1");
}

bool CLocalAccounts::EnsureDefault() {
  switch (ProbeFile()) {
    case LoginFileState::kUnreadable:
      return false;
    case LoginFileState::kAbsent:
      return WriteDefault();
    case LoginFileState::kReadable:
      break;
  }
  const std::vector<std::string> keys = platform::GetProfileKeys(path_, kSection);
  if (HasKey(keys, kTotalKey) && platform::GetProfileInt(path_, kSection, kTotalKey, 0) > 0) return false;
  return WriteDefault();
}

bool CLocalAccounts::Load() {
  accounts_.clear();
  loaded_ok_ = false;
  const LoginFileState state = ProbeFile();
  if (state == LoginFileState::kUnreadable) return false;
  loaded_ok_ = true;
  if (state == LoginFileState::kAbsent) return true;

  const std::vector<std::string> keys = platform::GetProfileKeys(path_, kSection);
  const int total = std::clamp(platform::GetProfileInt(path_, kSection, kTotalKey, 0), 0, kMaxLocalAccounts);
  for (int i = 0; i < total; ++i) {
    const std::string id_key = IndexKey("ID", i);
    const std::string pw_key = IndexKey("PW", i);
    if (!HasKey(keys, id_key) || !HasKey(keys, pw_key)) break;
    LocalAccount account;
    account.id = Bounded(platform::GetProfileString(path_, kSection, id_key, ""));
    account.password = UnscramblePassword(Bounded(platform::GetProfileString(path_, kSection, pw_key, "")));
    accounts_.push_back(std::move(account));
  }
  return true;
}

CLocalAccounts::LoginResult CLocalAccounts::CheckLogin(int index, std::string_view password) const {
  LoginResult r;
  if (index < 0 || index >= Count()) return r;
  r.ok = accounts_[static_cast<size_t>(index)].password == password;
  r.admin = r.ok && index == 0;
  return r;
}

bool CLocalAccounts::WriteAccount(int index, const LocalAccount& account) {
  return platform::WriteProfileString(path_, kSection, IndexKey("ID", index), account.id) &&
         platform::WriteProfileString(path_, kSection, IndexKey("PW", index), ScramblePassword(account.password));
}

bool CLocalAccounts::WriteTotal(int total) {
  return platform::WriteProfileString(path_, kSection, kTotalKey, TotalText(total));
}

int CLocalAccounts::CanAdd() const { return Count() >= kMaxLocalAccounts ? kAccountMsgTooMany : 0; }

int CLocalAccounts::Add(std::string_view id, std::string_view password, std::string_view confirm) {
  // The new account goes after the last one in the file as it is now.
  Load();
  if (const int refused = CanAdd()) return refused;
  if (id.empty()) return kAccountMsgEmptyId;
  if (id.find(' ') != std::string_view::npos) return kAccountMsgIdHasSpace;
  for (const LocalAccount& a : accounts_) {
    if (a.id == id) return kAccountMsgIdExists;
  }
  if (password != confirm) return kAccountMsgPasswordMismatch;
  if (!Storable(id) || !Storable(password)) return kAccountBadInput;
  if (!loaded_ok_) return kAccountWriteFailed;

  const int index = Count();
  const bool ok = WriteAccount(index, {std::string(id), std::string(password)}) && WriteTotal(index + 1);
  Load();
  return ok ? 0 : kAccountWriteFailed;
}

int CLocalAccounts::Delete(int index) {
  if (index < 0 || index >= Count()) return 0;
  if (index == 0) return kAccountMsgCannotDeleteAdmin;
  if (!loaded_ok_) return kAccountWriteFailed;

  std::vector<LocalAccount> rest = accounts_;
  rest.erase(rest.begin() + index);
  bool ok = true;
  for (size_t i = static_cast<size_t>(index); i < rest.size() && ok; ++i) {
    ok = WriteAccount(static_cast<int>(i), rest[i]);
  }
  ok = ok && WriteTotal(static_cast<int>(rest.size()));
  // The last index is no longer used: its ID and password go.
  if (ok) {
    const int gone = static_cast<int>(rest.size());
    ok = platform::DeleteProfileKey(path_, kSection, IndexKey("ID", gone)) &&
         platform::DeleteProfileKey(path_, kSection, IndexKey("PW", gone));
  }
  Load();
  return ok ? 0 : kAccountWriteFailed;
}

int CLocalAccounts::ChangePassword(int index, std::string_view password, std::string_view confirm) {
  if (index < 0 || index >= Count()) return 0;
  if (password != confirm) return kAccountMsgChangeMismatch;
  if (!Storable(password)) return kAccountBadInput;
  if (!loaded_ok_) return kAccountWriteFailed;
  const bool ok =
      platform::WriteProfileString(path_, kSection, IndexKey("PW", index), ScramblePassword(password));
  Load();
  return ok ? 0 : kAccountWriteFailed;
}

int CLocalAccounts::ResetDefault() {
  if (ProbeFile() == LoginFileState::kUnreadable) return kAccountWriteFailed;
  const bool ok = platform::DeleteProfileSection(path_, kSection) && WriteDefault();
  Load();
  return ok ? 0 : kAccountWriteFailed;
}
