#include "sites/predefined_lists.h"

#include "platform/file_replace.h"
#include "platform/profile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <unordered_map>

#include "platform/user_folder.h"
#include "sites/site_directory_store.h"

namespace {

constexpr size_t kMaxFileBytes = 16u << 20;

// ---------------------------------------------------------------------------
// One read of a profile file, answering lookups as the platform's profile
// functions would (first section of a name, first key in it, names compared
// without case, values trimmed and unquoted) without reading the file again
// for every key.

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

constexpr std::string_view kUtf8Bom("\xEF\xBB\xBF");

struct IniLine {
  std::string_view text;  // without its line end
  bool section = false;
  bool key = false;
  std::string_view name;   // trimmed section or key name
  std::string_view value;  // trimmed, quotes still on
};

std::vector<IniLine> SplitLines(std::string_view body) {
  std::vector<IniLine> lines;
  size_t pos = 0;
  while (pos < body.size()) {
    const size_t nl = body.find('\n', pos);
    const size_t end = nl == std::string_view::npos ? body.size() : nl;
    IniLine line;
    line.text = body.substr(pos, end - pos);
    if (!line.text.empty() && line.text.back() == '\r') line.text.remove_suffix(1);
    pos = nl == std::string_view::npos ? body.size() : nl + 1;
    const std::string_view t = Trim(line.text);
    if (t.empty() || t[0] == ';') {
      // a blank line or a comment
    } else if (t[0] == '[') {
      line.section = true;
      std::string_view inner = t.substr(1);
      const size_t close = inner.find(']');
      if (close != std::string_view::npos) inner = inner.substr(0, close);
      line.name = Trim(inner);
    } else {
      line.key = true;
      const size_t eq = t.find('=');
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

class Snapshot {
 public:
  explicit Snapshot(std::string_view text) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
    std::unordered_map<std::string, std::string_view>* current = nullptr;
    for (const IniLine& line : SplitLines(text)) {
      if (line.section) {
        // Only the first section of a name counts, as in the profile functions.
        auto [it, inserted] = sections_.try_emplace(Lower(line.name));
        current = inserted ? &it->second : nullptr;
      } else if (line.key && current != nullptr) {
        current->try_emplace(Lower(line.name), line.value);
      }
    }
  }

  const std::string_view* Find(std::string_view section, std::string_view key) const {
    const auto s = sections_.find(Lower(section));
    if (s == sections_.end()) return nullptr;
    const auto k = s->second.find(Lower(key));
    return k == s->second.end() ? nullptr : &k->second;
  }

  std::string String(std::string_view section, std::string_view key) const {
    const std::string_view* v = Find(section, key);
    return v == nullptr ? std::string() : CutSiteText(Unquote(*v));
  }

  // Optional blanks and sign, then digits accumulated modulo 2^32; an empty
  // or missing value gives def.
  int Int(std::string_view section, std::string_view key, int def) const {
    const std::string_view* found = Find(section, key);
    if (found == nullptr) return def;
    const std::string_view v = Unquote(*found);
    if (v.empty()) return def;
    size_t i = 0;
    while (i < v.size() && IsBlank(v[i])) ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
    uint32_t n = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) n = n * 10u + static_cast<uint32_t>(v[i] - '0');
    if (negative) n = 0u - n;
    return static_cast<int>(n);
  }

 private:
  std::unordered_map<std::string, std::unordered_map<std::string, std::string_view>> sections_;
};

std::string Numbered(const char* format, int n) {
  char text[48];
  std::snprintf(text, sizeof text, format, n);
  return text;
}

// The file's bytes; a missing file reads as empty. False when it exists but
// cannot be read whole.
bool ReadFile(const std::string& path, std::string* out) {
  out->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  char buf[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0 && out->size() + static_cast<size_t>(n) <= kMaxFileBytes) {
      out->append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      ok = false;
      break;
    }
  }
  ::close(fd);
  if (!ok) out->clear();
  return ok;
}

// "PREDVRLIST", "GROUP" and "SITE_INFO" followed by digits only.
bool IsListSection(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "predvrlist" || lower == "group") return true;
  constexpr std::string_view kSiteInfo = "site_info";
  if (lower.size() <= kSiteInfo.size() || lower.compare(0, kSiteInfo.size(), kSiteInfo) != 0) return false;
  for (size_t i = kSiteInfo.size(); i < lower.size(); ++i) {
    if (lower[i] < '0' || lower[i] > '9') return false;
  }
  return true;
}

