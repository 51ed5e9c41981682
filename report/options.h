#pragma once
// The command line: the options record and its parser.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "command/command_line.h"

namespace vt::report {

inline constexpr const char* kProgramName = "vorlane-top";

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

/// Parses the process's argument list; argv[0] is the program path.
std::expected<Cli, command::ParseExit> parse_cli(int argc, const char* const* argv);

}  // namespace vt::report
