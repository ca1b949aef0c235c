// User notices: every message box the system raises goes through one sink.
// The CLI prints to stderr, tests record, the GUI shows a modal dialog.
#pragma once
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A sink must be safe to call from any thread. The GUI sink blocks the
// calling thread until the operator closes the box, as a modal box would.
class INoticeSink {
 public:
  virtual ~INoticeSink() = default;
  virtual void Show(std::string_view text) = 0;
};

// Writes each notice as one line on stderr (the default sink).
class StderrNoticeSink final : public INoticeSink {
 public:
  void Show(std::string_view text) override;
};

// Keeps every notice shown, for tests and for callers that show them later.
class RecordingNoticeSink final : public INoticeSink {
 public:
  void Show(std::string_view text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.emplace_back(text);
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

// Installs the process-wide sink; nullptr restores the stderr sink. The sink
// must outlive its installation.
void SetNoticeSink(INoticeSink* sink);

// Shows a notice through the installed sink.
void ShowNotice(std::string_view text);

// Ends the process with exit status 1 after showing text. Used where the
// system cannot go on (an allocation of a frame buffer failed).
[[noreturn]] void FatalExit(std::string_view text);

// The notice shown when a frame or header buffer cannot be allocated.
inline constexpr std::string_view kMallocErrorText = "Error malloc() !!";

}  // namespace platform
