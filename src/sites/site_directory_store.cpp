#include "sites/site_directory_store.h"

#include "platform/file_replace.h"
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/user_folder.h"

namespace {

// A site is at least five one-byte length prefixes and three int32 fields.
constexpr size_t kMinSiteBytes = 5 + 12;

// ---------------------------------------------------------------------------
// Reading site.dat

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  size_t offset() const { return pos_; }
  size_t remaining() const { return bytes_.size() - pos_; }
  const std::string& error() const { return error_; }

  bool Int32(int32_t* out, const char* what) {
    if (remaining() < 4) return Fail(std::string("file ends inside ") + what);
    const auto* b = reinterpret_cast<const uint8_t*>(bytes_.data() + pos_);
    const uint32_t v = uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
    *out = static_cast<int32_t>(v);
    pos_ += 4;
    return true;
  }

  // A length-prefixed string; the view points into the file's bytes.
  bool String(std::string_view* out, const char* what) {
    const size_t start = pos_;
    if (remaining() < 1) return Fail(std::string("file ends before ") + what);
    const auto* b = reinterpret_cast<const uint8_t*>(bytes_.data());
    uint64_t length = b[pos_++];
    if (length == 0xFF) {
      if (remaining() < 2) return FailAt(start, std::string("file ends inside the length of ") + what);
      length = uint32_t{b[pos_]} | (uint32_t{b[pos_ + 1]} << 8);
      pos_ += 2;
      if (length == 0xFFFE) {
        // The archive's mark for a wide-character string; this file never holds one.
        return FailAt(start, std::string("wide-character string marker in ") + what);
      }
      if (length == 0xFFFF) {
        if (remaining() < 4) return FailAt(start, std::string("file ends inside the length of ") + what);
        length = uint32_t{b[pos_]} | (uint32_t{b[pos_ + 1]} << 8) | (uint32_t{b[pos_ + 2]} << 16) |
                 (uint32_t{b[pos_ + 3]} << 24);
        pos_ += 4;
      }
    }
    if (length > remaining()) {
      return FailAt(start, std::string("length ") + std::to_string(length) + " of " + what + " runs past the end");
    }
    *out = bytes_.substr(pos_, static_cast<size_t>(length));
    pos_ += static_cast<size_t>(length);
    return true;
  }

