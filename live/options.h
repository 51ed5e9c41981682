#pragma once
// The command line of vorlane-top-live.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "command/command_line.h"

namespace vt::live {

inline constexpr const char* kLiveProgramName = "vorlane-top-live";

struct LiveCli {
  std::optional<std::string> for_reseller;
  std::optional<std::string> username;  ///< substring of the names shown
  std::optional<std::string> domain;    ///< substring of the domains shown
  std::string order_by = "cpu";
  bool hide_mysql = false;
  std::optional<double> delay;  ///< seconds between refreshes; nothing: the service's interval
  bool batch = false;
  std::optional<std::uint64_t> iterations;  ///< refreshes to show; nothing: until quit
};

/// Parses the process's argument list; argv[0] is the program path.
std::expected<LiveCli, command::ParseExit> parse_live_cli(int argc, const char* const* argv);

}  // namespace vt::live
