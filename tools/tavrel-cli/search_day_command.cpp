// tavrel-cli search-day: logs in and asks the DVR which minutes of a day
// hold recordings, as the playback panel's recording bars show them.
#include <set>
#include <string>
#include <vector>

#include "command_registry.h"
#include "commands.h"
#include "output.h"
#include "search_driver.h"

namespace {

constexpr long kAnswerTimeoutMs = 10000;

int RunSearchDay(const std::vector<std::string>& args) {
  std::set<std::string> valued(std::begin(kSearchCommonOptions), std::end(kSearchCommonOptions));
  valued.insert("--date");
  CliArgs opts(args, valued, {});
  const long base_port = opts.Int("--port", 7620, 0, 65533);
  const long connect_timeout_s = opts.Int("--connect-timeout", 10, 1, 3600);
  if (opts.Ok() && (!opts.Value("--host") || !opts.Value("--user") || !opts.Value("--password") ||
                    !opts.Value("--date"))) {
    ErrLine("tavrel-cli search-day: --host, --user, --password and --date are required");
    return 2;
  }
  int year = 0, month = 0, day = 0;
  if (opts.Ok() && !ParseDate(*opts.Value("--date"), &year, &month, &day)) {
    ErrLine("tavrel-cli search-day: --date takes YYYY-MM-DD");
    return 2;
  }
  if (!opts.Ok()) {
    ErrLine("tavrel-cli search-day: %s", opts.Error().c_str());
    return 2;
  }
  SearchSite search(opts, base_port, connect_timeout_s);
  if (!search.Connect("search-day", connect_timeout_s * 1000)) return 1;
  uint8_t minutes[1440] = {};
  if (!search.SearchDay(year, month, day, minutes, kAnswerTimeoutMs)) {
    ErrLine("tavrel-cli search-day: no answer to the day search");
    return 1;
  }
  // One line per run of recorded minutes, both ends included.
  for (int m = 0; m < 1440; ++m) {
    if (minutes[m] == 0) continue;
    int last = m;
    while (last + 1 < 1440 && minutes[last + 1] != 0) ++last;
    OutLine("minutes %02d:%02d-%02d:%02d", m / 60, m % 60, last / 60, last % 60);
    m = last;
  }
  return 0;
}

const char kUsage[] =
    "  search-day --host H --port BASE --user ID --password PW --date YYYY-MM-DD\n"
    "             [--connect-timeout S]\n"
    "      Logs in and prints one 'minutes HH:MM-HH:MM' line per run of recorded\n"
    "      minutes of the day, both ends included (times in the DVR's zone).\n";

const bool kRegistered = RegisterCliCommand({"search-day", &RunSearchDay, kUsage, 71});

}  // namespace
