#include "platform/profile.h"

#include "platform/file_replace.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace platform {
namespace {

// ---------------------------------------------------------------------------
// Characters and names

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string LowerName(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool HasAny(std::string_view s, std::string_view chars) { return s.find_first_of(chars) != std::string_view::npos; }

const std::string_view kLineBreaksAndNul("\r\n\0", 3);

// A section name that can be written and read back as the same name.
bool SectionNameOk(std::string_view name) {
  return !name.empty() && !HasAny(name, kLineBreaksAndNul) && !HasAny(name, "[]");
}

// A key name that can be written and read back as the same key: besides the
// refused characters, a line starting with '[' would read as a section header
// and one starting with ';' as a comment.
bool KeyNameOk(std::string_view name) {
  return !name.empty() && !HasAny(name, kLineBreaksAndNul) && !HasAny(name, "=") && name[0] != '[' &&
         name[0] != ';';
}

}  // namespace

std::string EncodeProfileValue(std::string_view value) {
  std::string v(value);
  for (char& c : v) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  if (!v.empty()) {
    auto needs_quotes = [](char c) { return IsBlank(c) || c == '"' || c == '\''; };
    if (needs_quotes(v.front()) || needs_quotes(v.back())) v = '"' + v + '"';
  }
  return v;
}

std::string ProfileKeyLine(std::string_view key, std::string_view value) {
  std::string line(key);
  line.push_back('=');
  line.append(EncodeProfileValue(value));
  return line;
}

namespace {

// Removes one pair of enclosing matching quotes.
std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// ---------------------------------------------------------------------------
// Parsing

enum class Kind { kOther, kSection, kKey };

struct Line {
  std::string_view text;   // the line without its line end
  Kind kind = Kind::kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed, quotes still on
};

constexpr std::string_view kUtf8Bom("\xEF\xBB\xBF");

// Splits the file into classified lines. The views point into body.
std::vector<Line> ParseLines(std::string_view body) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < body.size()) {
    size_t nl = body.find('\n', pos);
    size_t end = nl == std::string_view::npos ? body.size() : nl;
    Line line;
    line.text = body.substr(pos, end - pos);
    if (!line.text.empty() && line.text.back() == '\r') line.text.remove_suffix(1);
    pos = nl == std::string_view::npos ? body.size() : nl + 1;

    std::string_view t = Trim(line.text);
    if (t.empty() || t[0] == ';') {
      line.kind = Kind::kOther;
    } else if (t[0] == '[') {
      // "[name]" with anything after the ']' ignored; a header missing its
      // ']' still opens a section named by the rest of the line.
      line.kind = Kind::kSection;
      std::string_view inner = t.substr(1);
      size_t close = inner.find(']');
      if (close != std::string_view::npos) inner = inner.substr(0, close);
      line.name = Trim(inner);
    } else {
      // "key=value"; a line without '=' is a key with an empty value.
      line.kind = Kind::kKey;
      size_t eq = t.find('=');
      if (eq == std::string_view::npos) {
        line.name = t;
      } else {
        line.name = Trim(t.substr(0, eq));
        line.value = Trim(t.substr(eq + 1));
      }
    }
    lines.push_back(line);
  }
  return lines;
}

// A profile file in memory: the raw bytes and their lines.
struct Profile {
  std::string data;
  bool bom = false;
  std::vector<Line> lines;

  void Parse() {
    std::string_view body(data);
    bom = body.substr(0, kUtf8Bom.size()) == kUtf8Bom;
    if (bom) body.remove_prefix(kUtf8Bom.size());
    lines = ParseLines(body);
  }

  // Index of the first header of the section, or npos.
  size_t FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].kind == Kind::kSection && SameName(lines[i].name, section)) return i;
    }
    return std::string_view::npos;
  }

  // One past the last line of the section whose header is at index header.
  size_t SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != Kind::kSection) ++i;
    return i;
  }

  // The key line in the first section of that name, or nullptr.
  const Line* FindKey(std::string_view section, std::string_view key) const {
    size_t s = FindSection(section);
    if (s == std::string_view::npos) return nullptr;
    size_t end = SectionEnd(s);
    for (size_t i = s + 1; i < end; ++i) {
      if (lines[i].kind == Kind::kKey && SameName(lines[i].name, key)) return &lines[i];
    }
    return nullptr;
  }
};

