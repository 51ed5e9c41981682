#pragma once
// The command line: the options record and its parser.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

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

/// A parse that ends the run: help or version (status 0, text for standard
/// output) or a usage error (status 2, text for standard error).
struct ParseExit {
  std::string out;
  std::string err;
  int status = 0;
};

/// Parses the process's argument list; argv[0] is the program path.
std::expected<Cli, ParseExit> parse_cli(int argc, const char* const* argv);

}  // namespace vt::cli
