#include "site_driver.h"

#include "output.h"

void SiteCodeQueue::OnSiteEvent(int, const EventRecord& r) {
  if (print_events_) OutLine("event type=%u channel=%u state=%u time=%u", r.type, r.channel, r.state, r.time);
}

bool IsDataCode(int code) {
  return code == 25 || code == 28 || (code >= 36 && code <= 56 && code != 41 && code != 43 && code != 45 &&
                                      code != 47 && code != 49);
}

SiteRecord SiteRecordFromOptions(const CliArgs& opts, long base_port) {
  SiteRecord record;
  record.name = record.address = opts.Value("--host").value_or("");
  record.base_port = static_cast<int>(base_port);
  record.user_id = opts.Value("--user").value_or("");
  record.password = opts.Value("--password").value_or("");
  record.channel_count = 16;
  return record;
}
