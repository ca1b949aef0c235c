// tavrel-cli events: logs in as a site does and turns the DVR's events into
// event list rows, printed and appended to the hourly event log of the user
// folder as the client does. tavrel-cli log: prints the logged records of a
// range of hours.
#include <unistd.h>

#include <climits>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "cli_args.h"
#include "command_registry.h"
#include "commands.h"
#include "output.h"
#include "site_driver.h"
#include "events/event_log.h"
#include "events/event_monitor.h"
#include "platform/clock.h"
#include "platform/user_folder.h"
#include "protocol/commands.h"
#include "sites/dvr_site.h"
#include "sites/local_settings.h"

namespace {

constexpr int kUsageError = 2;

const char kEventsUsage[] =
    "  events --host H --port BASE --user ID --password PW --seconds N [--home DIR]\n"
    "      Logs in as a site does (the follow-up requests included) and handles the\n"
    "      DVR's events as the client's event list does, for N seconds or until the\n"
    "      session ends. Prints one line per list row, newest last:\n"
    "        event time=<YYYY-MM-DD HH:MM:SS> dvr=<name> channel=<n> kind=<text>\n"
    "              text=<description>\n"
    "      (channel=- for rows without a channel: alarm output, system and\n"
    "      connection rows; texts from the English language file). Each row is\n"
    "      appended to the hourly event log in DIR/event (DIR: $TAVREL_HOME, else\n"
    "      --home, else ~/.local/share/tavrel). Exit 0 when the login succeeded and\n"
    "      every row was logged, 1 otherwise (the reason on stderr), 2 for bad usage.\n";

const char kLogUsage[] =
    "  log --from \"YYYY-MM-DD HH\" --to \"YYYY-MM-DD HH\" [--home DIR]\n"
    "      Prints the records of the hourly event logs of the hours from..to (both\n"
    "      included) in time order, reading damaged files as far as they go:\n"
    "        record file=<YYYYMMDDHH.ini> number=<n> time=<YYYY-MM-DD HH:MM:SS>\n"
    "               dvr=<name> channel=<n> kind=<text> text=<description>\n"
    "      (channel=- for a blank channel). Exit 0 on success (no record is\n"
    "      success), 1 when the event folder cannot be read, 2 for bad usage.\n";

// "YYYY/MM/DD HH:MM:SS" as "YYYY-MM-DD HH:MM:SS"; other texts as they are.
std::string DashedTime(std::string time) {
  if (time.size() == 19 && time[4] == '/' && time[7] == '/') {
    time[4] = '-';
    time[7] = '-';
  }
  return time;
}

std::string ChannelField(const std::string& channel) {
  return channel.find_first_not_of(' ') == std::string::npos ? "-" : channel;
}

// The English language file: beside the program, in the build tree's bin
// folder, or in the install prefix's share folder.
std::string EnglishLanguageFile() {
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return {};
  exe[n] = '\0';
  std::string folder(exe);
  folder.resize(folder.find_last_of('/'));
  const char* kCandidates[] = {"/Skin", "/../../bin/Skin", "/../bin/Skin", "/../share/tavrel/Skin"};
  for (const char* candidate : kCandidates) {
    const std::string path = folder + candidate + "/Eng_QuorvantaString.ini";
    if (::access(path.c_str(), R_OK) == 0) return path;
  }
  return {};
}

// The site's reports, handed from its worker threads to the command's thread
// in the order they came.
class SiteReportQueue : public ISiteObserver {
 public:
  struct Report {
    bool is_event = false;
    int code = 0;
    EventRecord record;
  };
  void OnSiteCode(int, int code) override {
    if (code == kSiteTalkSendFailed || code == kSiteStreamLostPrimary || code == kSiteStreamLostSecondary) return;
    Push(Report{false, code, {}});
  }
  void OnSiteEvent(int, const EventRecord& record) override { Push(Report{true, 0, record}); }
  bool Next(long timeout_ms, Report* out) {
    std::unique_lock<std::mutex> lock(lock_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return !reports_.empty(); })) {
      return false;
    }
    *out = reports_.front();
    reports_.pop_front();
    return true;
  }

 private:
  void Push(const Report& report) {
    std::lock_guard<std::mutex> lock(lock_);
    reports_.push_back(report);
    changed_.notify_all();
  }
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Report> reports_;
};

// The monitor's host without a grid: no live mode, no current site.
class CliEventHost : public events::IEventHost, public events::IEventList {
 public:
  CliEventHost(CDvrSite& site, std::string event_folder) : site_(site), event_folder_(std::move(event_folder)) {}

  EventPopupSettings Settings() override { return ReadEventPopupSettings(); }
  bool IsLiveMode() override { return false; }
  bool InListView() override { return false; }
  int CurrentSiteId() override { return -1; }
  bool RotationRunning() override { return false; }
  bool SiteFacts(int site_id, events::EventSiteFacts* facts) override {
    if (site_id != site_.Id()) return false;
    facts->name = site_.Record().name;
    facts->channel_count = site_.ChannelCount();
    facts->sensor_masks.resize(CDvrSite::kChannels);
    for (int i = 0; i < CDvrSite::kChannels; ++i) facts->sensor_masks[i] = site_.SensorChannelMask(i);
    return true;
  }
  void RequestSensorMap(int) override {
    const uint8_t zero = 0;
    site_.Control().Send(cmd::kSensorMapReq, &zero, 1);
  }

