#pragma once
// Running a program to its end and collecting what it writes.
#include <chrono>
#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace vt::base {

/// The most one call collects of each output stream unless told otherwise:
/// several times the largest answer the programs run here give on the
/// largest servers.
inline constexpr std::size_t kMaxOutputBytes = std::size_t{1} << 30;

/// A program that ran to its end. Both texts have base::kSpareCapacity bytes
/// of spare capacity, as texts read from files do.
struct ProcessResult {
  std::string out;  ///< everything it wrote to standard output, unchanged
  std::string err;  ///< everything it wrote to standard error, unchanged
  int status = 0;   ///< the raw wait status; 0 is a normal exit with code 0
};

enum class ProcessErrorKind {
  spawn,             ///< the program could not be started
  wait,              ///< asking for its end failed; it was killed and reaped
  timed_out,         ///< it overran its time limit; it was killed and reaped
  output_too_large,  ///< an output stream passed its cap; see run_process
};

struct ProcessError {
  ProcessErrorKind kind = ProcessErrorKind::spawn;
  /// errno of the failed call; 0 for timed_out; EMSGSIZE for
  /// output_too_large, so that a caller showing only the number says
  /// something true.
  int errnum = 0;
};

/// Runs the program at `path` with `args` after the path as its argument
/// list (no shell; nothing is quoted or split) and collects both outputs
/// while waiting for its end. A path or argument holding a NUL byte is
/// refused as a spawn error (EINVAL) without starting anything, and so is a
/// caller that ignores SIGCHLD or sets SA_NOCLDWAIT for it (ECHILD), as the
/// kernel would reap the program unasked.
///
/// The program starts in a process group of its own, with the caller's
/// environment, working directory and signal mask, default handling of
/// SIGPIPE and SIGCHLD, standard input on /dev/null, its outputs on pipes,
/// and no other descriptor of the caller.
///
/// What the call kills, and when. "Killed with its group" means SIGKILL is
/// sent to the program's process group (the program and the descendants
/// that stayed in it) and to the program, and the program is reaped before
/// the call goes on; the rest of the group dies as the kernel gets to it.
/// - At `limit`, a program still running is killed with its group, its
///   output is discarded and the call fails with timed_out.
/// - When standard output or standard error passes `max_output` bytes while
///   the program runs, the same, and the call fails with output_too_large.
/// - When a signal of ending_signals() arrives while the program runs and
///   would end the caller (its handling is the default and the caller does
///   not block it), the program is killed with its group, and then the
///   caller ends by that same signal. These signals and SIGCHLD are blocked in the
///   calling thread during the call and taken there, so the caller must have
///   no other thread (one could take them, and the program's end would go
///   unnoticed). Stop signals the caller ignores, handles or blocks, and all
///   other signals, are left to it.
/// - When asking for the program's end fails (wait), a program still
///   running is killed with its group.
/// - A program that ends by itself is reaped and nothing is killed: its
///   descendants keep running. What they still write into the inherited
///   pipes is read for at most a second more (never past `limit`) and then
///   left; if that passes `max_output`, the call fails with output_too_large.
/// Descendants that left the program's group are never killed. No
/// descriptor of the call outlives it, and when it returns the caller's
/// signal mask is the one it had.
///
/// SIGCHLD is given back: if one was pending when the call began or arrived
/// during it, which the program's end always does, the call leaves one
/// pending as it restores the caller's mask. A caller that blocks SIGCHLD
/// finds it pending, a handler runs before the call returns, and default
/// handling discards it. The kernel keeps one SIGCHLD at a time, so the one
/// given back stands for all the call took; it carries the information of
/// the first that was not sent for the program, or else of the program's.
std::expected<ProcessResult, ProcessError> run_process(
    const std::string& path, const std::vector<std::string>& args,
    std::optional<std::chrono::milliseconds> limit = std::nullopt,
    std::size_t max_output = kMaxOutputBytes);

/// - After end_programs, the call starts nothing: it fails with spawn
///   (ECANCELED), killing a program it had just started.

/// The signals that end a process by default and that come from outside
/// it, not from a fault of its own: SIGHUP, SIGINT, SIGQUIT, SIGUSR1,
/// SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ,
/// SIGVTALRM, SIGPROF, SIGIO, SIGPWR and the real-time signals.
const std::vector<int>& ending_signals();

/// For a process about to end: kills the program of every run_process call
/// under way, in any thread, with its group, and makes every later call
/// fail. Safe in a signal handler. The calls reap their programs as usual.
void end_programs();

/// A raw wait status as "exit status: N" or "signal: N (SIGNAME)", the name
/// left out with its blank for a signal that has none, and " (core dumped)"
/// added when a core was written.
std::string status_text(int status);

}  // namespace vt::base
