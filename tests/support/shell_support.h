// Helpers of the shell's tests: waiting with the event loop running, and
// site records pointing at a simulator.
#pragma once
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "app/texts.h"
#include "platform/user_folder.h"
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

// An empty user folder named name in the test's temporary folder, made the
// user folder, with the built program folder and the English texts.
// Returns its path, or an empty string when it could not be made.
inline std::string FreshShellHome(const std::string& name, const std::string& program_folder) {
  const std::string home = ::testing::TempDir() + "/" + name;
  std::filesystem::remove_all(home);
  if (!platform::SetUserFolder(home)) return std::string();
  app::SetProgramFolder(program_folder);
  app::SetLanguageIndex(0);
  return home;
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
