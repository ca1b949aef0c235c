#include "platform/user_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

std::mutex g_lock;
std::string g_folder;
bool g_set = false;

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return "/tmp";
}

bool IsFolder(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string ResolveUserFolder(std::string_view home_option) {
  const char* env = std::getenv("TAVREL_HOME");
  if (env != nullptr && env[0] != '\0') return env;
  if (!home_option.empty()) return std::string(home_option);
  return HomeFolder() + "/.local/share/tavrel";
}

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return false;
  if (IsFolder(folder)) return true;
  // Create each missing level from the top down.
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos != folder.size() && folder[pos] != '/') continue;
    const std::string part = folder.substr(0, pos);
    if (IsFolder(part)) continue;
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return IsFolder(folder);
}

bool SetUserFolder(const std::string& folder) {
  if (!MakeFolders(folder)) return false;
  std::lock_guard<std::mutex> lock(g_lock);
  g_folder = folder;
  while (g_folder.size() > 1 && g_folder.back() == '/') g_folder.pop_back();
  g_set = true;
  return true;
}

std::string UserFolder() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_set) return ResolveUserFolder("");
  return g_folder;
}

std::string UserFile(std::string_view name) {
  std::string folder = UserFolder();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + std::string(name);
}

}  // namespace platform
