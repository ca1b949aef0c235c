// Feeds arbitrary bytes to the profile-file reader and writer. The input is
// written to a file (the functions read files), every read function runs on
// it, and one write round runs on a copy, checking that what was written
// reads back and that the rest of the file survives the rewrite.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "platform/profile.h"

namespace {

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "profile_fuzz: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every write is flushed to disk; on tmpfs that costs nothing, on a disk
  // it would cut the run rate a hundredfold.
  static const std::string path = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/tavrel_profile_fuzz_" + std::to_string(::getpid()) + ".ini";
  static const std::string copy = path + ".copy";
  static const bool cleanup_registered = [] {
    std::atexit([] {
      std::remove(path.c_str());
      std::remove(copy.c_str());
    });
    return true;
  }();
  (void)cleanup_registered;
  if (!WriteFile(path, data, size) || !WriteFile(copy, data, size)) return 0;

  // Section and key names taken from the input itself, so that lookups hit.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> sections = platform::GetProfileSectionNames(path);
  const std::string section = sections.empty() ? std::string(text.substr(0, 8)) : sections.front();
  const std::vector<std::string> keys = platform::GetProfileKeys(path, section);
  const std::string key = keys.empty() ? std::string(text.substr(size / 2, 8)) : keys.back();
  platform::GetProfileString(path, section, key, "def");
  platform::GetProfileInt(path, section, key, 7);
  for (const std::string& s : sections) platform::GetProfileKeys(path, s);

  // One write round on the copy: a value built from the input must read back
  // (line breaks and NUL turn into blanks), other sections must stay, and the
  // key must be gone after its deletion.
  std::string value(text.substr(size / 3, 16));
  for (char& c : value) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  const std::string new_section = "fuzz section";
  if (platform::WriteProfileString(copy, new_section, "fuzz key", value)) {
    Check(platform::GetProfileString(copy, new_section, "fuzz key", "<none>") == value, "value did not read back");
    const std::vector<std::string> after = platform::GetProfileSectionNames(copy);
    for (const std::string& s : sections) {
      bool found = false;
      for (const std::string& a : after) found = found || a == s;
      Check(found, "a section vanished on rewrite");
    }
    Check(platform::DeleteProfileKey(copy, new_section, "fuzz key"), "delete failed");
    Check(platform::GetProfileString(copy, new_section, "fuzz key", "<none>") == "<none>", "key still there");
  }
  if (!key.empty()) platform::WriteProfileString(copy, section, key, value);
  return 0;
}
