// Feeds arbitrary bytes to the two readers of the site stores: as site.dat
// (a directory that loads must stay within its bounds and save back to bytes
// that load to the same directory) and as predvr_list3.ini (the lists read
// must stay within their bounds, and saving them over the same file must read
// back the same lists).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "sites/predefined_lists.h"
#include "sites/site_directory_store.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "site_dat_fuzz: %s\n", what);
    std::abort();
  }
}

bool SameSite(const SiteRecord& a, const SiteRecord& b) {
  return a.name == b.name && a.model == b.model && a.address == b.address && a.user_id == b.user_id &&
         a.password == b.password && a.base_port == b.base_port && a.channel_count == b.channel_count &&
         a.platform_code == b.platform_code;
}

bool SameDirectory(const SiteDirectoryData& a, const SiteDirectoryData& b) {
  if (a.groups.size() != b.groups.size()) return false;
  for (size_t g = 0; g < a.groups.size(); ++g) {
    if (a.groups[g].name != b.groups[g].name || a.groups[g].sites.size() != b.groups[g].sites.size()) return false;
    for (size_t s = 0; s < a.groups[g].sites.size(); ++s) {
      if (!SameSite(a.groups[g].sites[s], b.groups[g].sites[s])) return false;
    }
  }
  return true;
}

bool Bounded(const std::string& s) { return s.size() <= 31 && s.find('\0') == std::string::npos; }

void SiteDat(std::string_view bytes) {
  SiteDirectoryData dir;
  std::string reason;
  if (!DecodeSiteDirectory(bytes, &dir, &reason)) {
    Check(dir.groups.empty() && !reason.empty(), "a refused file left groups or no reason");
    return;
  }
  Check(dir.groups.size() <= static_cast<size_t>(kMaxSiteGroups), "too many groups");
  for (const SiteGroup& g : dir.groups) {
    for (const SiteRecord& s : g.sites) {
      Check(Bounded(s.name) && Bounded(s.address) && Bounded(s.user_id) && Bounded(s.password) && Bounded(s.model),
            "a site text longer than 31 bytes");
      Check(s.channel_count >= 0 && s.channel_count <= 16, "channel count out of range");
    }
  }
  const std::string saved = EncodeSiteDirectory(dir);
  SiteDirectoryData back;
  Check(DecodeSiteDirectory(saved, &back, &reason), "saved bytes do not load");
  Check(SameDirectory(dir, back), "saved directory loads differently");
  Check(EncodeSiteDirectory(back) == saved, "saving is not stable");
  (void)MirrorText(dir);
}

// Text as it reads back after being written as a profile value.
std::string Written(std::string s) {
  for (char& c : s) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return s;
}

bool SameSlot(const PredefinedSlot& a, const PredefinedSlot& b) {
  return Written(a.dvr_name) == b.dvr_name && a.channel == b.channel && Written(a.address) == b.address &&
         Written(a.user_id) == b.user_id && Written(a.password) == b.password && a.port == b.port &&
         a.reg == b.reg && a.platform_code == b.platform_code;
}

void PredefinedText(const uint8_t* data, size_t size) {
  static const std::string path = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/tavrel_site_dat_fuzz_" + std::to_string(::getpid()) + ".ini";
  static const bool cleanup_registered = [] {
    std::atexit([] { std::remove(path.c_str()); });
    return true;
  }();
  (void)cleanup_registered;

  const std::vector<PredefinedList> lists =
      ParsePredefinedLists(std::string_view(reinterpret_cast<const char*>(data), size));
  Check(lists.size() <= static_cast<size_t>(kMaxPredefinedLists), "too many lists");
  for (const PredefinedList& list : lists) {
    Check(Bounded(list.name), "a list name longer than 31 bytes");
    for (int n : TreeSlotNumbers(list)) Check(IsAssigned(list.slots[static_cast<size_t>(n - 1)]), "a free slot shown");
  }

  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) return;
  if (!SavePredefinedLists(path, lists)) return;
  std::vector<PredefinedList> back;
  Check(LoadPredefinedLists(path, &back), "saved lists do not load");
  Check(back.size() == lists.size(), "saved lists load as another number");
  for (size_t i = 0; i < lists.size(); ++i) {
    Check(Written(lists[i].name) == back[i].name, "a list name changed");
    for (size_t n = 0; n < lists[i].slots.size(); ++n) {
      Check(SameSlot(lists[i].slots[n], back[i].slots[n]), "a slot changed");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SiteDat(std::string_view(reinterpret_cast<const char*>(data), size));
  PredefinedText(data, size);
  return 0;
}