void AddLine(std::string* out, std::string_view key, std::string_view value) {
  out->append(platform::ProfileKeyLine(key, value));
  out->push_back('\n');
}

std::string ListsText(const std::vector<PredefinedList>& lists) {
  std::string out = "[PREDVRLIST]\n";
  AddLine(&out, "TOTAL_LIST", Numbered("%02d", static_cast<int>(lists.size())));
  if (lists.empty()) return out;
  out.append("\n[GROUP]\n");
  for (size_t i = 0; i < lists.size(); ++i) {
    AddLine(&out, Numbered("LIST_NAME%02d", static_cast<int>(i + 1)), CutSiteText(lists[i].name));
  }
  for (size_t i = 0; i < lists.size(); ++i) {
    out.append("\n[").append(Numbered("SITE_INFO%02d", static_cast<int>(i + 1))).append("]\n");
    for (int n = 1; n <= kPredefinedSlotCount; ++n) {
      const PredefinedSlot& slot = lists[i].slots[static_cast<size_t>(n - 1)];
      if (slot.reg == 0) continue;
      AddLine(&out, Numbered("DVR_NAME%02d", n), CutSiteText(slot.dvr_name));
      AddLine(&out, Numbered("SEL_CH%02d", n), Numbered("%02d", slot.channel));
      AddLine(&out, Numbered("IP%02d", n), CutSiteText(slot.address));
      AddLine(&out, Numbered("ID%02d", n), CutSiteText(slot.user_id));
      AddLine(&out, Numbered("PW%02d", n), CutSiteText(slot.password));
      AddLine(&out, Numbered("PORT%02d", n), Numbered("%02d", slot.port));
      AddLine(&out, Numbered("REG%02d", n), Numbered("%02d", slot.reg));
      AddLine(&out, Numbered("CODEC%02d", n), Numbered("%d", slot.platform_code));
    }
  }
  return out;
}

}  // namespace

std::string PredefinedListPath() { return platform::UserFile(kPredefinedListFileName); }

bool IsAssigned(const PredefinedSlot& slot) { return slot.reg == 1 && slot.channel >= 0 && slot.channel <= 15; }

int PredefinedList::AssignedCount() const {
  int n = 0;
  for (const PredefinedSlot& s : slots) n += IsAssigned(s) ? 1 : 0;
  return n;
}

std::vector<PredefinedList> ParsePredefinedLists(std::string_view text) {
  const Snapshot ini(text);
  int total = ini.Int("PREDVRLIST", "TOTAL_LIST", 0);
  if (total < 0) total = 0;
  if (total > kMaxPredefinedLists) total = kMaxPredefinedLists;
  std::vector<PredefinedList> lists(static_cast<size_t>(total));
  for (int i = 1; i <= total; ++i) {
    PredefinedList& list = lists[static_cast<size_t>(i - 1)];
    list.name = ini.String("GROUP", Numbered("LIST_NAME%02d", i));
    const std::string section = Numbered("SITE_INFO%02d", i);
    for (int n = 1; n <= kPredefinedSlotCount; ++n) {
      const int reg = ini.Int(section, Numbered("REG%02d", n), 0);
      if (reg == 0) break;
      PredefinedSlot& slot = list.slots[static_cast<size_t>(n - 1)];
      slot.reg = reg;
      slot.dvr_name = ini.String(section, Numbered("DVR_NAME%02d", n));
      slot.channel = ini.Int(section, Numbered("SEL_CH%02d", n), 0);
      slot.address = ini.String(section, Numbered("IP%02d", n));
      slot.user_id = ini.String(section, Numbered("ID%02d", n));
      slot.password = ini.String(section, Numbered("PW%02d", n));
      slot.port = ini.Int(section, Numbered("PORT%02d", n), 0);
      slot.platform_code = ini.Int(section, Numbered("CODEC%02d", n), 0);
    }
  }
  return lists;
}

