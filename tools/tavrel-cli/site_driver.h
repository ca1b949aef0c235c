// What the site-driving commands (live, talk) share: a queue that hands the
// site's codes from its worker threads to the command's own thread, as a
// window's message queue would, and the site record from the options.
#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "cli_args.h"
#include "sites/dvr_site.h"

class SiteCodeQueue : public ISiteObserver {
 public:
  // print_events: write each event record as an `event` line. stream_ends:
  // pass the ends of the live streams (kSiteStreamLost*) on as well.
  explicit SiteCodeQueue(bool print_events, bool stream_ends = false)
      : print_events_(print_events), stream_ends_(stream_ends) {}

  void OnSiteCode(int, int code) override {
    // The engine's own codes (a stream's end, a failed talk send) are not
    // the DVR's; the commands act on the DVR's codes, and on the stream
    // ends only when they asked for them.
    if (code == kSiteTalkSendFailed) return;
    if ((code == kSiteStreamLostPrimary || code == kSiteStreamLostSecondary) && !stream_ends_) return;
    std::lock_guard<std::mutex> lock(lock_);
    codes_.push_back(code);
    changed_.notify_all();
  }
  void OnSiteEvent(int, const EventRecord& r) override;

  // The next code, waiting up to timeout_ms; -1 when none came.
  int Next(long timeout_ms) {
    std::unique_lock<std::mutex> lock(lock_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return !codes_.empty(); })) return -1;
    const int code = codes_.front();
    codes_.pop_front();
    return code;
  }

 private:
  const bool print_events_;
  const bool stream_ends_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<int> codes_;
};

// Data codes report stored answers; everything else a site reports is a
// notification.
bool IsDataCode(int code);

// A site record from --host, --port (the base port), --user and --password;
// the caller has checked that they are present.
SiteRecord SiteRecordFromOptions(const CliArgs& opts, long base_port);
