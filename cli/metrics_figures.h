#pragma once
// The figures of an account that the metrics export: each usage beside its
// limit, the values their samples carry, and closeness to a limit.
#include <array>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "cli/snapshot.h"

namespace vt::cli {

/// One figure of an account, measured by a usage and bounded by a limit,
/// both in the statistics service's units.
struct AccountFigure {
  std::string_view name;  ///< as in vorlane_account_NAME_usage
  std::string_view what;  ///< what is measured, for the HELP texts
};

/// Their usages are the eight sort orders of --order-by.
inline constexpr std::array<AccountFigure, 8> kAccountFigures = {{
    {"cpu", "CPU (all processes, MySQL included)"},
    {"io", "I/O (all processes, MySQL included)"},
    {"iops", "I/O operations"},
    {"entry_processes", "Entry processes"},
    {"processes", "Processes"},
    {"memory", "Memory"},
    {"mysql_cpu", "MySQL CPU"},
    {"mysql_io", "MySQL I/O"},
}};

/// An account's samples in the order of kAccountFigures; NaN for a sample
/// that is left out: a figure that is null, not a number (the service
/// writes "-") or not finite.
struct FigureValues {
  std::array<double, kAccountFigures.size()> usage;
  std::array<double, kAccountFigures.size()> limit;
};

FigureValues figure_values(const TopUser& account);

/// For each figure, whether its usage has reached `fraction` of its limit,
/// a positive one (never where either is left out). The MySQL figures count
/// as the others: their limits are the tessel service's.
std::array<bool, kAccountFigures.size()> limits_reached(const FigureValues& values,
                                                        double fraction);

}  // namespace vt::cli
