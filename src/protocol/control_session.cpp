#include "protocol/control_session.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/bytes.h"
#include "protocol/commands.h"

bool IdleRoundKeepsSession(int& idle_rounds, std::atomic<int>& keep_alive_count) {
  if (idle_rounds > CControlSession::kMaxIdleRounds) {
    if (keep_alive_count.load() == 0) return false;
    keep_alive_count.store(0);
    idle_rounds = 0;
  }
  ++idle_rounds;
  return true;
}

int SendUserRightsRequest(CDvrConnection& connection, std::string_view user_id) {
  uint8_t id[32] = {};
  std::memcpy(id, user_id.data(), std::min(user_id.size(), sizeof id));
  return connection.Send(cmd::kUserRightsReq, id, sizeof id);
}

CControlSession::CControlSession() { retry_.store(true); }

CControlSession::~CControlSession() { Stop(); }

int CControlSession::StartSession(const char* host, int port, const char* user_id, const char* password) {
  run_.store(true);
  // A worker still running keeps what it was started with.
  LaunchWorker([this] { WorkerMain(); },
               [&] {
                 CopyHost(host);
                 port_ = port;
                 platform::CopyTextBounded(user_id_, sizeof user_id_, user_id != nullptr ? user_id : "",
                                           sizeof user_id_ - 1);
                 platform::CopyTextBounded(password_, sizeof password_, password != nullptr ? password : "",
                                           sizeof password_ - 1);
               });
  return 1;
}

void CControlSession::WorkerMain() {
  const int result = Login(host_, port_, user_id_, password_);
  bool logged_in = false;
  if (result >= 0 && run_.load()) {
    logged_in = true;
    session_id_.store(result);
    connected_.store(true);
    keep_alive_count_.store(0);
    Notify(kNotifyLoggedIn);
    int idle_rounds = 0;
    while (run_.load()) {
      CFramePacket* packet = CurrentPacket();
      uint16_t command = 0;
      const int total = ReceiveMessageMs(&command, packet->Payload(), packet->PayloadCapacity(), receive_timeout_ms_);
      if (total < 0) break;  // lost, or a message we cannot read past: the stream is out of step
      if (total == 0) {
        if (!IdleRoundKeepsSession(idle_rounds, keep_alive_count_)) break;
        continue;
      }
      packet->command = command;
      packet->total_length = total;
      packet->payload_length = total - kMessageHeaderSize;
      dispatching_current_ = true;
      Dispatch(command, packet->Payload(), packet->payload_length);
      dispatching_current_ = false;
    }
  }
  Close();
  session_id_.store(-1);
  if (logged_in) {
    Notify(kNotifyConnectionLost);
  } else {
    switch (result) {
      case kResultNoConnection: Notify(kNotifyNoConnection); break;
      case kResultHandshakeFailed: Notify(kNotifyHandshakeFailed); break;
      case kResultRefused: retry_.store(false); Notify(kNotifyRefusedF001); break;
      case kResultRefusedF003: retry_.store(false); Notify(kNotifyRefusedF003); break;
      case kResultRefusedF004: retry_.store(false); Notify(kNotifyRefusedF004); break;
      case kResultRefusedF006: retry_.store(false); Notify(kNotifyRefusedF006); break;
      default:
        // Accepted but stopped before the loop began: the session ended.
        if (result >= 0) Notify(kNotifyConnectionLost);
        break;
    }
  }
}

void CControlSession::Dispatch(uint16_t command, const uint8_t* payload, int payload_bytes) {
  if (payload_bytes < 0) payload_bytes = 0;
  switch (command) {
    case cmd::kKeepAlive:
      keep_alive_count_.fetch_add(1);
      return;
    case cmd::kEventMotion:
    case cmd::kEventSensor:
    case cmd::kEventVideoLoss:
    case cmd::kEventAlarm:
    case cmd::kEventSystem:
      HandleEvent(command, payload, payload_bytes);
      return;
    case cmd::kEvent6053:
      return;
    case cmd::kAckEvent: {
      platform::AutoResetEvent* ack = ack_event_.load();
      if (ack != nullptr) ack->Set();
      return;
    }
    case cmd::kRightsChanged:
      Notify(kNotifyRightsChanged);
      return;
    case cmd::kTalkAns: {
      if (payload_bytes < 2) return;
      switch (platform::GetU16BE(payload)) {
        case 0x4010: case 0x4020: case 0x4030: case 0x4040: case 0x4050: Notify(kNotifyTalkEnded); break;
        case 0x4003: Notify(kNotifyTalk4003); break;
        case 0x400A: Notify(kNotifyTalk400A); break;
        case 0x400B: Notify(kNotifyTalkGranted); break;
        case 0x4060: Notify(kNotifyTalk4060); break;
        default: break;
      }
      return;
    }
    case cmd::kTimeZoneAns:
      if (payload_bytes < 5) return;
      tz_offset_s_.store(static_cast<int32_t>(platform::GetU32BE(payload)));
      tz_daylight_.store(payload[4]);
      Notify(kNotifyTimeZone);
      return;
    case cmd::kMonthSearchAns:
      HandleMonthAnswer(payload, payload_bytes);
      return;
    case cmd::kDaySearchAns:
      HandleDayAnswer(payload, payload_bytes);
      return;
    default:
      break;
  }
  StateBlockRef ref;
  const int data_code = StoreStateAnswer(blocks_, command, payload, payload_bytes, &ref);
  if (data_code != 0) {
    if (data_fn_ != nullptr) data_fn_(data_code, data_user_, &ref);
    return;
  }
  QueueAnswer(command, payload, payload_bytes);
}

