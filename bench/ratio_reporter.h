// The console reporter of the benchmarks. It also keeps each run's real time and, for runs with
// an "ops" counter, its time per operation (the real time over that counter), so that a
// benchmark program can print the ratio of two of its runs when they are done.
#pragma once
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      times_[run.benchmark_name()] = run.GetAdjustedRealTime();
      cpuTimes_[run.benchmark_name()] = run.GetAdjustedCPUTime();
      const auto ops = run.counters.find("ops");
      if (ops != run.counters.end() && ops->second.value > 0)
        perOp_[run.benchmark_name()] = run.GetAdjustedRealTime() / ops->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // The adjusted real time of a run by its full name; 0 when it did not run.
  double Get(const std::string& name) const { return Find(times_, name); }
  // The adjusted CPU time of the benchmark's thread, for work that also sleeps; 0 when it did not run.
  double Cpu(const std::string& name) const { return Find(cpuTimes_, name); }
  // The time per operation of a run with an "ops" counter; 0 when it did not run.
  double PerOp(const std::string& name) const { return Find(perOp_, name); }

 private:
  static double Find(const std::map<std::string, double>& from, const std::string& name) {
    const auto it = from.find(name);
    return it == from.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> times_;
  std::map<std::string, double> perOp_;
  std::map<std::string, double> cpuTimes_;
};
