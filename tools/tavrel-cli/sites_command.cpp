// tavrel-cli sites: lists and changes the site directory (site.dat and its
// mirror site_db.ini in the user folder) with the checks of the site dialog,
// and moves it to and from CSV files. A site.dat that does not load is never
// written over: every changing command refuses to run.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli_args.h"

#include "platform/file_replace.h"
#include "platform/profile.h"
#include "commands.h"
#include "output.h"
#include "platform/user_folder.h"
#include "sites/site_directory_store.h"

namespace {

constexpr int kUsageError = 2;
constexpr size_t kMaxCsvBytes = 16u << 20;
constexpr const char* kCsvHeader = "group,name,address,port,channels,platform,model,user,password";
constexpr size_t kCsvFields = 9;

struct Folder {
  std::string path;
  std::string dat;
  std::string mirror;
};

// A value as it appears in a list line: as it stands, or in double quotes
// (with \" \\ and \xHH for control bytes) when it is empty or holds a blank,
// '=', a quote, a backslash or a control byte.
std::string Field(std::string_view v) {
  bool plain = !v.empty();
  for (char c : v) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '=' || c == '"' || c == '\\') plain = false;
  }
  if (plain) return std::string(v);
  std::string out = "\"";
  for (char c : v) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (u < 0x20 || u == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out.append("\\x").push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 0xF]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

void PrintSite(const std::string& group, const SiteRecord& s) {
  OutLine("site group=%s name=%s address=%s port=%d channels=%d platform=%d model=%s user=%s", Field(group).c_str(),
          Field(s.name).c_str(), Field(s.address).c_str(), s.base_port, s.channel_count, s.platform_code,
          Field(s.model).c_str(), Field(s.user_id).c_str());
}

// Loads the directory; false (with the reason on stderr) when site.dat exists
// but does not load.
bool Load(const Folder& f, SiteDirectoryData* dir) {
  const SiteLoadResult r = LoadSiteDirectory(f.dat, dir);
  if (r.Ok()) return true;
  ErrLine("tavrel-cli sites: %s is damaged (%s); it is left as it is", f.dat.c_str(), r.reason.c_str());
  return false;
}

bool Save(const Folder& f, const SiteDirectoryData& dir) {
  if (!platform::MakeFolders(f.path)) {
    ErrLine("tavrel-cli sites: cannot create the folder %s", f.path.c_str());
    return false;
  }
  const SiteSaveResult r = SaveSiteDirectory(f.dat, f.mirror, dir);
  if (!r.Ok()) ErrLine("tavrel-cli sites: %s", r.reason.c_str());
  return r.Ok();
}

