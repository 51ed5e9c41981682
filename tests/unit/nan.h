#pragma once
#include <limits>

namespace vt::test {

/// The figure of a value that is not known.
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace vt::test
