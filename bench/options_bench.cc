// Cost of reading a very long command line, in every form an argument takes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "report/options.h"

namespace {

void BM_ParseLongCommandLine(benchmark::State& state) {
  const std::vector<std::string> forms = {"--username=", "--max", "5", "-jj", "--bogus=1", "stray"};
  std::vector<std::string> args = {"vorlane-top"};
  for (int i = 0; i < state.range(0); ++i) args.push_back(forms[i % forms.size()]);
  std::vector<const char*> argv;
  for (const auto& arg : args) argv.push_back(arg.c_str());
  for (auto _ : state) {
    benchmark::DoNotOptimize(vt::report::parse_cli(static_cast<int>(argv.size()), argv.data()));
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseLongCommandLine)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
