#include "events/viewer_process.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace events {
namespace {

// Reaps pid when it has ended; true then (or when it is not our child).
bool Reaped(pid_t pid) {
  for (;;) {
    const pid_t r = ::waitpid(pid, nullptr, WNOHANG);
    if (r == pid) return true;
    if (r == 0) return false;
    if (errno != EINTR) return true;  // ECHILD: nothing left to reap
  }
}

}  // namespace

CViewerProcess::~CViewerProcess() { Stop(); }

bool CViewerProcess::Start(const std::string& program, const std::string& event_folder) {
  if (Running()) return true;
  std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(event_folder.c_str()), nullptr};
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return false;
  // The viewer gets default signal handling and a signal mask of its own.
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;
  pid_ = pid;
  return true;
}

bool CViewerProcess::Running() {
  if (pid_ <= 0) return false;
  if (Reaped(pid_)) {
    pid_ = -1;
    return false;
  }
  return true;
}

void CViewerProcess::Stop(int wait_ms) {
  if (!Running()) return;
  ::kill(pid_, SIGTERM);
  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    if (Reaped(pid_)) {
      pid_ = -1;
      return;
    }
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long elapsed_ms = (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
    if (elapsed_ms >= wait_ms) break;
    const timespec step{0, 10 * 1000 * 1000};
    ::nanosleep(&step, nullptr);
  }
  // It ignored SIGTERM: it must not outlive the client unreaped.
  ::kill(pid_, SIGKILL);
  while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace events
