// The console reporter of the benchmarks, which also keeps each run's time per operation (the
// run's real time over its "ops" counter) for the ratio table a benchmark prints at the end.
#pragma once
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// Collects the per-operation times while the console reporter prints as usual.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      const auto ops = r.counters.find("ops");
      if (ops == r.counters.end() || ops->second.value <= 0) continue;
      nsPerOp_[r.benchmark_name()] = r.GetAdjustedRealTime() / ops->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Get(const std::string& name) const {
    const auto it = nsPerOp_.find(name);
    return it == nsPerOp_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> nsPerOp_;
};
