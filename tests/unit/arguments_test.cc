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
    ArgumentRuns runs(fixed, c.space);
    std::vector<std::size_t> sizes;
    for (const std::string& item : items) {
      if (runs.starts_run(item) || sizes.empty()) sizes.push_back(0);
      ++sizes.back();
    }
    EXPECT_EQ(sizes, c.sizes);
  }
}

}  // namespace
}  // namespace vt::base
