#include "base/arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vt::base {
namespace {

TEST(ArgumentRuns, FewestConsecutiveRunsThatFit) {
  // Costs with a pointer of 8 bytes: "cmd" 12, "a" 10, "bb" 11, "ccc" 12.
  const std::vector<std::string> fixed = {"cmd"};
  const std::vector<std::string> items = {"a", "bb", "ccc"};
  struct Case {
    std::size_t space;
    std::vector<std::size_t> sizes;
  };
  const std::vector<Case> cases = {
      {1000, {3}},
      {33, {2, 1}},     // "cmd a bb" fits exactly
      {32, {1, 1, 1}},  // "a bb" no longer does
      {5, {1, 1, 1}},   // too small for anything: one item a call
  };
  static_assert(sizeof(char*) == 8);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.space);
    std::vector<std::size_t> sizes;
    std::vector<std::string> joined;
    for (const auto run : argument_runs(fixed, items, c.space)) {
      sizes.push_back(run.size());
      joined.insert(joined.end(), run.begin(), run.end());
    }
    EXPECT_EQ(sizes, c.sizes);
    EXPECT_EQ(joined, items);
  }
}

}  // namespace
}  // namespace vt::base