  bool Fail(const std::string& why) { return FailAt(pos_, why); }
  bool FailAt(size_t at, const std::string& why) {
    error_ = why + " at byte " + std::to_string(at);
    return false;
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
  std::string error_;
};

bool Decode(std::string_view bytes, SiteDirectoryData* dir, std::string* reason) {
  Reader r(bytes);
  auto fail = [&] {
    *reason = r.error();
    return false;
  };
  int32_t group_count = 0;
  if (!r.Int32(&group_count, "the group count")) return fail();
  if (group_count < 0 || group_count > kMaxSiteGroups) {
    r.FailAt(0, "group count " + std::to_string(group_count) + " outside 0.." + std::to_string(kMaxSiteGroups));
    return fail();
  }
  std::vector<int32_t> counts(static_cast<size_t>(group_count));
  uint64_t total_sites = 0;
  for (int32_t& count : counts) {
    const size_t at = r.offset();
    if (!r.Int32(&count, "the site counts")) return fail();
    if (count < 0) {
      r.FailAt(at, "negative site count " + std::to_string(count));
      return fail();
    }
    total_sites += static_cast<uint64_t>(count);
  }
  // Every group name takes at least its one-byte prefix, every site its
  // minimum size: counts that cannot fit are refused before anything grows.
  auto sites_fit = [&](uint64_t names_left) {
    return total_sites * kMinSiteBytes + names_left <= r.remaining();
  };
  if (!sites_fit(static_cast<uint64_t>(group_count))) {
    r.Fail(std::to_string(total_sites) + " sites cannot fit in the " + std::to_string(r.remaining()) +
           " bytes left");
    return fail();
  }
  dir->groups.resize(static_cast<size_t>(group_count));
  for (SiteGroup& group : dir->groups) {
    std::string_view name;
    if (!r.String(&name, "a group name")) return fail();
    group.name.assign(name);
  }
  if (!sites_fit(0)) {
    r.Fail(std::to_string(total_sites) + " sites cannot fit in the " + std::to_string(r.remaining()) +
           " bytes left");
    return fail();
  }
  for (size_t g = 0; g < dir->groups.size(); ++g) {
    std::vector<SiteRecord>& sites = dir->groups[g].sites;
    sites.resize(static_cast<size_t>(counts[g]));
    for (SiteRecord& site : sites) {
      std::string_view name, address, user, password, model;
      int32_t port = 0, channels = 0, platform = 0;
      if (!r.String(&name, "a site name") || !r.String(&address, "a site address") ||
          !r.String(&user, "a user ID") || !r.String(&password, "a password") || !r.String(&model, "a model") ||
          !r.Int32(&port, "a port") || !r.Int32(&channels, "a channel count") ||
          !r.Int32(&platform, "a platform code")) {
        return fail();
      }
      site.name = CutSiteText(name);
      site.address = CutSiteText(address);
      site.user_id = CutSiteText(user);
      site.password = CutSiteText(password);
      site.model = CutSiteText(model);
      site.base_port = port;
      site.channel_count = (channels < 0 || channels > 16) ? 4 : channels;
      site.platform_code = platform;
    }
  }
  if (r.remaining() != 0) {
    r.Fail(std::to_string(r.remaining()) + " bytes after the last site");
    return fail();
  }
  return true;
}

// ---------------------------------------------------------------------------
// Writing site.dat

void PutInt32(std::string* out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutString(std::string* out, std::string_view s) {
  const size_t n = s.size();
  if (n < 0xFF) {
    out->push_back(static_cast<char>(n));
  } else {
    out->push_back(static_cast<char>(0xFF));
    if (n < 0xFFFE) {
      out->push_back(static_cast<char>(n & 0xFF));
      out->push_back(static_cast<char>(n >> 8));
    } else {
      out->push_back(static_cast<char>(0xFF));
      out->push_back(static_cast<char>(0xFF));
      PutInt32(out, static_cast<int32_t>(static_cast<uint32_t>(n)));
    }
  }
  out->append(s);
}

// ---------------------------------------------------------------------------
// Files

bool ReadWhole(const std::string& path, std::string* out, bool* missing, std::string* reason) {
  *missing = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      *missing = true;
    } else {
      *reason = std::string("cannot be opened: ") + std::strerror(errno);
    }
    return false;
  }
  out->clear();
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      if (out->size() + static_cast<size_t>(n) > kMaxSiteDatBytes) {
        *reason = "larger than " + std::to_string(kMaxSiteDatBytes) + " bytes";
        ::close(fd);
        return false;
      }
      out->append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      *reason = std::string("cannot be read: ") + std::strerror(errno);
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  return true;
}

// Copies the file at path to path + ".bad" (replacing an older copy), byte
// for byte, whatever its size.
bool PreserveDamaged(const std::string& path, std::string* reason) {
  const int src = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (src < 0) {
    if (errno == ENOENT) return true;  // gone meanwhile: nothing left to keep
    *reason = std::string("cannot open the damaged file to keep it: ") + std::strerror(errno);
    return false;
  }
  struct stat st{};
  const unsigned mode = ::fstat(src, &st) == 0 ? (st.st_mode & 0777) : 0600;
  const bool ok = platform::ReplaceFileThrough(path + std::string(kDamagedSuffix), mode, [src](int dst) {
    char buf[65536];
    for (;;) {
      const ssize_t n = ::read(src, buf, sizeof buf);
      if (n == 0) return true;
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (!platform::WriteAll(dst, std::string_view(buf, static_cast<size_t>(n)))) return false;
    }
  });
  ::close(src);
  if (!ok) *reason = "cannot copy the damaged file to " + path + std::string(kDamagedSuffix);
  return ok;
}


