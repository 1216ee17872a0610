// A benchmark main that prints, after Google Benchmark's own table, each measured figure
// beside its baseline from the same run. Run with --benchmark_repetitions=N to compare
// medians.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      // Keep single runs, or the medians when repeating.
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      std::string name = r.benchmark_name();
      const auto cut = name.find("_median");
      if (cut != std::string::npos) name.erase(cut);
      if (r.run_type == Run::RT_Iteration && Times.count(name) && r.repetitions > 1) continue;
      Times[name] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Times;  // in each run's time unit (same unit expected)
};

// pairs: {measured, baseline}; prints measured/baseline time ratios.
inline int RunWithRatios(int argc, char** argv, const std::vector<std::pair<std::string, std::string>>& pairs) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\ntime ratios (measured / baseline, same run):\n");
  for (const auto& [measured, baseline] : pairs) {
    auto m = reporter.Times.find(measured), b = reporter.Times.find(baseline);
    if (m == reporter.Times.end() || b == reporter.Times.end() || b->second <= 0) continue;
    std::printf("  %-40s / %-30s = %.3f\n", measured.c_str(), baseline.c_str(), m->second / b->second);
  }
  benchmark::Shutdown();
  return 0;
}