  void AddRow(const events::EventRow& row) override {
    OutLine("event time=%s dvr=%s channel=%s kind=%s text=%s", DashedTime(row.time).c_str(), row.dvr.c_str(),
            ChannelField(row.channel).c_str(), row.kind.c_str(), row.description.c_str());
  }
  void AppendToLog(const events::EventRow& row, std::time_t when) override {
    if (!events::AppendEventRecord(event_folder_, row, when)) {
      ErrLine("tavrel-cli events: cannot append to the event log in %s", event_folder_.c_str());
      log_failed_ = true;
    }
  }
  bool LogFailed() const { return log_failed_; }

 private:
  CDvrSite& site_;
  const std::string event_folder_;
  bool log_failed_ = false;
};

// The user folder of --home by the client's rules, made the process's own.
bool UseUserFolder(const CliArgs& opts, const char* command) {
  const auto home = opts.Value("--home");
  const std::string folder = platform::ResolveUserFolder(home ? *home : std::string());
  if (!platform::SetUserFolder(folder)) {
    ErrLine("tavrel-cli %s: cannot use the user folder %s", command, folder.c_str());
    return false;
  }
  return true;
}

int RunEvents(const std::vector<std::string>& args) {
  CliArgs opts(args, {"--host", "--port", "--user", "--password", "--seconds", "--home"}, {});
  const long base_port = opts.Int("--port", 7620, 0, 65533);
  const long seconds = opts.Int("--seconds", 10, 0, 86400 * 365);
  if (opts.Ok() && (!opts.Value("--host") || !opts.Value("--user") || !opts.Value("--password") ||
                    !opts.Value("--seconds"))) {
    ErrLine("tavrel-cli events: --host, --user, --password and --seconds are required");
    return kUsageError;
  }
  if (!opts.Ok()) {
    ErrLine("tavrel-cli events: %s", opts.Error().c_str());
    return kUsageError;
  }
  if (!UseUserFolder(opts, "events")) return 1;

  const std::string language_file = EnglishLanguageFile();
  SiteReportQueue reports;
  bool logged_in = false;
  bool log_failed = false;
  {
    CDvrSite site(SiteRecordFromOptions(opts, base_port));
    CliEventHost host(site, platform::UserFile("event"));
    events::CEventMonitor monitor(&host, nullptr, &host,
                                  language_file.empty() ? events::TextLookup() : events::LanguageFileTexts(language_file));
    site.SetObserver(&reports);
    site.StartControl();
    const int64_t deadline_ms = platform::MonotonicMs() + seconds * 1000;
    bool ended = false;
    SiteReportQueue::Report report;
    while (!ended && !StopRequested() && platform::MonotonicMs() < deadline_ms) {
      if (!reports.Next(100, &report)) continue;
      if (report.is_event) {
        monitor.OnSiteEvent(site.Id(), report.record);
        continue;
      }
      const int code = report.code;
      monitor.OnSiteCode(site.Id(), code);
      if (code == kNotifyLoggedIn) {
        logged_in = true;
        site.SendFollowUpRequests();
      } else if (code == kNotifyConnectionLost) {
        ended = true;
      } else if (IsLoginFailure(code)) {
        ErrLine("tavrel-cli events: the login failed (notification %d)", code);
        ended = true;
      }
    }
    site.StopAll();
    site.SetObserver(nullptr);
    log_failed = host.LogFailed();
  }
  if (!logged_in) {
    ErrLine("tavrel-cli events: no session with the DVR");
    return 1;
  }
  return log_failed ? 1 : 0;
}

// "YYYY-MM-DD HH" as the hour number YYYYMMDDHH, or -1.
int64_t ParseHour(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0;
  char tail = 0;
  if (text.size() != 13 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d%c", &y, &mo, &d, &h, &tail) != 4) return -1;
  if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23) return -1;
  return ((static_cast<int64_t>(y) * 100 + mo) * 100 + d) * 100 + h;
}

int RunLog(const std::vector<std::string>& args) {
  CliArgs opts(args, {"--from", "--to", "--home"}, {});
  if (!opts.Ok()) {
    ErrLine("tavrel-cli log: %s", opts.Error().c_str());
    return kUsageError;
  }
  if (!opts.Value("--from") || !opts.Value("--to")) {
    ErrLine("tavrel-cli log: --from and --to are required (\"YYYY-MM-DD HH\")");
    return kUsageError;
  }
  const int64_t from = ParseHour(*opts.Value("--from"));
  const int64_t to = ParseHour(*opts.Value("--to"));
  if (from < 0 || to < 0) {
    ErrLine("tavrel-cli log: hours are written \"YYYY-MM-DD HH\"");
    return kUsageError;
  }
  if (from > to) {
    ErrLine("tavrel-cli log: --from comes after --to");
    return kUsageError;
  }
  const auto home = opts.Value("--home");
  const std::string folder = platform::ResolveUserFolder(home ? *home : std::string()) + "/event";
  if (::access(folder.c_str(), R_OK | X_OK) != 0) {
    ErrLine("tavrel-cli log: cannot read the event folder %s", folder.c_str());
    return 1;
  }
  for (const events::LoggedEvent& e : events::ReadEventFolder(folder, from, to)) {
    OutLine("record file=%s number=%d time=%s dvr=%s channel=%s kind=%s text=%s", e.file.c_str(), e.record,
            DashedTime(e.row.time).c_str(), e.row.dvr.c_str(), ChannelField(e.row.channel).c_str(),
            e.row.kind.c_str(), e.row.description.c_str());
  }
  return 0;
}

const bool kEventsRegistered = RegisterCliCommand({"events", &RunEvents, kEventsUsage, 60});
const bool kLogRegistered = RegisterCliCommand({"log", &RunLog, kLogUsage, 61});

}  // namespace
