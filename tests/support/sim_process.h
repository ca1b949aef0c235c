// The simulator as a child process on a free base port, stopped with SIGTERM
// when the test is done with it.
#pragma once
#include <memory>
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
    const size_t at = ready.find("base=");
    if (at != std::string::npos) {
      const size_t end = ready.find_first_not_of("0123456789", at + 5);
      base = ready.substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5);
    }
  }
  ~SimProcess() {
    proc->Signal(SIGTERM);
    proc->Wait(5000);
  }
};

// What a client run printed and how it ended.
struct CliRun {
  int status = -1;  // exit status, -1 when it did not end in time
  std::vector<std::string> lines;
  std::string err;
};

// Runs `cli_path command --host 127.0.0.1 --port BASE --user U --password P
// extra...` against a simulator and waits for it.
inline CliRun RunCliCommand(const std::string& cli_path, const std::string& command, const SimProcess& sim,
                            const std::string& user, const std::string& password,
                            const std::vector<std::string>& extra, long wait_ms) {
  std::vector<std::string> args = {command, "--host", "127.0.0.1", "--port", sim.base, "--user", user,
                                   "--password", password};
  args.insert(args.end(), extra.begin(), extra.end());
  ChildProcess cli(cli_path, args);
  CliRun run;
  run.status = cli.Wait(wait_ms);
  run.lines = cli.RestOfStdout();
  run.err = cli.Stderr();
  return run;
}