bool HasControl(std::string_view s) {
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return true;
  }
  return false;
}

void AddKey(std::string* out, const char* format, size_t number, std::string_view value) {
  char key[32];
  std::snprintf(key, sizeof key, format, static_cast<int>(number));
  out->append(platform::ProfileKeyLine(key, value));
  out->push_back('\n');
}

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

SiteFieldError CheckFields(const SiteRecord& site) {
  if (site.name.empty()) return SiteFieldError::kEmptyName;
  if (site.address.empty()) return SiteFieldError::kEmptyAddress;
  for (const std::string* text : {&site.name, &site.address, &site.user_id, &site.password, &site.model}) {
    if (text->size() > static_cast<size_t>(kSiteFieldChars)) return SiteFieldError::kTooLong;
    if (HasControl(*text)) return SiteFieldError::kControlCharacter;
  }
  if (site.base_port < kMinSitePort || site.base_port > kMaxSitePort) return SiteFieldError::kBadPort;
  return SiteFieldError::kNone;
}

}  // namespace

size_t SiteDirectoryData::SiteCount() const {
  size_t n = 0;
  for (const SiteGroup& g : groups) n += g.sites.size();
  return n;
}

std::string SiteDatPath() { return platform::UserFile(kSiteDatFileName); }
std::string SiteMirrorPath() { return platform::UserFile(kSiteMirrorFileName); }

