#include "plugins/runner.h"

#include <chrono>
#include <limits>
#include <string_view>

#include "base/arguments.h"
#include "base/error.h"
#include "base/process.h"
#include "base/text.h"
#include "base/utf8.h"

namespace vt::plugins {
namespace {

// How much of a failed helper's standard error its message quotes.
constexpr std::size_t kMaxErrorBytes = 500;

std::chrono::milliseconds to_limit(std::uint64_t seconds) {
  using Rep = std::chrono::milliseconds::rep;
  constexpr auto kMaxSeconds = static_cast<std::uint64_t>(std::numeric_limits<Rep>::max() / 1000);
  if (seconds > kMaxSeconds) return std::chrono::milliseconds::max();
  return std::chrono::seconds(static_cast<Rep>(seconds));
}

std::string error_message(const base::ProcessError& error, const std::string& program,
                          std::uint64_t limit_seconds, std::size_t max_output) {
  switch (error.kind) {
    case base::ProcessErrorKind::spawn:
      return "failed to spawn " + program + ": " + base::os_error_text(error.errnum);
    case base::ProcessErrorKind::wait:
      return "failed to wait for helper: " + base::os_error_text(error.errnum);
    case base::ProcessErrorKind::output_too_large:
      return program + " output was too large: more than " + std::to_string(max_output) + " bytes";
    case base::ProcessErrorKind::timed_out:
      break;
  }
  return program + " timed out after " + std::to_string(limit_seconds) + "s";
}

// A helper run that ended on its own.
struct HelperOutput {
  std::string stdout_bytes;  // its standard output, unchanged
  std::string stderr_bytes;  // its standard error, unchanged
  int status = 0;            // raw wait status; success is exactly 0
};

std::expected<HelperOutput, std::string> run_helper(const std::string& program,
                                                    const std::vector<std::string>& args,
                                                    std::uint64_t limit_seconds,
                                                    std::size_t max_output) {
  auto run = base::run_process(program, args, to_limit(limit_seconds), max_output);
  if (!run) return std::unexpected(error_message(run.error(), program, limit_seconds, max_output));
  return HelperOutput{std::move(run->out), std::move(run->err), run->status};
}

}  // namespace

std::expected<std::string, std::string> run_helper_text(const std::string& program,
                                                        const std::vector<std::string>& args,
                                                        std::uint64_t limit_seconds,
                                                        std::size_t max_output) {
  auto output = run_helper(program, args, limit_seconds, max_output);
  if (!output) return std::unexpected(std::move(output.error()));
  if (output->status != 0) {
    const std::string text = base::decode_lossy(output->stderr_bytes);
    const std::string_view quoted = base::cut_utf8(base::trim(text), kMaxErrorBytes);
    return std::unexpected(program + " exited with " + base::status_text(output->status) + ": " +
                           std::string(quoted));
  }
  if (const auto error = base::check_utf8(output->stdout_bytes)) {
    return std::unexpected("helper output is not valid UTF-8: " + base::describe(*error));
  }
  return std::move(output->stdout_bytes);
}

std::expected<std::vector<std::string>, std::string> run_helper_texts(
    const std::string& program, const std::vector<std::string>& command, std::size_t count,
    const std::function<std::string(std::size_t)>& item, std::uint64_t limit_seconds) {
  std::vector<std::string> answers;
  std::vector<std::string> args = command;
  const auto ask = [&]() -> std::expected<void, std::string> {
    auto answer = run_helper_text(program, args, limit_seconds);
    if (!answer) return std::unexpected(std::move(answer.error()));
    answers.push_back(std::move(*answer));
    args.resize(command.size());
    return {};
  };
  base::ArgumentRuns runs(command, base::argument_space());
  for (std::size_t i = 0; i < count; ++i) {
    std::string next = item(i);
    if (runs.starts_run(next)) {
      if (auto asked = ask(); !asked) return std::unexpected(std::move(asked.error()));
    }
    args.push_back(std::move(next));
  }
  if (args.size() > command.size() || answers.empty()) {
    if (auto asked = ask(); !asked) return std::unexpected(std::move(asked.error()));
  }
  return answers;
}

}  // namespace vt::plugins
