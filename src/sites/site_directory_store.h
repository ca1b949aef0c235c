// The site directory on disk: groups of sites in the binary file site.dat,
// mirrored on every save into the profile file site_db.ini (written, never
// read). Also the choices and checks the site dialog and tavrel-cli share.
//
// site.dat is a little-endian archive: int32 G; G int32 site counts; G group
// names; then per group, per site: name, address, user ID, password, model
// (strings), port, channel count, platform code (int32). A string is a
// length prefix and its bytes: one byte below 255; else 0xFF and a 16-bit
// length below 0xFFFE; else 0xFF, 0xFFFF and a 32-bit length.
//
// Reading trusts nothing: every count and length is checked against the bytes
// that remain, and any violation refuses the whole file. A refused file is
// never replaced without a copy: the first save after such a load keeps it as
// "site.dat.bad" beside the new file.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sites/site_record.h"

inline constexpr std::string_view kSiteDatFileName = "site.dat";
inline constexpr std::string_view kSiteMirrorFileName = "site_db.ini";
inline constexpr std::string_view kDamagedSuffix = ".bad";

inline constexpr int kMaxSiteGroups = 1024;  // the tree keeps one item per group in a table of 1024
// A larger site.dat is refused unread: it bounds the memory a load can take.
inline constexpr size_t kMaxSiteDatBytes = 16u << 20;

struct SiteGroup {
  std::string name;  // the tree item text; not cut, may repeat
  std::vector<SiteRecord> sites;  // in display order
};

struct SiteDirectoryData {
  std::vector<SiteGroup> groups;  // in display order, at most kMaxSiteGroups

  size_t SiteCount() const;
};

// Paths in the user folder.
std::string SiteDatPath();
std::string SiteMirrorPath();

// ---------------------------------------------------------------------------
// Loading and saving

enum class SiteLoadStatus {
  kOk,       // the file was read
  kMissing,  // no file: the directory is empty
  kDamaged,  // the file exists but was refused (unreadable, malformed, too large)
};

struct SiteLoadResult {
  SiteLoadStatus status = SiteLoadStatus::kOk;
  std::string reason;  // kDamaged: what is wrong (with the byte offset when malformed)
  // Set with kDamaged: the next SaveSiteDirectory given this result copies
  // the refused file to path + ".bad" before replacing it, then clears this.
  bool preserve_before_save = false;

  bool Ok() const { return status != SiteLoadStatus::kDamaged; }
};

// Reads path into *dir. A missing file gives an empty directory; a damaged
// one gives an empty directory and kDamaged. Texts of a site are cut to 31
// bytes (at the first NUL, and never inside a UTF-8 character); a channel
// count outside 0..16 reads as 4. Bytes after the last site refuse the file:
// they would otherwise be dropped unseen by the next save.
SiteLoadResult LoadSiteDirectory(const std::string& path, SiteDirectoryData* dir);

enum class SiteSaveStatus {
  kOk,
  kTooManyGroups,     // more than kMaxSiteGroups; nothing written
  kPreserveFailed,    // the damaged file could not be copied aside; nothing written
  kWriteFailed,       // site.dat could not be replaced; the old one stays whole
  kMirrorFailed,      // site.dat was saved, site_db.ini could not be written
};

struct SiteSaveResult {
  SiteSaveStatus status = SiteSaveStatus::kOk;
  std::string reason;

  bool Ok() const { return status == SiteSaveStatus::kOk; }
};

// Writes dir to path (through a temporary file that is flushed and renamed
// over it) and then the whole of mirror_ini_path the same way. Texts are cut
// as loading would cut them, so what is saved loads back unchanged. With
// last_load carrying preserve_before_save, the file at path is first copied
// to path + ".bad"; when that fails nothing is written. New files are created
// readable by the owner only: both hold passwords in plain text.
SiteSaveResult SaveSiteDirectory(const std::string& path, const std::string& mirror_ini_path,
                                 const SiteDirectoryData& dir, SiteLoadResult* last_load = nullptr);

// The bytes of site.dat for dir, and back. DecodeSiteDirectory applies the
// checks and cuts of LoadSiteDirectory; on failure *dir is empty and *reason
// says why.
std::string EncodeSiteDirectory(const SiteDirectoryData& dir);
bool DecodeSiteDirectory(std::string_view bytes, SiteDirectoryData* dir, std::string* reason);

