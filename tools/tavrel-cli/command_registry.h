// Commands that live in a file of their own register themselves here, so a
// new command is one new file: its run function, its usage text and its
// place in the help. main() looks commands up here after the built-in ones.
#pragma once
#include <string>
#include <vector>

struct CliCommand {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
  // Help text: lines indented as in the built-in usage, ending with "\n".
  const char* usage;
  // Order of the usage texts in --help (smaller first).
  int help_order;
};

// Returns true, so a file registers with a namespace-scope constant:
//   const bool kRegistered = RegisterCliCommand({"name", &RunName, kUsage, 50});
bool RegisterCliCommand(const CliCommand& command);
const CliCommand* FindCliCommand(const std::string& name);
// Every registered command in help order.
std::vector<CliCommand> RegisteredCliCommands();
