// CControlSession: the control connection of one DVR site. Its worker thread
// logs in, then receives for the life of the connection: it counts the DVR's
// keep-alive messages, ends a silent connection, turns event messages into
// event records, stores the answers the user interface asked for in state
// blocks and reports them by data code, and queues every other answer for
// threads that wait synchronously (WaitForAnswer).
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "protocol/connection.h"
#include "protocol/state_blocks.h"

// Notification codes passed to the notify callback.
enum ControlNotify : int {
  kNotifyLoggedIn = 1,
  kNotifyNoConnection = 3,
  kNotifyHandshakeFailed = 5,
  kNotifyRefusedF001 = 6,
  kNotifyRefusedF003 = 7,
  kNotifyRefusedF004 = 8,
  kNotifyRefusedF006 = 9,
  kNotifyConnectionLost = 11,
  kNotifyAnswerQueued = 12,
  kNotifyTimeZone = 26,
  kNotifyRightsChanged = 27,
  kNotifyTalkEnded = 29,
  kNotifyTalk4003 = 30,
  kNotifyTalk400A = 32,
  kNotifyTalkGranted = 33,
  kNotifyTalk4060 = 35,
};

// True for the notifications that report a failed login.
inline bool IsLoginFailure(int code) {
  return code == kNotifyNoConnection || code == kNotifyHandshakeFailed || code == kNotifyRefusedF001 ||
         code == kNotifyRefusedF003 || code == kNotifyRefusedF004 || code == kNotifyRefusedF006;
}

// Data codes of the two search maps (the others come from StoreStateAnswer).
inline constexpr int kDataRecordDays = 55;
inline constexpr int kDataRecordMinutes = 56;

// The keep-alive rule, applied after each receive round in which nothing
// arrived: after more than three silent rounds the session lives on only if
// keep-alives came since the last check, and both counts start again.
// Returns false when the session must end.
bool IdleRoundKeepsSession(int& idle_rounds, std::atomic<int>& keep_alive_count);

// Sends the user-rights request (0x7E01) with the user ID in a zero-filled
// 32-byte field; returns Send's result.
int SendUserRightsRequest(CDvrConnection& connection, std::string_view user_id);

class CControlSession : public CDvrConnection {
 public:
  static constexpr int kReceiveTimeoutMs = 10000;
  static constexpr int kMaxIdleRounds = 3;  // silent rounds tolerated before the keep-alive check

  CControlSession();
  ~CControlSession() override;

  // Starts the worker (login, then the receive loop). Returns 1.
  int StartSession(const char* host, int port, const char* user_id, const char* password);
  int GetSessionId() const { return session_id_.load(); }

  const DvrStateBlocks& State() const { return blocks_; }
  int32_t TimeZoneOffset() const { return tz_offset_s_.load(); }
  uint8_t DaylightFlag() const { return tz_daylight_.load(); }
  // The offset to apply to DVR times: the zone offset, plus an hour when the
  // daylight flag is 1.
  int64_t EffectiveTimeZoneOffset() const {
    return int64_t{TimeZoneOffset()} + (DaylightFlag() == 1 ? 3600 : 0);
  }

  // Month search parameters, set by the user interface before it sends the
  // month request: mode 0 keeps the month, 1 moves to an earlier month found
  // in the answer, 2 to a later one (both start the day map afresh when they
  // move).
  void SetMonthSearch(uint32_t year, uint32_t month, uint32_t mode);
  void ClearSearchState();
  // The requests. Each first clears the map it fills and its answer's count
  // accumulator, so an answer cut short or repeated before never holds up
  // the next search; the day request also keeps the day searched, to which
  // the answer's items are clipped. Return Send's result.
  int SendMonthSearch(uint32_t year, uint32_t month, uint32_t mode);
  int SendDaySearch(int year, int month, int day);
  uint32_t SearchYear() const { return search_year_.load(); }
  uint32_t SearchMonth() const { return search_month_.load(); }
  // The maps as the worker fills them (read without a lock, as the data
  // codes allow); CopyRecordDays/CopyRecordMinutes take a consistent copy.
  const uint8_t* RecordDays() const { return record_days_; }       // 31 entries, day - 1
  const uint8_t* RecordMinutes() const { return record_minutes_; } // 1440 entries
  void CopyRecordDays(uint8_t out[31]);
  void CopyRecordMinutes(uint8_t out[1440]);

  // The silence that ends a session: the rounds the keep-alive rule lets
  // pass, and the one whose check fails.
  static constexpr int kSilentRoundsLimit = kMaxIdleRounds + 2;
  static_assert(kDefaultSendTimeoutMs == kSilentRoundsLimit * kReceiveTimeoutMs,
                "a DVR gets as long to take a message as it may stay silent");

  // Test hook: the receive time-out of one round (10 s in service). The send
  // time-out follows: as long as the silence that ends the session.
  void SetReceiveTimeoutMs(long ms) {
    receive_timeout_ms_ = ms;
    SetSendTimeoutMs(ms * kSilentRoundsLimit);
  }

  // Handles one received message as the worker does; public so that tests and
  // the fuzzer can drive the dispatch without a socket. The packet must be the
  // session's current packet or one the caller owns; see DispatchCurrent.
  void Dispatch(uint16_t command, const uint8_t* payload, int payload_bytes);

 private:
  void WorkerMain();
  void HandleEvent(uint16_t command, const uint8_t* payload, int payload_bytes);
  void HandleMonthAnswer(const uint8_t* payload, int payload_bytes);
  void HandleDayAnswer(const uint8_t* payload, int payload_bytes);
  void QueueAnswer(uint16_t command, const uint8_t* payload, int payload_bytes);

  char user_id_[32] = {};
  char password_[32] = {};
  std::atomic<int> session_id_{-1};
  DvrStateBlocks blocks_;
  std::atomic<int32_t> tz_offset_s_{0};
  std::atomic<uint8_t> tz_daylight_{0};
  long receive_timeout_ms_ = kReceiveTimeoutMs;

  // Search state, under search_lock_ (the atomics also read without it).
  // The data callback is called with a copy, after the lock is released.
  std::mutex search_lock_;
  std::atomic<uint32_t> search_year_{0};
  std::atomic<uint32_t> search_month_{0};
  std::atomic<uint32_t> search_mode_{0};
  uint8_t record_days_[31] = {};
  uint8_t record_minutes_[1440] = {};
  int month_accumulated_ = 0;
  int day_accumulated_ = 0;
  // The day of the last day request (0: none; items then count for the day
  // they start on).
  int day_year_ = 0;
  int day_month_ = 0;
  int day_day_ = 0;
  // True while the packet being dispatched is the session's current packet,
  // which an event or queued answer may then take over without a copy.
  bool dispatching_current_ = false;
};
