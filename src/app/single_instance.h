// One running client per user folder: an advisory lock on a file in the
// folder. The system drops the lock when the process ends, however it ends,
// so a crash never blocks the next start.
#pragma once
#include <string>

namespace app {

class CSingleInstance {
 public:
  CSingleInstance() = default;
  ~CSingleInstance();
  CSingleInstance(const CSingleInstance&) = delete;
  CSingleInstance& operator=(const CSingleInstance&) = delete;

  enum class Result { kAcquired, kHeldByAnother, kFailed };
  // Takes the lock on lock_path (created when missing).
  Result Acquire(const std::string& lock_path);
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace app
