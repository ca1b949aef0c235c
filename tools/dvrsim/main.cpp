// dvrsim: a simulated DVR for integration tests and for trying the client
// without hardware. See --help.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "dvrsim/simulator.h"
#include "platform/clock.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  dvrsim::SimConfig config;
  std::string error;
  switch (dvrsim::ParseOptions(args, &config, &error)) {
    case dvrsim::ParseOutcome::kHelp:
      std::fputs(dvrsim::UsageText().c_str(), stdout);
      return 0;
    case dvrsim::ParseOutcome::kError:
      std::fprintf(stderr, "dvrsim: %s\n", error.c_str());
      return 2;
    case dvrsim::ParseOutcome::kRun:
      break;
  }

  // SIGINT and SIGTERM are taken synchronously by this thread; blocking them
  // before any thread starts keeps them away from the worker threads.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  const int run_seconds = config.run_seconds;
  const dvrsim::LineSink out = dvrsim::StdoutLineSink();
  dvrsim::Simulator sim(std::move(config), out);
  if (!sim.Start(&error)) {
    std::fprintf(stderr, "dvrsim: %s\n", error.c_str());
    return 1;
  }
  out(sim.ReadyLine());

  const int64_t end_ms = run_seconds > 0 ? platform::MonotonicMs() + int64_t{run_seconds} * 1000 : 0;
  for (;;) {
    long wait_ms = 200;
    if (end_ms != 0) {
      const int64_t left = end_ms - platform::MonotonicMs();
      if (left <= 0) break;
      wait_ms = left < wait_ms ? static_cast<long>(left) : wait_ms;
    }
    timespec ts{wait_ms / 1000, (wait_ms % 1000) * 1000000L};
    if (sigtimedwait(&stop_signals, nullptr, &ts) > 0) break;
  }
  sim.Stop();
  out("dvrsim sent units=" + std::to_string(sim.live_units_sent()));
  return 0;
}
