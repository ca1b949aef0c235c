// SiteRecord: the stored fields of one DVR site. The site directory keeps
// them, the site dialog edits them and the site object connects with them.
#pragma once
#include <string>

inline constexpr int kSiteFieldChars = 31;  // every text field holds at most 31 characters
inline constexpr const char* kDefaultSiteModel = "QRT-2719B";
inline constexpr const char* kDefaultSiteUser = "netuser";

struct SiteRecord {
  std::string name;  // unique in the whole directory (exact byte comparison)
  std::string model = kDefaultSiteModel;
  std::string address;  // host name or dotted IPv4 address
  std::string user_id = kDefaultSiteUser;
  std::string password;
  int base_port = 7620;  // control + 1, live and playback + 2, file backup + 3
  int channel_count = 16;
  // 160..164 from the DVR's description; seeds the decoders until the DVR
  // tells, and is written back when it changes.
  int platform_code = 163;
};
