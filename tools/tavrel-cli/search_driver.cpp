#include "search_driver.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "output.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "playback/playback_session.h"

SearchSite::SearchSite(const CliArgs& opts, long base_port, long connect_timeout_s)
    : site_(SiteRecordFromOptions(opts, base_port)) {
  site_.Control().SetConnectTimeout(static_cast<int>(connect_timeout_s));
  site_.SetObserver(&codes_);
}

SearchSite::~SearchSite() {
  site_.DeletePlaybackSession();
  site_.StopAll();
  site_.SetObserver(nullptr);
}

bool SearchSite::WaitFor(int code, long timeout_ms) {
  const int64_t deadline = platform::MonotonicMs() + timeout_ms;
  while (!lost_) {
    const int64_t left = deadline - platform::MonotonicMs();
    if (left <= 0) return false;
    const int got = codes_.Next(static_cast<long>(left));
    if (got == code) return true;
    if (got == kNotifyConnectionLost || IsLoginFailure(got)) lost_ = true;
  }
  return false;
}

bool SearchSite::Connect(const char* command, long timeout_ms) {
  site_.StartControl();
  if (!WaitFor(kNotifyLoggedIn, timeout_ms)) {
    ErrLine("tavrel-cli %s: no session with the DVR", command);
    return false;
  }
  site_.SendFollowUpRequests();
  // The system information (channel count), the description (platform code)
  // and the time zone come in any order.
  const int64_t deadline = platform::MonotonicMs() + timeout_ms;
  bool description = false;
  bool system_info = false;
  while (!lost_ && !(description && system_info && site_.TimeZoneKnown())) {
    const int64_t left = deadline - platform::MonotonicMs();
    if (left <= 0) break;
    const int got = codes_.Next(std::min<long>(static_cast<long>(left), 50));
    if (got == 40) description = true;
    if (got == 51) system_info = true;
    if (got == kNotifyConnectionLost) lost_ = true;
  }
  if (!description || !system_info || !site_.TimeZoneKnown()) {
    ErrLine("tavrel-cli %s: the DVR did not describe itself", command);
    return false;
  }
  return true;
}

bool SearchSite::SearchMonth(int year, int month, uint8_t days[31], long timeout_ms) {
  if (site_.SendMonthSearch(static_cast<uint32_t>(year), static_cast<uint32_t>(month), 0) <= 0) return false;
  if (!WaitFor(kDataRecordDays, timeout_ms)) return false;
  site_.RecordDays(nullptr, nullptr, days);
  return true;
}

bool SearchSite::SearchDay(int year, int month, int day, uint8_t minutes[1440], long timeout_ms) {
  if (site_.SendDaySearch(year, month, day) <= 0) return false;
  if (!WaitFor(kDataRecordMinutes, timeout_ms)) return false;
  site_.RecordMinutes(minutes);
  return true;
}

bool ParseDate(const std::string& text, int* year, int* month, int* day) {
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", year, month, day, &used) != 3 ||
      used != static_cast<int>(text.size())) {
    return false;
  }
  return *year >= 1970 && *year <= 2105 && *month >= 1 && *month <= 12 && *day >= 1 && *day <= 31;
}

bool ParseDateTime(const std::string& text, int* year, int* month, int* day, int* hour, int* minute, int* second) {
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", year, month, day, hour, minute, second, &used) != 6 ||
      used != static_cast<int>(text.size())) {
    return false;
  }
  return *year >= 1970 && *year <= 2105 && *month >= 1 && *month <= 12 && *day >= 1 && *day <= 31 &&
         *hour >= 0 && *hour <= 23 && *minute >= 0 && *minute <= 59 && *second >= 0 && *second <= 59;
}

std::string EnglishText(const char* section, int number, const std::string& language_file) {
  namespace fs = std::filesystem;
  constexpr const char* kFile = "Eng_QuorvantaString.ini";
  std::vector<fs::path> candidates;
  if (!language_file.empty()) {
    candidates.emplace_back(language_file);
  } else {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
      const fs::path dir = exe.parent_path();
      candidates.push_back(dir / "Skin" / kFile);
      candidates.push_back(dir / ".." / ".." / "bin" / "Skin" / kFile);  // the build tree
      candidates.push_back(dir / ".." / "share" / "tavrel" / "Skin" / kFile);
    }
  }
  for (const fs::path& path : candidates) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) continue;
    std::string text = platform::GetProfileString(path.string(), section, std::to_string(number), "");
    if (!text.empty()) return text;
  }
  return {};
}
