#pragma once
// An account's figures as the metrics export them: each usage beside its
// limit, in the order of kUsages.
#include <array>

#include "gather/snapshot.h"
#include "gather/usages.h"

namespace vt::gather {

inline constexpr std::size_t kUsageCount = kUsages.size();

/// An account's samples; NaN for a sample that is left out: a figure that
/// is null, not a number (the service writes "-") or not finite.
struct FigureValues {
  std::array<double, kUsageCount> usage;
  std::array<double, kUsageCount> limit;
};

FigureValues figure_values(const TopUser& account);

/// For each usage, whether it has reached `fraction` of its limit, a
/// positive one (never where either is left out). The MySQL figures count
/// as the others: their limits are the tessel service's.
std::array<bool, kUsageCount> limits_reached(const FigureValues& values, double fraction);

}  // namespace vt::gather