bool LoadPredefinedLists(const std::string& path, std::vector<PredefinedList>* lists) {
  lists->clear();
  std::string text;
  if (!ReadFile(path, &text)) return false;
  *lists = ParsePredefinedLists(text);
  return true;
}

bool SavePredefinedLists(const std::string& path, const std::vector<PredefinedList>& lists) {
  if (lists.size() > static_cast<size_t>(kMaxPredefinedLists)) return false;
  std::string old;
  if (!ReadFile(path, &old)) return false;  // never replace what could not be read

  std::string_view body(old);
  std::string out;
  if (body.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    body.remove_prefix(kUtf8Bom.size());
    out.append(kUtf8Bom);
  }
  // Keep every line outside the lists' sections.
  bool dropping = false;
  std::string_view last_kept;
  bool kept_any = false;
  for (const IniLine& line : SplitLines(body)) {
    if (line.section) dropping = IsListSection(line.name);
    if (dropping) continue;
    out.append(line.text).push_back('\n');
    last_kept = line.text;
    kept_any = true;
  }
  if (kept_any && !Trim(last_kept).empty()) out.push_back('\n');
  out.append(ListsText(lists));
  return platform::ReplaceFileAtomically(path, out, kPrivateFileMode);
}

std::vector<int> TreeSlotNumbers(const PredefinedList& list) {
  std::vector<int> numbers;
  for (int n = 1; n <= kPredefinedSlotCount; ++n) {
    const PredefinedSlot& slot = list.slots[static_cast<size_t>(n - 1)];
    if (slot.reg == 0) break;
    if (IsAssigned(slot)) numbers.push_back(n);
  }
  return numbers;
}

std::string SlotTreeText(int slot_number, const PredefinedSlot& slot) {
  return "[" + std::to_string(slot_number) + "]:" + slot.dvr_name + "(Ch:" + std::to_string(slot.channel + 1) + ")";
}

std::string SlotStateText(int slot_number, const PredefinedSlot& slot, std::string_view state_word) {
  return "[" + std::to_string(slot_number) + "]:" + slot.dvr_name + "(" + std::string(state_word) + ")";
}

int CheckPredefinedListSave(const PredefinedList& list) {
  if (list.name.empty()) return 30;
  if (list.AssignedCount() == 0) return 31;
  return 0;
}

bool PutEditedList(std::vector<PredefinedList>* lists, int index, const PredefinedList& list) {
  if (CheckPredefinedListSave(list) != 0) return false;
  if (index == -1) {
    if (lists->size() >= static_cast<size_t>(kMaxPredefinedLists)) return false;
    lists->push_back(list);
    return true;
  }
  if (index < 0 || static_cast<size_t>(index) >= lists->size()) return false;
  (*lists)[static_cast<size_t>(index)] = list;
  return true;
}

bool DropSiteOnSlots(PredefinedList* list, int first_slot, const SiteRecord& site) {
  const int channels = site.channel_count;
  if (channels < 1 || channels > 16) return false;
  if (first_slot < 1 || first_slot + channels - 1 > kPredefinedSlotCount) return false;
  for (int ch = 0; ch < channels; ++ch) {
    PredefinedSlot& slot = list->slots[static_cast<size_t>(first_slot - 1 + ch)];
    slot.dvr_name = CutSiteText(site.name);
    slot.channel = ch;
    slot.address = CutSiteText(site.address);
    slot.user_id = CutSiteText(site.user_id);
    slot.password = CutSiteText(site.password);
    slot.port = site.base_port;
    slot.reg = 1;
    slot.platform_code = site.platform_code;
  }
  return true;
}

void ClearSlots(PredefinedList* list) { list->slots.fill(PredefinedSlot{}); }
