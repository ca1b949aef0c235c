// A small command-line reader for tavrel-cli: "--name value" options and
// "--flag" switches after the command word.
#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class CliArgs {
 public:
  // Reads args; options named in value_options take the next argument as
  // their value, those in flag_options take none. Anything else is an error
  // (Error() says which).
  CliArgs(const std::vector<std::string>& args, const std::set<std::string>& value_options,
          const std::set<std::string>& flag_options);

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  bool Has(const std::string& name) const { return values_.count(name) != 0 || flags_.count(name) != 0; }
  std::optional<std::string> Value(const std::string& name) const;
  // The value as an integer within [min, max]; sets the error and returns
  // def when it is not a number in range. def when absent.
  long Int(const std::string& name, long def, long min, long max);

 private:
  std::map<std::string, std::string> values_;
  std::set<std::string> flags_;
  std::string error_;
};
