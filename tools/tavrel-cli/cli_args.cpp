#include "cli_args.h"

#include <cerrno>
#include <cstdlib>

CliArgs::CliArgs(const std::vector<std::string>& args, const std::set<std::string>& value_options,
                 const std::set<std::string>& flag_options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (value_options.count(a) != 0) {
      if (i + 1 >= args.size()) {
        error_ = "option " + a + " needs a value";
        return;
      }
      values_[a] = args[++i];
    } else if (flag_options.count(a) != 0) {
      flags_.insert(a);
    } else {
      error_ = "unknown option " + a;
      return;
    }
  }
}

std::optional<std::string> CliArgs::Value(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

long CliArgs::Int(const std::string& name, long def, long min, long max) {
  auto v = Value(name);
  if (!v) return def;
  errno = 0;
  char* end = nullptr;
  long n = std::strtol(v->c_str(), &end, 0);
  if (v->empty() || *end != '\0' || errno != 0 || n < min || n > max) {
    if (error_.empty()) error_ = "bad value for " + name + ": " + *v;
    return def;
  }
  return n;
}