bool ParseInt(const std::string& text, int* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

// The site checks of the dialog plus the platform code range.
std::string CheckSite(const SiteDirectoryData& dir, const SiteRecord& s) {
  const SiteFieldError e = CheckNewSite(dir, s);
  if (e == SiteFieldError::kDuplicateName) return std::string(SiteFieldErrorText(e)) + ": " + s.name;
  if (e != SiteFieldError::kNone) return SiteFieldErrorText(e);
  if (s.platform_code < 160 || s.platform_code > 164) return "the platform code must be within 160..164";
  return "";
}

// ---------------------------------------------------------------------------
// CSV (RFC 4180): fields separated by commas, records by CRLF or LF; a field
// in double quotes may hold commas, line breaks and doubled quotes.

struct CsvRecord {
  int line = 0;  // where the record starts, from 1
  std::vector<std::string> fields;
};

bool ParseCsv(std::string_view text, std::vector<CsvRecord>* records, std::string* error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t i = 0;
  int line = 1;
  while (i < text.size()) {
    CsvRecord rec;
    rec.line = line;
    for (;;) {
      std::string field;
      if (i < text.size() && text[i] == '"') {
        ++i;
        for (;;) {
          if (i >= text.size()) {
            *error = "line " + std::to_string(rec.line) + ": a quoted field is not closed";
            return false;
          }
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              field.push_back('"');
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          if (text[i] == '\n') ++line;
          field.push_back(text[i++]);
        }
        const bool at_end = i >= text.size() || text[i] == ',' || text[i] == '\n' ||
                            (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
        if (!at_end) {
          *error = "line " + std::to_string(line) + ": text after a closing quote";
          return false;
        }
      } else {
        while (i < text.size() && text[i] != ',' && text[i] != '\n' &&
               !(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
          if (text[i] == '"') {
            *error = "line " + std::to_string(line) + ": a quote inside an unquoted field";
            return false;
          }
          field.push_back(text[i++]);
        }
      }
      rec.fields.push_back(std::move(field));
      if (i < text.size() && text[i] == ',') {
        ++i;
        continue;
      }
      if (i < text.size()) {
        i += text[i] == '\r' ? 2 : 1;
        ++line;
      }
      break;
    }
    // Blank lines hold no record.
    if (!(rec.fields.size() == 1 && rec.fields[0].empty())) records->push_back(std::move(rec));
  }
  return true;
}

std::string JoinedHeader(const CsvRecord& rec) {
  std::string joined;
  for (size_t i = 0; i < rec.fields.size(); ++i) joined += (i == 0 ? "" : ",") + rec.fields[i];
  return joined;
}

std::string CsvField(std::string_view v) {
  const bool quote = v.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!v.empty() && (v.front() == ' ' || v.back() == ' '));
  if (!quote) return std::string(v);
  std::string out = "\"";
  for (char c : v) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

bool ReadSmallFile(const std::string& path, std::string* out, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = std::string("cannot open ") + path + ": " + std::strerror(errno);
    return false;
  }
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = std::string("cannot read ") + path + ": " + std::strerror(errno);
      break;
    }
    if (n == 0) {
      ::close(fd);
      return true;
    }
    if (out->size() + static_cast<size_t>(n) > kMaxCsvBytes) {
      *error = path + " is larger than 16 MiB";
      break;
    }
    out->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return false;
}

// ---------------------------------------------------------------------------
// Subcommands

int List(const Folder& f) {
  SiteDirectoryData dir;
  if (!Load(f, &dir)) return 1;
  for (const SiteGroup& g : dir.groups) {
    OutLine("group %s", Field(g.name).c_str());
    for (const SiteRecord& s : g.sites) PrintSite(g.name, s);
  }
  return 0;
}

int AddGroup(const Folder& f, const std::string& name) {
  SiteDirectoryData dir;
  if (!Load(f, &dir)) return 1;
  if (const SiteFieldError e = CheckNewGroup(dir, name); e != SiteFieldError::kNone) {
    ErrLine("tavrel-cli sites: cannot add the group: %s", SiteFieldErrorText(e));
    return 1;
  }
  dir.groups.push_back(SiteGroup{name, {}});
  if (!Save(f, dir)) return 1;
  OutLine("group %s", Field(name).c_str());
  return 0;
}

int AddSite(const Folder& f, CliArgs& args) {
  for (const char* required : {"--group", "--name", "--address"}) {
    if (!args.Has(required)) {
      ErrLine("tavrel-cli sites add: %s is required", required);
      return kUsageError;
    }
  }
  SiteRecord s;
  s.name = *args.Value("--name");
  s.address = *args.Value("--address");
  if (auto v = args.Value("--user")) s.user_id = *v;
  if (auto v = args.Value("--password")) s.password = *v;
  s.base_port = static_cast<int>(args.Int("--port", s.base_port, INT_MIN, INT_MAX));
  s.channel_count = static_cast<int>(args.Int("--channels", s.channel_count, INT_MIN, INT_MAX));
  s.platform_code = static_cast<int>(args.Int("--platform", s.platform_code, INT_MIN, INT_MAX));
  if (!args.Ok()) {
    ErrLine("tavrel-cli sites add: %s", args.Error().c_str());
    return kUsageError;
  }
  SiteDirectoryData dir;
  if (!Load(f, &dir)) return 1;
  const std::string group = *args.Value("--group");
  const int g = FindGroupByName(dir, group);
  if (g < 0) {
    ErrLine("tavrel-cli sites add: no group named %s", group.c_str());
    return 1;
  }
  if (const std::string error = CheckSite(dir, s); !error.empty()) {
    ErrLine("tavrel-cli sites add: %s", error.c_str());
    return 1;
  }
  dir.groups[static_cast<size_t>(g)].sites.push_back(s);
  if (!Save(f, dir)) return 1;
  PrintSite(group, s);
  return 0;
}

int Remove(const Folder& f, const CliArgs& args) {
  if (!args.Has("--group")) {
    ErrLine("tavrel-cli sites remove: --group is required");
    return kUsageError;
  }
  SiteDirectoryData dir;
  if (!Load(f, &dir)) return 1;
  const std::string group = *args.Value("--group");
  const int g = FindGroupByName(dir, group);
  if (g < 0) {
    ErrLine("tavrel-cli sites remove: no group named %s", group.c_str());
    return 1;
  }
  std::vector<SiteRecord>& sites = dir.groups[static_cast<size_t>(g)].sites;
  if (const auto name = args.Value("--name")) {
    size_t s = 0;
    while (s < sites.size() && sites[s].name != *name) ++s;
    if (s == sites.size()) {
      ErrLine("tavrel-cli sites remove: no site named %s in group %s", name->c_str(), group.c_str());
      return 1;
    }
    sites.erase(sites.begin() + static_cast<long>(s));
    if (!Save(f, dir)) return 1;
    OutLine("removed site group=%s name=%s", Field(group).c_str(), Field(*name).c_str());
    return 0;
  }
  const size_t count = sites.size();
  dir.groups.erase(dir.groups.begin() + g);
  if (!Save(f, dir)) return 1;
  OutLine("removed group=%s sites=%zu", Field(group).c_str(), count);
  return 0;
}

int Import(const Folder& f, const std::string& file) {
  std::string text, error;
  if (!ReadSmallFile(file, &text, &error)) {
    ErrLine("tavrel-cli sites import: %s", error.c_str());
    return 1;
  }
  std::vector<CsvRecord> records;
  if (!ParseCsv(text, &records, &error)) {
    ErrLine("tavrel-cli sites import: %s: %s", file.c_str(), error.c_str());
    return 1;
  }
  auto bad = [&](int line, const std::string& why) {
    ErrLine("tavrel-cli sites import: %s line %d: %s; nothing was imported", file.c_str(), line, why.c_str());
    return 1;
  };
  if (records.empty() || records[0].line != 1 || JoinedHeader(records[0]) != kCsvHeader) {
    return bad(1, std::string("the first line must be ") + kCsvHeader);
  }
  SiteDirectoryData dir;
  if (!Load(f, &dir)) return 1;
  size_t added_sites = 0, added_groups = 0;
  for (size_t r = 1; r < records.size(); ++r) {
    const CsvRecord& rec = records[r];
    if (rec.fields.size() != kCsvFields) {
      return bad(rec.line, std::to_string(kCsvFields) + " fields expected, found " + std::to_string(rec.fields.size()));
    }
    const std::vector<std::string>& v = rec.fields;
    int g = FindGroupByName(dir, v[0]);
    if (g < 0) {
      if (const SiteFieldError e = CheckNewGroup(dir, v[0]); e != SiteFieldError::kNone) {
        return bad(rec.line, std::string("group: ") + SiteFieldErrorText(e));
      }
      dir.groups.push_back(SiteGroup{v[0], {}});
      g = static_cast<int>(dir.groups.size() - 1);
      ++added_groups;
    }
    bool group_only = true;
    for (size_t i = 1; i < kCsvFields; ++i) group_only = group_only && v[i].empty();
    if (group_only) continue;  // a group without sites

    SiteRecord s;
    s.name = v[1];
    s.address = v[2];
    const struct {
      const std::string& text;
      int* out;
      const char* what;
    } numbers[] = {{v[3], &s.base_port, "port"}, {v[4], &s.channel_count, "channels"},
                   {v[5], &s.platform_code, "platform"}};
    for (const auto& n : numbers) {
      if (!n.text.empty() && !ParseInt(n.text, n.out)) return bad(rec.line, std::string(n.what) + " is not a number");
    }
    if (!v[6].empty()) s.model = v[6];
    if (!v[7].empty()) s.user_id = v[7];
    s.password = v[8];
    if (const std::string e = CheckSite(dir, s); !e.empty()) return bad(rec.line, e);
    dir.groups[static_cast<size_t>(g)].sites.push_back(std::move(s));
    ++added_sites;
  }
  if (added_sites + added_groups > 0 && !Save(f, dir)) return 1;
  OutLine("imported sites=%zu groups=%zu", added_sites, added_groups);
  return 0;
}

int Export(const Folder& f, const std::string& file) {
  SiteDirectoryData dir;
  if (!Load(f, &dir)) return 1;
  std::string out = std::string(kCsvHeader) + "\r\n";
  for (const SiteGroup& g : dir.groups) {
    if (g.sites.empty()) out += CsvField(g.name) + ",,,,,,,,\r\n";
    for (const SiteRecord& s : g.sites) {
      const std::string fields[kCsvFields] = {g.name,
                                              s.name,
                                              s.address,
                                              std::to_string(s.base_port),
                                              std::to_string(s.channel_count),
                                              std::to_string(s.platform_code),
                                              s.model,
                                              s.user_id,
                                              s.password};
      for (size_t i = 0; i < kCsvFields; ++i) out += (i == 0 ? "" : ",") + CsvField(fields[i]);
      out += "\r\n";
    }
  }
  if (!platform::ReplaceFileAtomically(file, out, kPrivateFileMode)) {
    ErrLine("tavrel-cli sites export: cannot write %s: %s", file.c_str(), std::strerror(errno));
    return 1;
  }
  OutLine("exported sites=%zu groups=%zu", dir.SiteCount(), dir.groups.size());
  return 0;
}

}  // namespace

