#include "app/ui/quit_on_signal.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>

namespace app {
namespace {

int g_pair[2] = {-1, -1};

void OnQuitSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // Non-blocking: when bytes are already waiting, one more adds nothing.
  [[maybe_unused]] const ssize_t n = ::write(g_pair[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool InstallQuitSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pair) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (::sigaction(SIGTERM, &action, nullptr) != 0 || ::sigaction(SIGINT, &action, nullptr) != 0) return false;
  // A mask inherited from the starting process must not hold them back.
  sigset_t quit_signals;
  sigemptyset(&quit_signals);
  sigaddset(&quit_signals, SIGTERM);
  sigaddset(&quit_signals, SIGINT);
  return ::pthread_sigmask(SIG_UNBLOCK, &quit_signals, nullptr) == 0;
}

void WatchQuitSignals(QCoreApplication& application) {
  if (g_pair[0] < 0) return;
  auto* notifier = new QSocketNotifier(g_pair[0], QSocketNotifier::Read, &application);
  QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
    char bytes[16];
    while (::read(g_pair[0], bytes, sizeof bytes) > 0) {
    }
    // exit() rather than quit(): it also leaves a modal dialog's loop and
    // cannot be refused by a window.
    QCoreApplication::exit(0);
  });
}

}  // namespace app
