// Helpers of the shell's tests: waiting with the event loop running, and
// site records pointing at a simulator.
#pragma once
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <string>

#include "sites/site_record.h"

// Runs the event loop until the condition holds or the time is up.
inline bool WaitWithEvents(const std::function<bool()>& condition, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeout_ms) return false;
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// A site of the simulator at base on this machine, with its test account.
inline SiteRecord SimulatorSite(const std::string& name, const std::string& base, int channels = 16) {
  SiteRecord r;
  r.name = name;
  r.address = "127.0.0.1";
  r.base_port = std::stoi(base);
  r.user_id = "netuser";
  r.password = "pass";
  r.channel_count = channels;
  return r;
}
