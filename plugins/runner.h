#pragma once
// Running a helper program under a time limit and taking its answer.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <vector>

#include "base/process.h"

namespace vt::plugins {

/// Runs `program` (an absolute path) with `args` and waits for it at most
/// `limit_seconds`, collecting at most `max_output` bytes of each output
/// (base::run_process says what is killed when), and gives its standard
/// output as text. Errors: "failed to spawn {program}: {reason}", "failed
/// to wait for helper: {reason}", "{program} timed out after {limit}s",
/// "{program} output was too large: more than {max_output} bytes";
/// "{program} exited with {status}: {first 500 bytes of its trimmed
/// standard error}" for a run that did not succeed; "helper output is not
/// valid UTF-8: {where}".
std::expected<std::string, std::string> run_helper_text(
    const std::string& program, const std::vector<std::string>& args, std::uint64_t limit_seconds,
    std::size_t max_output = base::kMaxOutputBytes);

/// run_helper_text once for each run of the `count` items `item(0)`,
/// `item(1)`, ... that fits, after `command`, in the system's limit on a
/// program's arguments (base::ArgumentRuns): one call while everything
/// fits, else the fewest that do, in order, each under its own limit. No
/// items: one call with `command` alone. Each item is made as its run is
/// filled, so that no more than one run's arguments (and the item that
/// starts the next) are held at once. The answers in order, or the first
/// failure.
std::expected<std::vector<std::string>, std::string> run_helper_texts(
    const std::string& program, const std::vector<std::string>& command, std::size_t count,
    const std::function<std::string(std::size_t)>& item, std::uint64_t limit_seconds);

}  // namespace vt::plugins
