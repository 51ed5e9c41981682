// Cost of one helper run, and how soon after its limit an overrunning
// helper is killed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "plugins/runner.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The value below which `share` of the samples lie.
double percentile(std::vector<double> samples, double share) {
  if (samples.empty()) return 0.0;
  std::sort(samples.begin(), samples.end());
  const auto at = static_cast<std::size_t>(share * static_cast<double>(samples.size() - 1));
  return samples[at];
}

// A helper that exits at once: the fixed cost of spawning, waiting and reaping.
void BM_RunHelper_ExitsAtOnce(benchmark::State& state) {
  std::vector<double> samples;
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto got = vt::plugins::run_helper_text("/bin/true", {}, 15);
    samples.push_back(ms(Clock::now() - start));
    if (!got) {
      state.SkipWithError("/bin/true failed");
      break;
    }
  }
  state.counters["median_ms"] = percentile(samples, 0.5);
  state.counters["p99_ms"] = percentile(samples, 0.99);
}
BENCHMARK(BM_RunHelper_ExitsAtOnce)->Iterations(2000)->Unit(benchmark::kMillisecond);

// A helper that overruns a 1 s limit: the time from the limit to the return.
void BM_RunHelper_KillPastLimit(benchmark::State& state) {
  std::vector<double> past;
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto got = vt::plugins::run_helper_text("/bin/sleep", {"30"}, 1);
    past.push_back(ms(Clock::now() - start) - 1000.0);
    if (got) {
      state.SkipWithError("the sleeper was not killed");
      break;
    }
  }
  state.counters["median_past_limit_ms"] = percentile(past, 0.5);
  state.counters["max_past_limit_ms"] = percentile(past, 1.0);
}
BENCHMARK(BM_RunHelper_KillPastLimit)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
