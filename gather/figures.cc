#include "gather/figures.h"

#include <cmath>
#include <limits>

namespace vt::gather {

FigureValues figure_values(const TopUser& account) {
  FigureValues values;
  for (std::size_t f = 0; f < kUsageCount; ++f) {
    const auto& figure = kUsages[f].figure;
    const double usage = figure(account.usage);
    const double limit = figure(account.limit);
    constexpr double kLeftOut = std::numeric_limits<double>::quiet_NaN();
    values.usage[f] = std::isfinite(usage) ? usage : kLeftOut;
    values.limit[f] = std::isfinite(limit) ? limit : kLeftOut;
  }
  return values;
}

std::array<bool, kUsageCount> limits_reached(const FigureValues& values, double fraction) {
  std::array<bool, kUsageCount> reached{};
  for (std::size_t f = 0; f < kUsageCount; ++f) {
    reached[f] = values.limit[f] > 0 && values.usage[f] >= fraction * values.limit[f];
  }
  return reached;
}

}  // namespace vt::gather
