// What the search and playback commands share: a site logged in as the
// playback panel finds it (platform, channel count and time zone known), the
// month and day searches run to their data codes, and the options and texts
// they have in common.
#pragma once
#include <cstdint>
#include <string>

#include "cli_args.h"
#include "site_driver.h"
#include "sites/dvr_site.h"

// The options every search and playback command takes besides its own.
inline constexpr const char* kSearchCommonOptions[] = {"--host", "--port", "--user", "--password",
                                                       "--connect-timeout"};

class SearchSite {
 public:
  SearchSite(const CliArgs& opts, long base_port, long connect_timeout_s);
  ~SearchSite();

  // Logs in and waits for the DVR's description, system information and
  // time zone. False (with a line on stderr naming the command) when the
  // login failed or they did not come within timeout_ms.
  bool Connect(const char* command, long timeout_ms);
  // The month search for year/month (mode 0): the days marked. False when
  // no complete answer came in time.
  bool SearchMonth(int year, int month, uint8_t days[31], long timeout_ms);
  // The day search: the minutes marked (in the DVR's zone).
  bool SearchDay(int year, int month, int day, uint8_t minutes[1440], long timeout_ms);

  CDvrSite& site() { return site_; }
  SiteCodeQueue& codes() { return codes_; }

 private:
  // Waits for code; false on a lost connection or when it did not come.
  bool WaitFor(int code, long timeout_ms);

  SiteCodeQueue codes_{false};
  CDvrSite site_;
  bool lost_ = false;
};

// "YYYY-MM-DD" and "YYYY-MM-DD HH:MM:SS" (DVR-zone dates and times).
bool ParseDate(const std::string& text, int* year, int* month, int* day);
bool ParseDateTime(const std::string& text, int* year, int* month, int* day, int* hour, int* minute, int* second);

// A text of the English language file (section MESSAGE or STRINGS), found
// in the Skin folder beside the program, in the build tree's bin folder or
// under the install prefix's share folder, or in the file given. Empty when
// no file holds it.
std::string EnglishText(const char* section, int number, const std::string& language_file = "");