void CControlSession::QueueAnswer(uint16_t command, const uint8_t* payload, int payload_bytes) {
  QueueMessage(answer_queue_, command, payload, payload_bytes, dispatching_current_);
  Notify(kNotifyAnswerQueued);
}

void CControlSession::HandleEvent(uint16_t command, const uint8_t* payload, int payload_bytes) {
  EventRecord record;
  if (command == cmd::kEventSystem) {
    if (payload_bytes < 6) return;
    record.type = kEventTypeSystem;
    record.channel = 0xFFFF;
    record.code = platform::GetU16BE(payload);
    record.state = 0;
    record.time = platform::GetU32BE(payload + 2);
    const size_t text_bytes = static_cast<size_t>(std::min(79, payload_bytes - 6));
    platform::CopyTextBounded(record.text, sizeof record.text, payload + 6, text_bytes);
  } else {
    if (payload_bytes < 8) return;
    switch (command) {
      case cmd::kEventMotion: record.type = kEventTypeMotion; break;
      case cmd::kEventSensor: record.type = kEventTypeSensor; break;
      case cmd::kEventVideoLoss: record.type = kEventTypeVideoLoss; break;
      default: record.type = kEventTypeAlarm; break;
    }
    record.channel = platform::GetU16BE(payload);
    record.state = platform::GetU16BE(payload + 2);
    record.time = platform::GetU32BE(payload + 4);
  }
  QueueMessage(event_queue_, command, payload, payload_bytes, dispatching_current_);
  if (event_fn_ != nullptr) event_fn_(&record, event_user_);
}

void CControlSession::SetMonthSearch(uint32_t year, uint32_t month, uint32_t mode) {
  std::lock_guard<std::mutex> lock(search_lock_);
  search_year_.store(year);
  search_month_.store(month);
  search_mode_.store(mode);
}

void CControlSession::ClearSearchState() {
  std::lock_guard<std::mutex> lock(search_lock_);
  search_year_.store(0);
  search_month_.store(0);
  search_mode_.store(0);
  std::memset(record_days_, 0, sizeof record_days_);
  std::memset(record_minutes_, 0, sizeof record_minutes_);
  month_accumulated_ = 0;
  day_accumulated_ = 0;
  day_year_ = day_month_ = day_day_ = 0;
}

int CControlSession::SendMonthSearch(uint32_t year, uint32_t month, uint32_t mode) {
  {
    std::lock_guard<std::mutex> lock(search_lock_);
    search_year_.store(year);
    search_month_.store(month);
    search_mode_.store(mode);
    std::memset(record_days_, 0, sizeof record_days_);
    month_accumulated_ = 0;
  }
  const uint8_t zero = 0;
  return Send(cmd::kMonthSearchReq, &zero, 1);
}

int CControlSession::SendDaySearch(int year, int month, int day) {
  {
    std::lock_guard<std::mutex> lock(search_lock_);
    day_year_ = year;
    day_month_ = month;
    day_day_ = day;
    std::memset(record_minutes_, 0, sizeof record_minutes_);
    day_accumulated_ = 0;
  }
  uint8_t request[14];
  const int fields[] = {0, year, month, day, year, month, day};
  for (int i = 0; i < 7; ++i) platform::PutU16BE(request + 2 * i, static_cast<uint16_t>(fields[i]));
  return Send(cmd::kDaySearchReq, request, sizeof request);
}

void CControlSession::CopyRecordDays(uint8_t out[31]) {
  std::lock_guard<std::mutex> lock(search_lock_);
  std::memcpy(out, record_days_, sizeof record_days_);
}

void CControlSession::CopyRecordMinutes(uint8_t out[1440]) {
  std::lock_guard<std::mutex> lock(search_lock_);
  std::memcpy(out, record_minutes_, sizeof record_minutes_);
}

