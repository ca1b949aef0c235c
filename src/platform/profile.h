// Profile (INI) files with the behaviour of the Windows profile-file
// functions: case-insensitive section and key names, order of sections and
// keys kept, a missing file or key reads as the default, every write saved at
// once. Files are read at each call; nothing is cached.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// The value of section/key, or def when the file, section or key is missing.
// Blanks around the value are removed; one pair of enclosing double quotes
// (or single quotes) is removed as well.
std::string GetProfileString(const std::string& path, std::string_view section, std::string_view key,
                             std::string_view def);

// The value read as a decimal integer: optional blanks, an optional sign,
// then digits; reading stops at the first non-digit ("12abc" -> 12, "abc" -> 0).
// def when the key is missing.
int GetProfileInt(const std::string& path, std::string_view section, std::string_view key, int def);

// Sets section/key to value, creating the file, section or key as needed
// (new sections at the end, new keys at the end of their section). A value
// holding CR, LF or NUL is written with those replaced by a blank; a value
// that starts or ends with a blank or a quote is written inside double quotes.
// Section and key names holding CR, LF, NUL, '[' or ']' (sections) or '='
// (keys) are refused. The file is replaced through a temporary file in the same
// folder (written, flushed, renamed), so a failed write never truncates it.
// Returns false when the name is refused or the file cannot be written.
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// Convenience: WriteProfileString with "%d".
bool WriteProfileInt(const std::string& path, std::string_view section, std::string_view key, int value);

// Removes one key; true also when it did not exist.
bool DeleteProfileKey(const std::string& path, std::string_view section, std::string_view key);

// Removes a section with all its keys; true also when it did not exist.
bool DeleteProfileSection(const std::string& path, std::string_view section);

// Section names in file order.
std::vector<std::string> GetProfileSectionNames(const std::string& path);

// A value as it is written after "key=": CR, LF and NUL become blanks, and a
// value with a blank or quote at either end is put in double quotes (which
// reading removes again). For stores that write a whole profile file at once.
std::string EncodeProfileValue(std::string_view value);
// "key=" and the encoded value: one line of a profile file.
std::string ProfileKeyLine(std::string_view key, std::string_view value);

// Key names of a section in file order (empty when missing).
std::vector<std::string> GetProfileKeys(const std::string& path, std::string_view section);

// One section/key/value of a several-key write.
struct ProfileEntry {
  std::string section;
  std::string key;
  std::string value;
};

// Sets every entry as WriteProfileString would, in one file update: readers
// see all of them or none. Nothing is written when any name is refused.
bool WriteProfileStrings(const std::string& path, const std::vector<ProfileEntry>& entries);

// A whole file read at once, for readers of many keys: sections in file order
// (a repeated section name is merged into its first), each with its keys in
// order (the first of a repeated key wins), values read as GetProfileString
// reads them. Empty when the file is missing or unreadable.
struct ProfileSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
  // The value of a key (case-insensitive), or def.
  std::string Get(std::string_view key, std::string_view def = {}) const;
};
std::vector<ProfileSection> ReadProfileSections(const std::string& path);

}  // namespace platform
