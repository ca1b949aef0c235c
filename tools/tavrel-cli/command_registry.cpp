#include "command_registry.h"

#include <algorithm>

namespace {
// A function-local table: registrations run during static initialisation of
// other files, before any namespace-scope table here would be constructed.
std::vector<CliCommand>& Table() {
  static std::vector<CliCommand> table;
  return table;
}
}  // namespace

bool RegisterCliCommand(const CliCommand& command) {
  Table().push_back(command);
  return true;
}

const CliCommand* FindCliCommand(const std::string& name) {
  for (const CliCommand& command : Table()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

std::vector<CliCommand> RegisteredCliCommands() {
  std::vector<CliCommand> sorted = Table();
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const CliCommand& a, const CliCommand& b) { return a.help_order < b.help_order; });
  return sorted;
}