// The text of site_db.ini for dir: "DVRLIST" "TOTAL_GROUP", "GROUP"
// "GROUP_NUM%02d"/"GROUP_NAME%02d", and per group "SITE_INFO%02d" with
// "NAME%02d", "IP%02d", "ID%02d", "PW%02d", "PORT%02d", "CH_NUM%02d".
std::string MirrorText(const SiteDirectoryData& dir);

// s up to its first NUL and at most max_bytes long, cut before a UTF-8
// character that would not fit whole.
std::string CutSiteText(std::string_view s, size_t max_bytes = kSiteFieldChars);

// ---------------------------------------------------------------------------
// File helpers the stores of this folder share

// New store files are readable by their owner only: they hold passwords in
// plain text. Files are replaced whole with platform::ReplaceFileAtomically.
inline constexpr unsigned kPrivateFileMode = 0600;

// ---------------------------------------------------------------------------
// Choices of the site dialog

// 16 port ranges "7620 ~ 7624" ... "7770 ~ 7774"; the stored port is the base.
inline constexpr int kPortRangeCount = 16;
inline constexpr int kFirstPortBase = 7620;
inline constexpr int kPortBaseStep = 10;
inline constexpr int kMinSitePort = 1;
inline constexpr int kMaxSitePort = 65532;  // the site uses the three ports above its base

std::string PortRangeLabel(int base);  // "%d ~ %d": base and base + 4

struct PortChoices {
  std::vector<int> bases;           // the 16 ranges, then the stored port when it is not one of them
  std::vector<std::string> labels;  // one per base
  int selected = 0;                 // index of the stored port
};
// The choices for a site whose stored port is stored_port. A port that is
// not one of the 16 bases is offered as a 17th choice and selected, so
// pressing OK never changes it unasked.
PortChoices MakePortChoices(int stored_port);

// "4CH", "8CH", "9CH", "16CH": 4 -> 0, 8 -> 1, 9 -> 2, any other count -> 3.
inline constexpr int kChannelChoiceCount = 4;
inline constexpr const char* kChannelChoiceLabels[kChannelChoiceCount] = {"4CH", "8CH", "9CH", "16CH"};
int ChannelChoiceIndex(int channel_count);
int ChannelCountOfChoice(int index);  // 16 for an index out of range

// ---------------------------------------------------------------------------
// Lookups and checks

struct SitePosition {
  int group = -1;
  int site = -1;
  bool Found() const { return group >= 0 && site >= 0; }
};

// The first site named name in any group (exact byte comparison), skipping
// the site at except; not Found() when there is none.
SitePosition FindSiteByName(const SiteDirectoryData& dir, std::string_view name, SitePosition except = {});
// Index of the first group named name, or -1.
int FindGroupByName(const SiteDirectoryData& dir, std::string_view name);

enum class SiteFieldError {
  kNone,
  kEmptyName,
  kDuplicateName,     // another site (in any group) has the name
  kEmptyAddress,
  kBadPort,           // not within 1..65532
  kBadChannelCount,   // not 4, 8, 9 or 16
  kTooLong,           // a site's text longer than 31 bytes, a group name longer than 255
  kControlCharacter,  // a text holding a control character
  kDuplicateGroup,    // another group has the name
  kTooManyGroups,     // the directory holds kMaxSiteGroups groups
};

// A site about to be added to dir.
SiteFieldError CheckNewSite(const SiteDirectoryData& dir, const SiteRecord& site);
// The site at `at` about to be given the fields of `site`. The channel count
// is not edited and not checked; the name must not be another site's.
SiteFieldError CheckModifiedSite(const SiteDirectoryData& dir, SitePosition at, const SiteRecord& site);
// A group about to be added.
SiteFieldError CheckNewGroup(const SiteDirectoryData& dir, std::string_view name);

// The MESSAGE number to show for an error (33 for a duplicate site name,
// shown as "%s %s" with the name), or 0 when the language file has no text
// for it and SiteFieldErrorText is shown instead.
int SiteFieldMessage(SiteFieldError error);
// A short English text for the error ("" for kNone).
const char* SiteFieldErrorText(SiteFieldError error);
