// Times whole runs of several commands, taken in turns so that all of them
// see the same state of the machine, and prints each one's median CPU time
// (user and system, children included), median wall time and peak resident
// memory, with its CPU time against the first command's.
//
//   vt_paired_runs ROUNDS LABEL ARG... [:: LABEL ARG...]...
//
// Each command runs without a shell, its outputs on /dev/null; a command that
// fails ends the whole measurement with status 1. A LABEL of the form
// NAME:STATUS lets that command also end with exit status STATUS, for a run
// that reports what it could not do and still does the whole work.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Command {
  std::string label;
  int also_ok = 0;  // an exit status besides 0 that counts as done
  std::vector<std::string> argv;
  std::vector<double> cpu_ms, wall_ms;
  long peak_kib = 0;
};

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

double now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

bool run(Command& command) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (auto& arg : command.argv) args.push_back(arg.data());
  args.push_back(nullptr);
  const double start = now();
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != command.also_ok)) {
    return false;
  }
  command.wall_ms.push_back((now() - start) * 1000);
  command.cpu_ms.push_back((seconds(usage.ru_utime) + seconds(usage.ru_stime)) * 1000);
  command.peak_kib = std::max(command.peak_kib, usage.ru_maxrss);
  return true;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::atoi(argv[1]) < 1) {
    std::fprintf(stderr, "usage: vt_paired_runs ROUNDS LABEL ARG... [:: LABEL ARG...]...\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  std::vector<Command> commands(1);
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "::") {
      commands.emplace_back();
    } else if (commands.back().label.empty()) {
      const std::size_t colon = arg.find(':');
      commands.back().label = arg.substr(0, colon);
      if (colon != std::string::npos) commands.back().also_ok = std::atoi(arg.c_str() + colon + 1);
    } else {
      commands.back().argv.push_back(arg);
    }
  }
  for (int round = 0; round < rounds; ++round) {
    for (Command& command : commands) {
      if (command.argv.empty() || !run(command)) {
        std::fprintf(stderr, "vt_paired_runs: %s failed\n", command.label.c_str());
        return 1;
      }
    }
  }
  const double first = median(commands.front().cpu_ms);
  std::printf("%-12s %10s %10s %10s %12s\n", "", "cpu ms", "wall ms", "peak MiB",
              ("cpu / " + commands.front().label).c_str());
  for (const Command& command : commands) {
    const double cpu = median(command.cpu_ms);
    std::printf("%-12s %10.1f %10.1f %10.1f %12.2f\n", command.label.c_str(), cpu,
                median(command.wall_ms), command.peak_kib / 1024.0, cpu / first);
  }
  return 0;
}
