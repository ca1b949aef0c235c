// Clocks: wall-clock seconds for protocol deadlines and time stamps, a
// monotonic millisecond clock for measuring intervals.
#pragma once
#include <chrono>
#include <cstdint>
#include <ctime>

namespace platform {

inline int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

inline int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

inline void SleepMs(long ms) {
  struct timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace platform