enum class ReadResult { kOk, kMissing, kError };

// Reads the whole file. A missing file (or a missing folder on the way) is
// kMissing; anything else that stops the read is kError.
ReadResult ReadWholeFile(const std::string& path, std::string* out) {
  out->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::kMissing : ReadResult::kError;
  struct stat st{};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    out->reserve(static_cast<size_t>(st.st_size));
  }
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      out->append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      ::close(fd);
      out->clear();
      return ReadResult::kError;
    }
  }
  ::close(fd);
  return ReadResult::kOk;
}

bool LoadForReading(const std::string& path, Profile* p) {
  if (ReadWholeFile(path, &p->data) != ReadResult::kOk) return false;
  p->Parse();
  return true;
}

// ---------------------------------------------------------------------------
// Saving

// Replaces the file at path with data through a temporary file, so readers
// see either the old or the new file, never a partial one.
bool SaveAtomically(const std::string& path, std::string_view data) { return ReplaceFileAtomically(path, data); }

// Writers of any profile file in this process take turns, so that two
// read-change-save rounds on the same file never lose each other's change.
std::mutex& WriterMutex() {
  static std::mutex m;
  return m;
}

// Builds the new file from the lines that are kept plus the lines added.
class Rewriter {
 public:
  explicit Rewriter(const Profile& p) : p_(p), drop_(p.lines.size(), false), after_(p.lines.size() + 1) {}

  void Drop(size_t i) {
    drop_[i] = true;
    changed_ = true;
  }
  void Replace(size_t i, std::string text) {
    replacement_.emplace_back(i, std::move(text));
    changed_ = true;
  }
  // Adds a line after line i; kBeforeFirst adds it at the very start.
  void InsertAfter(size_t i, std::string text) {
    after_[i + 1].push_back(std::move(text));
    changed_ = true;
  }
  static constexpr size_t kBeforeFirst = static_cast<size_t>(-1);

  bool changed() const { return changed_; }

  std::string Result() const {
    std::vector<const std::string*> replaced(p_.lines.size(), nullptr);
    for (const auto& [i, text] : replacement_) replaced[i] = &text;
    std::string out;
    out.reserve(p_.data.size() + 256);
    if (p_.bom) out.append(kUtf8Bom);
    auto add = [&out](std::string_view line) {
      out.append(line);
      out.push_back('\n');
    };
    for (const std::string& s : after_[0]) add(s);
    for (size_t i = 0; i < p_.lines.size(); ++i) {
      if (!drop_[i]) add(replaced[i] != nullptr ? std::string_view(*replaced[i]) : p_.lines[i].text);
      for (const std::string& s : after_[i + 1]) add(s);
    }
    return out;
  }

 private:
  const Profile& p_;
  std::vector<bool> drop_;
  std::deque<std::pair<size_t, std::string>> replacement_;
  std::vector<std::vector<std::string>> after_;  // after_[i + 1]: lines added after line i
  bool changed_ = false;
};

// Loads the file for a change. A file that exists but cannot be read is not
// replaced: that would throw its contents away.
bool LoadForWriting(const std::string& path, Profile* p) {
  if (ReadWholeFile(path, &p->data) == ReadResult::kError) return false;
  p->Parse();
  return true;
}

bool Commit(const std::string& path, const Rewriter& rw) {
  if (!rw.changed()) return true;
  return SaveAtomically(path, rw.Result());
}

}  // namespace

std::string GetProfileString(const std::string& path, std::string_view section, std::string_view key,
                             std::string_view def) {
  Profile p;
  if (!LoadForReading(path, &p)) return std::string(def);
  const Line* line = p.FindKey(Trim(section), Trim(key));
  if (line == nullptr) return std::string(def);
  return std::string(Unquote(line->value));
}

