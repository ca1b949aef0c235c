// The simulator as a child process on a free base port, stopped with SIGTERM
// when the test is done with it.
#pragma once
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "support/process.h"

struct SimProcess {
  std::unique_ptr<ChildProcess> proc;
  std::string base;  // empty when the simulator did not come up

  SimProcess(const std::string& dvrsim_path, std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", "0"});
    proc = std::make_unique<ChildProcess>(dvrsim_path, args);
    const std::string ready = proc->WaitForLine("dvrsim listening", 10000);
    std::smatch m;
    if (std::regex_search(ready, m, std::regex("base=([0-9]+)"))) base = m[1];
  }
  ~SimProcess() {
    proc->Signal(SIGTERM);
    proc->Wait(5000);
  }
};
