#include "base/format.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "tests/unit/nan.h"

namespace vt::base {
namespace {

using test::kNaN;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(Format, Figures) {
  const struct {
    double value;
    std::string exact;
    std::string compact;
  } cases[] = {
      {1000000, "1000000", "1000k"},
      {2000000000, "2000000000", "2000M"},
      {0.1, "0.1", "0.10"},
      {-3, "-3", "-3"},
      {9999, "9999", "9999"},
      {1e19, "10000000000000000000", "1e19"},
      {-1e22, "-1" + std::string(22, '0'), "-1e22"},
      {5e-324, "0." + std::string(323, '0') + "5", "0.00"},
      {kInfinity, "-", "-"},
      {kNaN, "-", "-"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(exact_figure(c.value), c.exact) << c.value;
    EXPECT_EQ(compact_figure(c.value), c.compact) << c.value;
    EXPECT_LE(compact_figure(c.value).size(), 6u) << c.value;
  }
}

TEST(Format, SharesKeepTheirMark) {
  const struct {
    double share;
    std::string text;
  } cases[] = {
      {0.12, "12% "},  {0.9, "90%+"},     {99.99, "9999%!"},     {100, "10k%!"}, {9.5e16, "9E%!"},
      {1e17, "10E%!"}, {1e300, "huge%!"}, {kInfinity, "huge%!"}, {-0.5, "<0%"},  {kNaN, "-"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(share_text(c.share), c.text) << c.share;
    EXPECT_LE(share_text(c.share).size(), 6u) << c.share;
  }
}

TEST(Format, TimesOutsideTheCalendarAreUnknown) {
  EXPECT_EQ(utc_time(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(utc_time(-1.5), "1969-12-31T23:59:58Z");
  for (const double far : {1e20, -1e20, 1e300, kInfinity, kNaN}) {
    EXPECT_EQ(utc_time(far), "-") << far;
    EXPECT_EQ(age_text(1e9, far), "?") << far;
  }
  EXPECT_EQ(age_text(1000, 988), "12s old");
  EXPECT_EQ(age_text(1000, 1000.5), "0s old");         // within the clocks' second
  EXPECT_EQ(age_text(1000, 1000 + 7200), "2h ahead");  // was "0s old"
  EXPECT_EQ(duration_text(200000), "2d");
  EXPECT_EQ(duration_text(-1), "?");
}

}  // namespace
}  // namespace vt::base
