#pragma once
// The MySQL limits of an account, as the tessel helper reports them.
#include <optional>
#include <string>
#include <unordered_map>

namespace vt::plugins {

struct TslLimits {
  std::optional<double> cpu;
  std::optional<double> io;
  std::optional<std::string> error;  ///< the helper's error text for this account
  bool absent = false;               ///< the account is unknown to the tessel service
};

/// Account name to its MySQL limits.
using TslLimitsByName = std::unordered_map<std::string, TslLimits>;

}  // namespace vt::plugins
