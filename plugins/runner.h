#pragma once
// Running a helper program under a time limit and taking its answer.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "base/process.h"

namespace vt::plugins {

/// A helper run that ended on its own.
struct HelperOutput {
  std::string stdout_bytes;  ///< its standard output, unchanged
  std::string stderr_bytes;  ///< its standard error, unchanged
  int status = 0;            ///< raw wait status; success is exactly 0
};

/// Runs `program` (an absolute path) with `args` and waits for it at most
/// `limit_seconds`, collecting at most `max_output` bytes of each output
/// (base::run_process says what is killed when). Errors: "failed to spawn
/// {program}: {reason}", "failed to wait for helper: {reason}", "{program}
/// timed out after {limit}s", "{program} output was too large: more than
/// {max_output} bytes".
std::expected<HelperOutput, std::string> run_helper(const std::string& program,
                                                    const std::vector<std::string>& args,
                                                    std::uint64_t limit_seconds,
                                                    std::size_t max_output = base::kMaxOutputBytes);

/// run_helper, then the helper's standard output as text. A failed run gives
/// "{program} exited with {status}: {first 500 bytes of its trimmed standard
/// error}"; output that is not UTF-8 gives "helper output is not valid
/// UTF-8: {where}".
std::expected<std::string, std::string> run_helper_text(
    const std::string& program, const std::vector<std::string>& args, std::uint64_t limit_seconds,
    std::size_t max_output = base::kMaxOutputBytes);

/// run_helper_text once for each run of `items` that fits, after `command`,
/// in the system's limit on a program's arguments (base::argument_runs):
/// one call while everything fits, else the fewest that do, in order, each
/// under its own limit. The answers in order, or the first failure.
std::expected<std::vector<std::string>, std::string> run_helper_texts(
    const std::string& program, const std::vector<std::string>& command,
    const std::vector<std::string>& items, std::uint64_t limit_seconds);

}  // namespace vt::plugins
