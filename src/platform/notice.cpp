#include "platform/notice.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {
StderrNoticeSink g_stderr_sink;
std::atomic<INoticeSink*> g_sink{nullptr};
std::mutex g_stderr_lock;
}  // namespace

void StderrNoticeSink::Show(std::string_view text) {
  std::lock_guard<std::mutex> lock(g_stderr_lock);
  // Texts may end in their own newline ("...Fail!\n"); print exactly one.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void SetNoticeSink(INoticeSink* sink) { g_sink.store(sink); }

void ShowNotice(std::string_view text) {
  INoticeSink* sink = g_sink.load();
  if (sink == nullptr) sink = &g_stderr_sink;
  sink->Show(text);
}

void FatalExit(std::string_view text) {
  ShowNotice(text);
  std::fflush(stdout);
  std::exit(1);
}

}  // namespace platform
