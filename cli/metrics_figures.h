#pragma once
// The figures of an account that the metrics export: each usage beside its
// limit, the values their samples carry, and closeness to a limit.
#include <array>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/snapshot.h"

namespace vt::cli {

/// The value of a sample: nothing where the figure is null, not a number
/// (the service writes "-") or not finite, so that the sample is left out.
std::optional<double> sample_value(double figure);
std::optional<double> sample_value(const nlohmann::json& figure);

/// One figure of an account: its usage and its limit, in the statistics
/// service's units.
struct AccountFigure {
  std::string_view name;  ///< as in vorlane_account_NAME_usage
  std::string_view what;  ///< what is measured, for the HELP texts
  std::optional<double> (*usage)(const TopUser&);
  std::optional<double> (*limit)(const TopUser&);
};

/// The figures whose limits count as "near a limit" come first.
inline constexpr std::size_t kLimitFigureCount = 6;

/// cpu, io, iops, entry_processes, processes and memory, then mysql_cpu and
/// mysql_io. Their usages are the eight sort orders of --order-by.
extern const std::array<AccountFigure, 8> kAccountFigures;

/// Whether `usage` has reached `fraction` of a positive `limit`.
bool reaches(std::optional<double> usage, std::optional<double> limit, double fraction);

/// How close an account is to its nearest limit: the highest usage/limit of
/// the first kLimitFigureCount figures with a positive limit, or -infinity
/// when none has one.
double closeness(const TopUser& account);

/// Whether any of the first kLimitFigureCount usages reaches `fraction` of
/// its limit.
bool near_a_limit(const TopUser& account, double fraction);

/// For each of the first kLimitFigureCount figures, how many accounts reach
/// `fraction` of its limit.
std::array<std::uint64_t, kLimitFigureCount> near_limit_counts(const std::vector<TopUser>& accounts,
                                                               double fraction);

}  // namespace vt::cli
