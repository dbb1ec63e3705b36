// The console reporter of the benchmarks. It also keeps each run's real time and, for runs with
// an "ops" counter, its time per operation (the real time over that counter), so that a
// benchmark program can print the ratio of two of its runs when they are done. With
// --benchmark_repetitions the median of the repetitions is kept, which a busy machine disturbs
// least.
#pragma once
#include <benchmark/benchmark.h>

#include <map>
#include <set>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      const std::string name = run.run_name.str();
      if (!median && medians_.count(name) != 0) continue;
      if (median) medians_.insert(name);
      times_[name] = run.GetAdjustedRealTime();
      cpuTimes_[name] = run.GetAdjustedCPUTime();
      const auto ops = run.counters.find("ops");
      if (ops != run.counters.end() && ops->second.value > 0) {
        perOp_[name] = run.GetAdjustedRealTime() / ops->second.value;
        cpuPerOp_[name] = run.GetAdjustedCPUTime() / ops->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // The adjusted real time of a run by its full name; 0 when it did not run.
  double Get(const std::string& name) const { return Find(times_, name); }
  // The adjusted CPU time of the benchmark's thread, for work that also sleeps; 0 when it did not run.
  double Cpu(const std::string& name) const { return Find(cpuTimes_, name); }
  // The time per operation of a run with an "ops" counter; 0 when it did not run.
  double PerOp(const std::string& name) const { return Find(perOp_, name); }
  // The same in CPU time, for single-threaded work on a machine that others load.
  double CpuPerOp(const std::string& name) const { return Find(cpuPerOp_, name); }

 private:
  static double Find(const std::map<std::string, double>& from, const std::string& name) {
    const auto it = from.find(name);
    return it == from.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> times_;
  std::map<std::string, double> perOp_;
  std::map<std::string, double> cpuPerOp_;
  std::map<std::string, double> cpuTimes_;
  std::set<std::string> medians_;
};
