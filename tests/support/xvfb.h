// An X server of the test's own (Xvfb) for what the operator sees: it
// writes its display number once ready; DISPLAY then points at it and Qt
// programs started afterwards draw there instead of offscreen.
#pragma once
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/process.h"

// Returns the running server, or nullptr with its stderr in *error.
inline std::unique_ptr<ChildProcess> StartXvfb(std::string* error, const std::string& screen = "1280x1024x24") {
  auto xvfb = std::make_unique<ChildProcess>(
      "/usr/bin/Xvfb", std::vector<std::string>{"-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp"});
  const std::string display = xvfb->WaitForLine("", 20000);
  if (display.empty()) {
    *error = xvfb->Stderr();
    return nullptr;
  }
  setenv("DISPLAY", (":" + display).c_str(), 1);
  unsetenv("QT_QPA_PLATFORM");
  return xvfb;
}
