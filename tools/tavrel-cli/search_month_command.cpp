// tavrel-cli search-month: logs in and asks the DVR which days of a month
// hold recordings, as the playback panel's calendar does.
#include <set>
#include <string>
#include <vector>

#include "command_registry.h"
#include "commands.h"
#include "output.h"
#include "search_driver.h"

namespace {

constexpr long kAnswerTimeoutMs = 10000;

int RunSearchMonth(const std::vector<std::string>& args) {
  std::set<std::string> valued(std::begin(kSearchCommonOptions), std::end(kSearchCommonOptions));
  valued.insert({"--year", "--month"});
  CliArgs opts(args, valued, {});
  const long base_port = opts.Int("--port", 7620, 0, 65533);
  const long year = opts.Int("--year", 0, 1970, 2105);
  const long month = opts.Int("--month", 0, 1, 12);
  const long connect_timeout_s = opts.Int("--connect-timeout", 10, 1, 3600);
  if (opts.Ok() && (!opts.Value("--host") || !opts.Value("--user") || !opts.Value("--password") ||
                    !opts.Has("--year") || !opts.Has("--month"))) {
    ErrLine("tavrel-cli search-month: --host, --user, --password, --year and --month are required");
    return 2;
  }
  if (!opts.Ok()) {
    ErrLine("tavrel-cli search-month: %s", opts.Error().c_str());
    return 2;
  }
  SearchSite search(opts, base_port, connect_timeout_s);
  if (!search.Connect("search-month", connect_timeout_s * 1000)) return 1;
  uint8_t days[31] = {};
  if (!search.SearchMonth(static_cast<int>(year), static_cast<int>(month), days, kAnswerTimeoutMs)) {
    ErrLine("tavrel-cli search-month: no answer to the month search");
    return 1;
  }
  for (int d = 1; d <= 31; ++d) {
    if (days[d - 1] != 0) OutLine("day %d", d);
  }
  return 0;
}

const char kUsage[] =
    "  search-month --host H --port BASE --user ID --password PW --year Y --month M\n"
    "               [--connect-timeout S]\n"
    "      Logs in and prints one 'day D' line per day of the month that holds\n"
    "      recordings (days in the DVR's time zone).\n";

const bool kRegistered = RegisterCliCommand({"search-month", &RunSearchMonth, kUsage, 70});

}  // namespace