int GetProfileInt(const std::string& path, std::string_view section, std::string_view key, int def) {
  Profile p;
  if (!LoadForReading(path, &p)) return def;
  const Line* line = p.FindKey(Trim(section), Trim(key));
  if (line == nullptr) return def;
  std::string_view v = Unquote(line->value);
  // An empty value reads as absent; any other value is parsed, and a value
  // without digits is 0.
  if (v.empty()) return def;
  size_t i = 0;
  while (i < v.size() && IsBlank(v[i])) ++i;
  bool negative = false;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) {
    negative = v[i] == '-';
    ++i;
  }
  // Digits accumulate modulo 2^32, so an unsigned 32-bit value written as
  // "4294967295" reads back as the same bits (-1).
  uint32_t n = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) n = n * 10u + static_cast<uint32_t>(v[i] - '0');
  if (negative) n = 0u - n;
  return static_cast<int>(n);
}

namespace {

// Sets section/key (names already checked) in the file held by p, through rw.
void SetKey(const Profile& p, Rewriter& rw, std::string_view section, std::string_view key,
            const std::string& encoded) {
  const size_t s = p.FindSection(section);
  if (s == std::string_view::npos) {
    // New section at the end, after a blank line when the file has content.
    size_t last = p.lines.empty() ? Rewriter::kBeforeFirst : p.lines.size() - 1;
    if (!p.lines.empty() && !Trim(p.lines.back().text).empty()) rw.InsertAfter(last, "");
    rw.InsertAfter(last, "[" + std::string(section) + "]");
    rw.InsertAfter(last, std::string(key) + "=" + encoded);
    return;
  }

  const size_t end = p.SectionEnd(s);
  size_t last_key = s;
  for (size_t i = s + 1; i < end; ++i) {
    const Line& line = p.lines[i];
    if (line.kind != Kind::kKey) continue;
    if (SameName(line.name, key)) {
      // Keep the spelling the file uses for the key.
      // An unchanged value leaves the line (and its layout) alone.
      if (line.value != encoded) rw.Replace(i, std::string(line.name) + "=" + encoded);
      return;
    }
    last_key = i;
  }
  rw.InsertAfter(last_key, std::string(key) + "=" + encoded);
}

}  // namespace

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (!SectionNameOk(section) || !KeyNameOk(key)) return false;
  const std::string encoded = EncodeProfileValue(value);

  std::lock_guard<std::mutex> lock(WriterMutex());
  Profile p;
  if (!LoadForWriting(path, &p)) return false;
  Rewriter rw(p);
  SetKey(p, rw, section, key, encoded);
  return Commit(path, rw);
}

bool WriteProfileStrings(const std::string& path, const std::vector<ProfileEntry>& entries) {
  // Checked names; a later entry for the same section and key wins.
  std::vector<ProfileEntry> batch;
  for (const ProfileEntry& e : entries) {
    const std::string_view section = Trim(e.section);
    const std::string_view key = Trim(e.key);
    if (!SectionNameOk(section) || !KeyNameOk(key)) return false;
    auto same = [&](const ProfileEntry& b) { return SameName(b.section, section) && SameName(b.key, key); };
    auto it = std::find_if(batch.begin(), batch.end(), same);
    if (it != batch.end()) {
      it->value = e.value;
    } else {
      batch.push_back(ProfileEntry{std::string(section), std::string(key), e.value});
    }
  }
  std::lock_guard<std::mutex> lock(WriterMutex());
  Profile p;
  if (!LoadForWriting(path, &p)) return false;
  Rewriter rw(p);
  // Keys of sections the file has are set in place; sections it lacks are
  // added at the end, in the order of their first entry.
  std::vector<std::pair<std::string, std::vector<std::string>>> new_sections;
  for (const ProfileEntry& e : batch) {
    const std::string encoded = EncodeProfileValue(e.value);
    if (p.FindSection(e.section) != std::string_view::npos) {
      SetKey(p, rw, e.section, e.key, encoded);
      continue;
    }
    auto it = std::find_if(new_sections.begin(), new_sections.end(),
                           [&](const auto& n) { return SameName(n.first, e.section); });
    if (it == new_sections.end()) it = new_sections.insert(new_sections.end(), {e.section, {}});
    it->second.push_back(e.key + "=" + encoded);
  }
  const size_t last = p.lines.empty() ? Rewriter::kBeforeFirst : p.lines.size() - 1;
  bool content = !p.lines.empty() && !Trim(p.lines.back().text).empty();
  for (const auto& [section, lines] : new_sections) {
    // Each new section after a blank line when something comes before it.
    if (content) rw.InsertAfter(last, "");
    rw.InsertAfter(last, "[" + section + "]");
    for (const std::string& line : lines) rw.InsertAfter(last, line);
    content = true;
  }
  return Commit(path, rw);
}

