// Times whole runs of several commands, taken in turns so that all of them
// see the same state of the machine, and prints each one's median CPU time
// (user and system, children included), median wall time and peak resident
// memory, with its CPU time against the first command's.
//
//   vt_paired_runs ROUNDS [--ratio A/B]... LABEL ARG... [:: LABEL ARG...]...
//
// Each command runs without a shell, its outputs on /dev/null; a command that
// fails ends the whole measurement with status 1. A LABEL of the form
// NAME:STATUS lets that command also end with exit status STATUS, for a run
// that reports what it could not do and still does the whole work; one of the
// form NAME@UID (also NAME@UID:STATUS) runs the command as user and group id
// UID, without supplementary groups, as a control panel starts it for a
// user, with no program in between whose cost would count. The spread is the
// range of the middle half of the CPU times. Each --ratio A/B prints the CPU
// time of command A against that of command B, taken round by round (so that
// a slow spell of the machine weighs on both alike): the median of the
// rounds' ratios and their spread, and the ratio of their peaks.
#include <fcntl.h>
#include <grp.h>
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
  int uid = -1;     // the user and group it runs as; -1: this process's
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

// Starts the command as its user, its outputs on /dev/null; -1 on failure.
pid_t start_as(const Command& command, char** args) {
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    const auto id = static_cast<uid_t>(command.uid);
    if (dup2(null, STDOUT_FILENO) < 0 || dup2(null, STDERR_FILENO) < 0 ||
        setgroups(0, nullptr) != 0 || setresgid(id, id, id) != 0 || setresuid(id, id, id) != 0) {
      _exit(127);
    }
    execvp(args[0], args);
    _exit(127);
  }
  close(null);
  return pid;
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
  int error = 0;
  if (command.uid < 0) {
    error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  } else {
    pid = start_as(command, args.data());
    error = pid < 0;
  }
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

// The value at `fraction` of the way through the sorted values, between
// neighbours where it falls between them.
double quantile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const double at = fraction * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(at);
  const std::size_t above = std::min(below + 1, values.size() - 1);
  return values[below] + (values[above] - values[below]) * (at - static_cast<double>(below));
}

double median(const std::vector<double>& values) {
  return quantile(values, 0.5);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::atoi(argv[1]) < 1) {
    std::fprintf(
        stderr,
        "usage: vt_paired_runs ROUNDS [--ratio A/B]... LABEL ARG... [:: LABEL ARG...]...\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  std::vector<std::string> ratios;
  int first_arg = 2;
  while (first_arg + 1 < argc && std::string(argv[first_arg]) == "--ratio") {
    ratios.emplace_back(argv[first_arg + 1]);
    first_arg += 2;
  }
  std::vector<Command> commands(1);
  for (int i = first_arg; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "::") {
      commands.emplace_back();
    } else if (commands.back().label.empty()) {
      const std::size_t colon = arg.find(':');
      const std::size_t at = arg.find('@');
      commands.back().label = arg.substr(0, std::min(colon, at));
      if (colon != std::string::npos) commands.back().also_ok = std::atoi(arg.c_str() + colon + 1);
      if (at != std::string::npos) commands.back().uid = std::atoi(arg.c_str() + at + 1);
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
  std::printf("%-12s %10s %15s %10s %10s %12s\n", "", "cpu ms", "cpu spread", "wall ms", "peak MiB",
              ("cpu / " + commands.front().label).c_str());
  for (const Command& command : commands) {
    const double cpu = median(command.cpu_ms);
    char spread[32];
    std::snprintf(spread, sizeof spread, "%.1f-%.1f", quantile(command.cpu_ms, 0.25),
                  quantile(command.cpu_ms, 0.75));
    std::printf("%-12s %10.1f %15s %10.1f %10.1f %12.2f\n", command.label.c_str(), cpu, spread,
                median(command.wall_ms), command.peak_kib / 1024.0, cpu / first);
  }
  const auto named = [&commands](const std::string& label) -> const Command* {
    for (const Command& command : commands) {
      if (command.label == label) return &command;
    }
    return nullptr;
  };
  for (const std::string& ratio : ratios) {
    const std::size_t slash = ratio.find('/');
    const Command* a = named(ratio.substr(0, slash));
    const Command* b = slash == std::string::npos ? nullptr : named(ratio.substr(slash + 1));
    if (a == nullptr || b == nullptr) {
      std::fprintf(stderr, "vt_paired_runs: no such commands in --ratio %s\n", ratio.c_str());
      return 2;
    }
    std::vector<double> by_round;
    for (std::size_t r = 0; r < a->cpu_ms.size(); ++r)
      by_round.push_back(a->cpu_ms[r] / b->cpu_ms[r]);
    std::printf("%-24s cpu %.2f (%.2f-%.2f), peak %.2f\n", ratio.c_str(), median(by_round),
                quantile(by_round, 0.25), quantile(by_round, 0.75),
                static_cast<double>(a->peak_kib) / static_cast<double>(b->peak_kib));
  }
  return 0;
}
