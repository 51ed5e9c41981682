#pragma once
// The command line: the options record and its parser.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_status.h"

namespace CLI {
class App;
class Option;
class Validator;
}  // namespace CLI

namespace vt::cli {

inline constexpr const char* kProgramName = "vorlane-top";
inline constexpr const char* kVersion = "3.0.0";

struct Cli {
  bool json = false;
  bool hide_mysql = false;
  std::optional<std::string> username = std::nullopt;
  std::optional<std::string> for_reseller = std::nullopt;
  std::optional<std::string> domain = std::nullopt;
  std::uint64_t max = 25;
  std::string order_by = "cpu";
  bool domains = false;
};

/// A parse that ends the run: help or version (kExitSuccess, text for
/// standard output) or a usage error (kExitUsage, text for standard error).
struct ParseExit {
  std::string out;
  std::string err;
  ExitStatus status = kExitSuccess;
};

/// Parses the process's argument list; argv[0] is the program path.
std::expected<Cli, ParseExit> parse_cli(int argc, const char* const* argv);

// What the project's commands share in reading their command lines.

/// Refuses option values that are not a decimal unsigned 64-bit integer.
extern const CLI::Validator kUnsigned64;

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

}  // namespace vt::cli