int RunSites(const std::vector<std::string>& args) {
  static const std::set<std::string> kValueOptions = {"--home",     "--group", "--name",     "--address", "--port",
                                                      "--channels", "--user",  "--password", "--platform"};
  std::vector<std::string> options, words;
  bool only_words = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!only_words && a == "--") {
      only_words = true;
    } else if (!only_words && a.rfind("--", 0) == 0) {
      options.push_back(a);
      if (kValueOptions.count(a) != 0 && i + 1 < args.size()) options.push_back(args[++i]);
    } else {
      words.push_back(a);
    }
  }
  CliArgs opts(options, kValueOptions, {});
  if (!opts.Ok() || words.empty()) {
    ErrLine("tavrel-cli sites: %s (see tavrel-cli --help)", opts.Ok() ? "a subcommand is needed" : opts.Error().c_str());
    return kUsageError;
  }
  const std::string sub = words[0];
  const std::set<std::string> allowed = sub == "add"      ? kValueOptions
                                        : sub == "remove" ? std::set<std::string>{"--home", "--group", "--name"}
                                                          : std::set<std::string>{"--home"};
  for (size_t i = 0; i < options.size(); i += 2) {
    if (allowed.count(options[i]) == 0) {
      ErrLine("tavrel-cli sites %s: option %s does not apply", sub.c_str(), options[i].c_str());
      return kUsageError;
    }
  }
  const size_t want_words = (sub == "add-group" || sub == "import" || sub == "export") ? 2 : 1;
  if (words.size() != want_words) {
    ErrLine("tavrel-cli sites %s: %s", sub.c_str(),
            want_words == 2 ? "one name or file is expected" : "no further words are expected");
    return kUsageError;
  }

  Folder f;
  const auto home = opts.Value("--home");
  // The same rule as the client's: $TAVREL_HOME, else --home, else the default.
  f.path = platform::ResolveUserFolder(home ? *home : std::string());
  while (f.path.size() > 1 && f.path.back() == '/') f.path.pop_back();
  f.dat = f.path + "/" + std::string(kSiteDatFileName);
  f.mirror = f.path + "/" + std::string(kSiteMirrorFileName);

  if (sub == "list") return List(f);
  if (sub == "add-group") return AddGroup(f, words[1]);
  if (sub == "add") return AddSite(f, opts);
  if (sub == "remove") return Remove(f, opts);
  if (sub == "import") return Import(f, words[1]);
  if (sub == "export") return Export(f, words[1]);
  ErrLine("tavrel-cli sites: unknown subcommand %s", sub.c_str());
  return kUsageError;
}
