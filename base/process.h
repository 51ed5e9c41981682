#pragma once
// Running a program to its end and collecting what it writes.
#include <chrono>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace vt::base {

/// A program that ran to its end.
struct ProcessResult {
  std::string out;  ///< everything it wrote to standard output, unchanged
  std::string err;  ///< everything it wrote to standard error, unchanged
  int status = 0;   ///< the raw wait status; 0 is a normal exit with code 0
};

enum class ProcessErrorKind {
  spawn,      ///< the program could not be started
  wait,       ///< asking for its end failed; it was killed and reaped
  timed_out,  ///< it overran its time limit; it was killed and reaped
};

struct ProcessError {
  ProcessErrorKind kind = ProcessErrorKind::spawn;
  int errnum = 0;  ///< errno of the failed call; 0 for timed_out
};

/// Runs the program at `path` with `args` after the path as its argument
/// list (no shell; nothing is quoted or split), standard input on /dev/null,
/// environment and working directory inherited, and collects both outputs
/// while waiting for its end. Returns as soon as the program has ended and
/// been reaped; what its descendants still write into the inherited pipes
/// is read for at most a second more (never past `limit`) and then left.
/// A program still running at `limit` is killed with SIGKILL and reaped,
/// and its output discarded. No process or descriptor outlives the call.
/// A path or argument holding a NUL byte is refused as a spawn error
/// (EINVAL) without starting anything.
std::expected<ProcessResult, ProcessError> run_process(
    const std::string& path, const std::vector<std::string>& args,
    std::optional<std::chrono::milliseconds> limit = std::nullopt);

/// The system's text for `errnum` followed by " (os error N)".
std::string os_error_text(int errnum);

/// A raw wait status as "exit status: N" or "signal: N (SIGNAME)", the name
/// left out with its blank for a signal that has none, and " (core dumped)"
/// added when a core was written.
std::string status_text(int status);

}  // namespace vt::base
