#pragma once
// What the project's commands share in reading their command lines: the
// version, the help layout, the parse, and how a parse ends a run.
#include <optional>
#include <string>
#include <vector>

#include "command/exit_status.h"

namespace CLI {
class App;
class Option;
class Validator;
}  // namespace CLI

namespace vt::command {

/// Every command's version, the project's.
inline constexpr const char* kVersion = VT_VERSION;

/// A parse that ends the run: help or version (kExitSuccess, text for
/// standard output) or a usage error (kExitUsage, text for standard error).
struct ParseExit {
  std::string out;
  std::string err;
  ExitStatus status = kExitSuccess;
};

/// Refuses option values that are not a decimal unsigned 64-bit integer.
extern const CLI::Validator kUnsigned64;

/// Refuses option values that are not UTF-8.
extern const CLI::Validator kUtf8Text;

/// Gives `app` the commands' help layout (each option's default after its
/// help text, only the value name beside the option) and takes away the
/// library's help flag; add the command's options next.
void use_help_format(CLI::App& app);

/// Adds -h/--help and -V/--version (which prints `version`) after the
/// command's options, and parses the argument list (argv[0] is the program
/// path). Each option of `once` may be given once, and a flag never takes a
/// value. Nothing when the run goes on.
std::optional<ParseExit> parse_arguments(CLI::App& app, const std::vector<CLI::Option*>& once,
                                         const std::string& version, int argc,
                                         const char* const* argv);

}  // namespace vt::command
