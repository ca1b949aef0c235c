// A console reporter that puts each benchmark beside its reference run of
// the same process: a row named "<group>/<reference>" is the reference of
// every row "<group>/<other>", and each row gets a "ratio" column of
// reference time / its time (above 1: faster than the reference). Time is
// processor time by default, since the machine is shared; real time for
// benchmarks whose work spans threads.
#pragma once
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter(std::string reference, bool real_time)
      : benchmark::ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular),
        reference_name_(std::move(reference)),
        real_time_(real_time) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> patched = runs;
    for (Run& r : patched) {
      const std::string& name = r.run_name.function_name;
      const size_t slash = name.rfind('/');
      const std::string key = name.substr(0, slash) + "|" + r.aggregate_name;
      const double total = real_time_ ? r.real_accumulated_time : r.cpu_accumulated_time;
      const double per_iter = r.iterations > 0 ? total / static_cast<double>(r.iterations) : 0;
      if (slash != std::string::npos && name.compare(slash + 1, std::string::npos, reference_name_) == 0) {
        reference_[key] = per_iter;
      }
      const auto it = reference_.find(key);
      if (it != reference_.end() && per_iter > 0) r.counters["ratio"] = it->second / per_iter;
    }
    ConsoleReporter::ReportRuns(patched);
  }

 private:
  const std::string reference_name_;
  const bool real_time_;
  std::map<std::string, double> reference_;
};

// Runs the registered benchmarks with ratios to the reference rows; the
// reference of each group must be registered first.
inline int RunWithRatios(int argc, char** argv, const std::string& reference, bool real_time = false) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter(reference, real_time);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
