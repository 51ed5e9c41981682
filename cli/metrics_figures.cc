#include "cli/metrics_figures.h"

#include <cmath>
#include <limits>

namespace vt::cli {
namespace {

constexpr double kLeftOut = std::numeric_limits<double>::quiet_NaN();

// A figure's sample value, NaN where it is left out; inline, as it runs for
// every figure of every account.
inline double value_or_nan(double figure) {
  return std::isfinite(figure) ? figure : kLeftOut;
}

inline double value_or_nan(const nlohmann::json& figure) {
  using Json = nlohmann::json;
  switch (figure.type()) {
    case Json::value_t::number_float:
      return value_or_nan(*figure.get_ptr<const Json::number_float_t*>());
    case Json::value_t::number_integer:
      return static_cast<double>(*figure.get_ptr<const Json::number_integer_t*>());
    case Json::value_t::number_unsigned:
      return static_cast<double>(*figure.get_ptr<const Json::number_unsigned_t*>());
    default:
      return kLeftOut;
  }
}

}  // namespace

FigureValues figure_values(const TopUser& account) {
  const auto values = [](const TopUsage& m) {
    return std::array<double, kAccountFigures.size()>{
        value_or_nan(m.cpu.all),   value_or_nan(m.io.all),  value_or_nan(m.iops),
        value_or_nan(m.ep),        value_or_nan(m.pno),     value_or_nan(m.mem),
        value_or_nan(m.cpu.mysql), value_or_nan(m.io.mysql)};
  };
  return {values(account.usage), values(account.limit)};
}

std::array<bool, kAccountFigures.size()> limits_reached(const FigureValues& values,
                                                        double fraction) {
  std::array<bool, kAccountFigures.size()> reached{};
  for (std::size_t f = 0; f < kAccountFigures.size(); ++f) {
    reached[f] = values.limit[f] > 0 && values.usage[f] >= fraction * values.limit[f];
  }
  return reached;
}

}  // namespace vt::cli