void CControlSession::HandleMonthAnswer(const uint8_t* payload, int payload_bytes) {
  if (payload_bytes < 8) return;
  const int total = platform::GetU16BE(payload);
  const int claimed = platform::GetU16BE(payload + 2);
  const int items = std::min(claimed, (payload_bytes - 8) / 8);
  uint8_t days[31];
  bool complete = false;
  {
    std::lock_guard<std::mutex> lock(search_lock_);
    const uint32_t mode = search_mode_.load();
    for (int i = 0; i < items; ++i) {
      const uint8_t* item = payload + 8 + i * 8;
      const uint32_t year = platform::GetU16BE(item);
      const uint32_t month = platform::GetU16BE(item + 2);
      const uint32_t day = platform::GetU16BE(item + 4);
      // A month no calendar has cannot be shown or moved to.
      if (month < 1 || month > 12) continue;
      // Months compare as one count, so December of one year comes before
      // January of the next.
      const int64_t item_months = int64_t{year} * 12 + month;
      const int64_t kept_months = int64_t{search_year_.load()} * 12 + search_month_.load();
      if ((mode == 1 && item_months < kept_months) || (mode == 2 && item_months > kept_months)) {
        // The days marked so far belong to the month left behind.
        std::memset(record_days_, 0, sizeof record_days_);
        search_year_.store(year);
        search_month_.store(month);
      }
      if (year == search_year_.load() && month == search_month_.load() && day >= 1 && day <= 31) {
        record_days_[day - 1] = 1;
      }
    }
    // Complete once the counts reach the total: a count that overshoots (an
    // answer repeated) delivers rather than waiting for ever.
    month_accumulated_ += claimed;
    if (month_accumulated_ >= total) {
      month_accumulated_ = 0;
      complete = true;
      std::memcpy(days, record_days_, sizeof days);
    }
  }
  if (complete && data_fn_ != nullptr) {
    StateBlockRef ref{cmd::kMonthSearchAns, days, 31, 31, 31};
    data_fn_(kDataRecordDays, data_user_, &ref);
  }
}

void CControlSession::HandleDayAnswer(const uint8_t* payload, int payload_bytes) {
  if (payload_bytes < 6) return;
  constexpr int kItemBytes = 42;
  constexpr int64_t kDaySeconds = 86400;
  const int total = platform::GetU16BE(payload);
  const int claimed = platform::GetU16BE(payload + 2);
  const int items = std::min(claimed, (payload_bytes - 6) / kItemBytes);
  const int64_t offset = EffectiveTimeZoneOffset();
  uint8_t minutes[1440];
  bool complete = false;
  {
    std::lock_guard<std::mutex> lock(search_lock_);
    // Midnight (in the DVR's zone, counted like its times) of the searched day.
    int64_t searched_day = -1;
    if (day_year_ != 0) {
      tm day_tm{};
      day_tm.tm_year = day_year_ - 1900;
      day_tm.tm_mon = day_month_ - 1;
      day_tm.tm_mday = day_day_;
      searched_day = static_cast<int64_t>(timegm(&day_tm));
    }
    for (int i = 0; i < items; ++i) {
      const uint8_t* item = payload + 6 + i * kItemBytes;
      if (platform::GetU16BE(item) == 0) continue;
      const int64_t start = int64_t{platform::GetU32BE(item + 34)} + offset;
      const int64_t end = int64_t{platform::GetU32BE(item + 38)} + offset;
      // Times the C library cannot break down mark nothing.
      const time_t start_t = static_cast<time_t>(start);
      const time_t end_t = static_cast<time_t>(end);
      tm start_tm{};
      tm end_tm{};
      if (gmtime_r(&start_t, &start_tm) == nullptr || gmtime_r(&end_t, &end_tm) == nullptr) continue;
      // Without a day request the item counts for the day it starts on.
      const int64_t day_start =
          searched_day >= 0 ? searched_day : start - (start % kDaySeconds + kDaySeconds) % kDaySeconds;
      const int64_t day_end = day_start + kDaySeconds;
      // Clipped to the day: an item begun the day before starts at 00:00,
      // one running into the next day ends at 23:59 (so 23:10 to 00:00:00
      // marks 23:10..23:59), one outside the day marks nothing. An item
      // ending exactly at the day's first second covers none of it.
      if (start >= day_end || end < start) continue;
      if (start < day_start && end <= day_start) continue;
      const int first = start <= day_start ? 0 : static_cast<int>((start - day_start) / 60);
      const int last = end >= day_end ? 1439 : static_cast<int>((end - day_start) / 60);
      for (int m = first; m <= last; ++m) record_minutes_[m] = 1;
    }
    day_accumulated_ += claimed;
    if (day_accumulated_ >= total) {
      day_accumulated_ = 0;
      complete = true;
      std::memcpy(minutes, record_minutes_, sizeof minutes);
    }
  }
  if (complete && data_fn_ != nullptr) {
    StateBlockRef ref{cmd::kDaySearchAns, minutes, 1440, 1440, 1440};
    data_fn_(kDataRecordMinutes, data_user_, &ref);
  }
}
