#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// Permission bits for a file that did not exist: what open(..., 0666) would
// give under the process umask. The umask is read from /proc because umask()
// can only be read by changing it, which is not safe with other threads.
mode_t UmaskFileMode() {
  mode_t mask = 022;
  if (FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
      if (std::strncmp(line, "Umask:", 6) == 0) {
        mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8)) & 0777;
        break;
      }
    }
    std::fclose(f);
  }
  return 0666 & ~mask;
}

}  // namespace

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool ReplaceFileThrough(const std::string& requested_path, unsigned new_mode, const std::function<bool(int fd)>& fill) {
  // Writing through a symbolic link replaces the file it points to, not the link.
  std::string path = requested_path;
  struct stat lst{};
  if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr); real != nullptr) {
      path = real;
      std::free(real);
    }
  }
  struct stat st{};
  const bool existed = ::stat(path.c_str(), &st) == 0;
  if (existed && !S_ISREG(st.st_mode)) return false;

  const std::string folder = ParentFolder(path);
  const size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  // The temporary name must stay within the file-name limit of the folder.
  std::string tmpl = base.size() + 10 <= NAME_MAX ? path + ".tmpXXXXXX" : folder + "/.replaceXXXXXX";
  const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok;
  if (existed) {
    ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    // Keep the owner when allowed to (it only works with the privilege to do so).
    if (ok && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
    }
  } else {
    ok = ::fchmod(fd, new_mode == kDefaultFileMode ? UmaskFileMode() : static_cast<mode_t>(new_mode & 07777)) == 0;
  }
  ok = ok && fill(fd) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tmpl.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return false;
  }
  // Make the rename itself durable.
  if (const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view data, unsigned new_mode) {
  return ReplaceFileThrough(path, new_mode, [data](int fd) { return WriteAll(fd, data); });
}

}  // namespace platform
