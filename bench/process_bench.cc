// Whole runs of vorlane-top against the snapshot at its fixed path, side by
// side with jq doing a plain sort of the same file. Run inside a namespace
// that holds a generated server (scripts/bench-process does that).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Runs argv with standard output and error on /dev/null; returns the
// child's peak resident memory in KiB.
long run_quietly(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) return -1;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || status != 0) return -1;
  return usage.ru_maxrss;
}

void run_command(benchmark::State& state, const std::vector<std::string>& argv) {
  long peak = 0;
  for (auto _ : state) {
    const long rss = run_quietly(argv);
    if (rss < 0) {
      state.SkipWithError(("failed: " + argv[0]).c_str());
      break;
    }
    peak = std::max(peak, rss);
  }
  state.counters["peak_rss_kib"] = static_cast<double>(peak);
}

void BM_WholeProcess_VorlaneTop(benchmark::State& state) {
  run_command(state, {VT_BINARY, "--json"});
}
BENCHMARK(BM_WholeProcess_VorlaneTop)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholeProcess_Jq(benchmark::State& state) {
  run_command(state,
              {"jq", ".users | sort_by(-.usage.cpu.all) | .[:25]", "/var/kob/vorlane_top.json"});
}
BENCHMARK(BM_WholeProcess_Jq)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
