// Waiting on conditions that other threads change: each change is announced,
// and a waiter checks its condition at every announcement, with a bound. No
// sleeping and polling.
#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

// A condition variable for state the test reads through its own functions:
// whoever changes that state calls Notify afterwards.
class CConditionSignal {
 public:
  void Notify() {
    { std::lock_guard<std::mutex> lock(lock_); }
    changed_.notify_all();
  }
  // True once condition holds; false when timeout_ms passed without it.
  bool WaitUntil(const std::function<bool()>& condition, long timeout_ms = 10000) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), condition);
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
};

// The codes a callback reported (notifications, statuses), in order.
class CCodeLog {
 public:
  // For the connections' callbacks: fn(code, user) with user = the log.
  static void OnCode(int code, void* user) { static_cast<CCodeLog*>(user)->Add(code); }
  void Add(int code) {
    {
      std::lock_guard<std::mutex> lock(lock_);
      codes_.push_back(code);
    }
    changed_.notify_all();
  }
  int Count(int code) {
    std::lock_guard<std::mutex> lock(lock_);
    return static_cast<int>(std::count(codes_.begin(), codes_.end(), code));
  }
  std::vector<int> Codes() {
    std::lock_guard<std::mutex> lock(lock_);
    return codes_;
  }
  // True once code was reported at least n times.
  bool WaitCount(int code, int n, long timeout_ms = 10000) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
      return std::count(codes_.begin(), codes_.end(), code) >= n;
    });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<int> codes_;
};
