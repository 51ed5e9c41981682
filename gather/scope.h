#pragma once
// What a command asks of the gathering: whose accounts, which of them, how
// many, and with what.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "gather/usages.h"

namespace vt::gather {

struct Scope {
  /// A reseller, who sees himself and the accounts the panel lists for him.
  std::optional<std::string> for_reseller = std::nullopt;
  std::optional<std::string> username = std::nullopt;  ///< substring of the names taken
  std::optional<std::string> domain = std::nullopt;    ///< substring of the domains taken
  std::uint64_t max = std::numeric_limits<std::uint64_t>::max();  ///< accounts taken, at most
  Usage order = Usage::cpu;   ///< the usage the accounts are taken in, greatest first
  bool keep_domains = false;  ///< keep the accounts' per-domain usage
  bool with_mysql = true;     ///< gather the MySQL figures and limits, and merge them
};

}  // namespace vt::gather