std::string ProfileSection::Get(std::string_view key, std::string_view def) const {
  for (const auto& [k, v] : keys) {
    if (SameName(k, key)) return v;
  }
  return std::string(def);
}

std::vector<ProfileSection> ReadProfileSections(const std::string& path) {
  std::vector<ProfileSection> sections;
  Profile p;
  if (!LoadForReading(path, &p)) return sections;
  std::unordered_map<std::string, size_t> index;  // lower-case name -> sections index
  std::vector<std::unordered_set<std::string>> seen_keys;
  ProfileSection* current = nullptr;
  std::unordered_set<std::string>* current_keys = nullptr;
  for (const Line& line : p.lines) {
    if (line.kind == Kind::kSection) {
      auto [it, added] = index.emplace(LowerName(line.name), sections.size());
      if (added) {
        sections.push_back(ProfileSection{std::string(line.name), {}});
        seen_keys.emplace_back();
      }
      current = &sections[it->second];
      current_keys = &seen_keys[it->second];
    } else if (line.kind == Kind::kKey && current != nullptr) {
      if (current_keys->insert(LowerName(line.name)).second) {
        current->keys.emplace_back(std::string(line.name), std::string(Unquote(line.value)));
      }
    }
  }
  return sections;
}

bool WriteProfileInt(const std::string& path, std::string_view section, std::string_view key, int value) {
  return WriteProfileString(path, section, key, std::to_string(value));
}

bool DeleteProfileKey(const std::string& path, std::string_view section, std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  std::lock_guard<std::mutex> lock(WriterMutex());
  Profile p;
  if (!LoadForWriting(path, &p)) return false;
  Rewriter rw(p);
  const size_t s = p.FindSection(section);
  if (s != std::string_view::npos) {
    // Every line of that key goes, so that a later duplicate does not show
    // through once the first one is removed.
    const size_t end = p.SectionEnd(s);
    for (size_t i = s + 1; i < end; ++i) {
      if (p.lines[i].kind == Kind::kKey && SameName(p.lines[i].name, key)) rw.Drop(i);
    }
  }
  return Commit(path, rw);
}

bool DeleteProfileSection(const std::string& path, std::string_view section) {
  section = Trim(section);
  std::lock_guard<std::mutex> lock(WriterMutex());
  Profile p;
  if (!LoadForWriting(path, &p)) return false;
  Rewriter rw(p);
  // Every section of that name goes with its lines (comments and trailing
  // blank lines included), so that no duplicate shows through afterwards.
  for (size_t i = 0; i < p.lines.size();) {
    if (p.lines[i].kind == Kind::kSection && SameName(p.lines[i].name, section)) {
      const size_t end = p.SectionEnd(i);
      for (; i < end; ++i) rw.Drop(i);
    } else {
      ++i;
    }
  }
  return Commit(path, rw);
}

std::vector<std::string> GetProfileSectionNames(const std::string& path) {
  std::vector<std::string> names;
  Profile p;
  if (!LoadForReading(path, &p)) return names;
  // A name repeated later in the file is listed once, as first spelled.
  std::unordered_set<std::string> seen;
  for (const Line& line : p.lines) {
    if (line.kind == Kind::kSection && seen.insert(LowerName(line.name)).second) names.emplace_back(line.name);
  }
  return names;
}

std::vector<std::string> GetProfileKeys(const std::string& path, std::string_view section) {
  std::vector<std::string> keys;
  Profile p;
  if (!LoadForReading(path, &p)) return keys;
  const size_t s = p.FindSection(Trim(section));
  if (s == std::string_view::npos) return keys;
  std::unordered_set<std::string> seen;
  const size_t end = p.SectionEnd(s);
  for (size_t i = s + 1; i < end; ++i) {
    const Line& line = p.lines[i];
    if (line.kind == Kind::kKey && seen.insert(LowerName(line.name)).second) keys.emplace_back(line.name);
  }
  return keys;
}

}  // namespace platform