std::string CutSiteText(std::string_view s, size_t max_bytes) {
  const size_t nul = s.find('\0');
  if (nul != std::string_view::npos) s = s.substr(0, nul);
  if (s.size() <= max_bytes) return std::string(s);
  // Back off over continuation bytes so a multi-byte character is not split;
  // at most three, so text in another encoding loses at most that much.
  size_t cut = max_bytes;
  for (int i = 0; i < 3 && cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80; ++i) --cut;
  if ((static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) cut = max_bytes;  // not UTF-8 after all
  return std::string(s.substr(0, cut));
}

bool DecodeSiteDirectory(std::string_view bytes, SiteDirectoryData* dir, std::string* reason) {
  dir->groups.clear();
  if (bytes.size() > kMaxSiteDatBytes) {
    *reason = "larger than " + std::to_string(kMaxSiteDatBytes) + " bytes";
    return false;
  }
  if (!Decode(bytes, dir, reason)) {
    dir->groups.clear();
    return false;
  }
  return true;
}

std::string EncodeSiteDirectory(const SiteDirectoryData& dir) {
  std::string out;
  out.reserve(4 + dir.groups.size() * 16 + dir.SiteCount() * 64);
  PutInt32(&out, static_cast<int32_t>(dir.groups.size()));
  for (const SiteGroup& g : dir.groups) PutInt32(&out, static_cast<int32_t>(g.sites.size()));
  for (const SiteGroup& g : dir.groups) PutString(&out, g.name);
  for (const SiteGroup& g : dir.groups) {
    for (const SiteRecord& s : g.sites) {
      PutString(&out, CutSiteText(s.name));
      PutString(&out, CutSiteText(s.address));
      PutString(&out, CutSiteText(s.user_id));
      PutString(&out, CutSiteText(s.password));
      PutString(&out, CutSiteText(s.model));
      PutInt32(&out, s.base_port);
      PutInt32(&out, (s.channel_count < 0 || s.channel_count > 16) ? 4 : s.channel_count);
      PutInt32(&out, s.platform_code);
    }
  }
  return out;
}

SiteLoadResult LoadSiteDirectory(const std::string& path, SiteDirectoryData* dir) {
  SiteLoadResult result;
  dir->groups.clear();
  std::string bytes;
  bool missing = false;
  if (!ReadWhole(path, &bytes, &missing, &result.reason)) {
    result.status = missing ? SiteLoadStatus::kMissing : SiteLoadStatus::kDamaged;
  } else if (!DecodeSiteDirectory(bytes, dir, &result.reason)) {
    result.status = SiteLoadStatus::kDamaged;
  }
  result.preserve_before_save = result.status == SiteLoadStatus::kDamaged;
  return result;
}


std::string MirrorText(const SiteDirectoryData& dir) {
  std::string out = "[DVRLIST]\n";
  out.append(platform::ProfileKeyLine("TOTAL_GROUP", std::to_string(dir.groups.size())));
  out.push_back('\n');
  if (dir.groups.empty()) return out;
  out.append("\n[GROUP]\n");
  for (size_t g = 0; g < dir.groups.size(); ++g) {
    AddKey(&out, "GROUP_NUM%02d", g + 1, std::to_string(dir.groups[g].sites.size()));
    AddKey(&out, "GROUP_NAME%02d", g + 1, dir.groups[g].name);
  }
  for (size_t g = 0; g < dir.groups.size(); ++g) {
    const std::vector<SiteRecord>& sites = dir.groups[g].sites;
    if (sites.empty()) continue;
    char section[32];
    std::snprintf(section, sizeof section, "SITE_INFO%02d", static_cast<int>(g + 1));
    out.append("\n[").append(section).append("]\n");
    for (size_t s = 0; s < sites.size(); ++s) {
      AddKey(&out, "NAME%02d", s + 1, CutSiteText(sites[s].name));
      AddKey(&out, "IP%02d", s + 1, CutSiteText(sites[s].address));
      AddKey(&out, "ID%02d", s + 1, CutSiteText(sites[s].user_id));
      AddKey(&out, "PW%02d", s + 1, CutSiteText(sites[s].password));
      AddKey(&out, "PORT%02d", s + 1, TwoDigits(sites[s].base_port));
      AddKey(&out, "CH_NUM%02d", s + 1, TwoDigits(sites[s].channel_count));
    }
  }
  return out;
}


SiteSaveResult SaveSiteDirectory(const std::string& path, const std::string& mirror_ini_path,
                                 const SiteDirectoryData& dir, SiteLoadResult* last_load) {
  SiteSaveResult result;
  if (dir.groups.size() > static_cast<size_t>(kMaxSiteGroups)) {
    result.status = SiteSaveStatus::kTooManyGroups;
    result.reason = "more than " + std::to_string(kMaxSiteGroups) + " groups";
    return result;
  }
  if (last_load != nullptr && last_load->preserve_before_save) {
    if (!PreserveDamaged(path, &result.reason)) {
      result.status = SiteSaveStatus::kPreserveFailed;
      return result;
    }
    last_load->preserve_before_save = false;
  }
  if (!platform::ReplaceFileAtomically(path, EncodeSiteDirectory(dir), kPrivateFileMode)) {
    result.status = SiteSaveStatus::kWriteFailed;
    result.reason = "cannot write " + path + ": " + std::strerror(errno);
    return result;
  }
  if (!platform::ReplaceFileAtomically(mirror_ini_path, MirrorText(dir), kPrivateFileMode)) {
    result.status = SiteSaveStatus::kMirrorFailed;
    result.reason = "cannot write " + mirror_ini_path + ": " + std::strerror(errno);
  }
  return result;
}

// ---------------------------------------------------------------------------
// Choices

std::string PortRangeLabel(int base) {
  char text[48];
  std::snprintf(text, sizeof text, "%d ~ %lld", base, static_cast<long long>(base) + 4);
  return text;
}

PortChoices MakePortChoices(int stored_port) {
  PortChoices c;
  c.selected = -1;
  for (int k = 0; k < kPortRangeCount; ++k) {
    const int base = kFirstPortBase + kPortBaseStep * k;
    if (base == stored_port) c.selected = k;
    c.bases.push_back(base);
    c.labels.push_back(PortRangeLabel(base));
  }
  if (c.selected < 0) {
    c.selected = kPortRangeCount;
    c.bases.push_back(stored_port);
    c.labels.push_back(PortRangeLabel(stored_port));
  }
  return c;
}

int ChannelChoiceIndex(int channel_count) {
  switch (channel_count) {
    case 4: return 0;
    case 8: return 1;
    case 9: return 2;
    default: return 3;
  }
}

int ChannelCountOfChoice(int index) {
  static constexpr int kCounts[kChannelChoiceCount] = {4, 8, 9, 16};
  return (index >= 0 && index < kChannelChoiceCount) ? kCounts[index] : 16;
}

// ---------------------------------------------------------------------------
// Lookups and checks

SitePosition FindSiteByName(const SiteDirectoryData& dir, std::string_view name, SitePosition except) {
  for (size_t g = 0; g < dir.groups.size(); ++g) {
    const std::vector<SiteRecord>& sites = dir.groups[g].sites;
    for (size_t s = 0; s < sites.size(); ++s) {
      if (static_cast<int>(g) == except.group && static_cast<int>(s) == except.site) continue;
      if (sites[s].name == name) return {static_cast<int>(g), static_cast<int>(s)};
    }
  }
  return {};
}

int FindGroupByName(const SiteDirectoryData& dir, std::string_view name) {
  for (size_t g = 0; g < dir.groups.size(); ++g) {
    if (dir.groups[g].name == name) return static_cast<int>(g);
  }
  return -1;
}

SiteFieldError CheckNewSite(const SiteDirectoryData& dir, const SiteRecord& site) {
  if (const SiteFieldError e = CheckFields(site); e != SiteFieldError::kNone) return e;
  if (site.channel_count != 4 && site.channel_count != 8 && site.channel_count != 9 && site.channel_count != 16) {
    return SiteFieldError::kBadChannelCount;
  }
  if (FindSiteByName(dir, site.name).Found()) return SiteFieldError::kDuplicateName;
  return SiteFieldError::kNone;
}

SiteFieldError CheckModifiedSite(const SiteDirectoryData& dir, SitePosition at, const SiteRecord& site) {
  if (const SiteFieldError e = CheckFields(site); e != SiteFieldError::kNone) return e;
  if (FindSiteByName(dir, site.name, at).Found()) return SiteFieldError::kDuplicateName;
  return SiteFieldError::kNone;
}

SiteFieldError CheckNewGroup(const SiteDirectoryData& dir, std::string_view name) {
  if (name.empty()) return SiteFieldError::kEmptyName;
  if (HasControl(name)) return SiteFieldError::kControlCharacter;
  if (name.size() > 255) return SiteFieldError::kTooLong;
  if (FindGroupByName(dir, name) >= 0) return SiteFieldError::kDuplicateGroup;
  if (dir.groups.size() >= static_cast<size_t>(kMaxSiteGroups)) return SiteFieldError::kTooManyGroups;
  return SiteFieldError::kNone;
}

int SiteFieldMessage(SiteFieldError error) { return error == SiteFieldError::kDuplicateName ? 33 : 0; }

const char* SiteFieldErrorText(SiteFieldError error) {
  switch (error) {
    case SiteFieldError::kNone: return "";
    case SiteFieldError::kEmptyName: return "the name is empty";
    case SiteFieldError::kDuplicateName: return "a site with this name already exists";
    case SiteFieldError::kEmptyAddress: return "the address is empty";
    case SiteFieldError::kBadPort: return "the port must be within 1..65532";
    case SiteFieldError::kBadChannelCount: return "the channel count must be 4, 8, 9 or 16";
    case SiteFieldError::kTooLong: return "a text is too long (31 bytes for a site's fields, 255 for a group)";
    case SiteFieldError::kControlCharacter: return "a text holds a control character";
    case SiteFieldError::kDuplicateGroup: return "a group with this name already exists";
    case SiteFieldError::kTooManyGroups: return "the directory already holds 1024 groups";
  }
  return "";
}
