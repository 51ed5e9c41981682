#include "core/identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/in_child.h"

namespace vt::core {
namespace {

TEST(UidMap, OnlyTheFullIdentityMappingIsInitial) {
  struct Case {
    std::string text;
    bool initial;
  };
  const std::vector<Case> cases = {
      {"0 0 4294967295\n", true},
      {"         0          0 4294967295\n", true},  // as the kernel prints it
      {"0 0 4294967295\n\n  \n\t\n", true},
      {"\n  \n0 0 4294967295\n", true},
      {"0\t0 \t  4294967295", true},
      {"0 0 4294967295\r\n\r\n", true},
      {"0 1000 65536\n", false},
      {"0 0 1\n", false},
      {"0 0 4294967295\n1 1 1\n", false},
      {"0 0 1\n1 1 4294967294\n", false},
      {"", false},
      {"\n \n", false},
      {"00 0 4294967295\n", false},
      {"+0 0 4294967295\n", false},
      {"0 +0 4294967295\n", false},
      {"0 0 04294967295\n", false},
      {"0 0\n", false},
      {"0 0 4294967295 0\n", false},
      {"0 0 4294967295\r0 0 1\n", false},  // a lone carriage return ends no line
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(uid_map_is_initial(c.text), c.initial);
  }
}

TEST(LoginDefs, FirstQualifyingLineWithANumberWins) {
  struct Case {
    std::string text;
    std::string name;
    std::uint32_t expected;  // the fallback is 7 throughout
  };
  const std::string defs = "# ids\nUID_MIN 1000\nUID_MAX 60000\n";
  const std::vector<Case> cases = {
      {defs, "UID_MIN", 1000},
      {defs, "UID_MAX", 60000},
      {"UID_MIN abc\nUID_MIN 700\n", "UID_MIN", 700},
      {"UID_MIN 1000\nUID_MIN 2000\n", "UID_MIN", 1000},
      {"#UID_MIN 1000\n", "UID_MIN", 7},
      {"# UID_MIN 1000\n", "UID_MIN", 7},
      {"UID_MAXIMUM 5\n", "UID_MAX", 5},
      {"UID_MAX=60000\n", "UID_MAX", 7},
      {"UID_MAX 6e4\n", "UID_MAX", 7},
      {"UID_MAX=60000\nUID_MAX 6e4\nUID_MAX 42\n", "UID_MAX", 42},
      {"UID_MAX 4294967295\n", "UID_MAX", 4294967295u},
      {"UID_MAX 4294967296\n", "UID_MAX", 7},
      {"UID_MAX 99999999999999999999\nUID_MAX 9\n", "UID_MAX", 9},
      {"UID_MAX +1234\n", "UID_MAX", 1234},
      {"UID_MAX -1\n", "UID_MAX", 7},
      {"UID_MAX 0x10\n", "UID_MAX", 7},
      {"UID_MAX\nUID_MAX 9\n", "UID_MAX", 9},
      {"  \tUID_MIN\t\t 1000  # first login id\r\n", "UID_MIN", 1000},
      {"SUB_UID_MIN 100000\nUID_MIN 1000\n", "UID_MIN", 1000},
      {"uid_min 5\n", "UID_MIN", 7},
      {"UID_MIN 1000\n", "UID_MAX", 7},
      {"", "UID_MIN", 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text) + " " + c.name);
    EXPECT_EQ(login_defs_value(c.text, c.name, 7), c.expected);
  }
}

// Both values of "/etc/login.defs" after writing `text` (nothing: no file).
std::string login_range_after(const std::optional<std::string>& text) {
  if (text) {
    if (auto error = test::write_text("/etc/login.defs", *text); !error.empty()) return error;
  } else {
    ::unlink("/etc/login.defs");
  }
  const LoginRange range = login_range();
  return std::to_string(range.min) + " " + std::to_string(range.max);
}

TEST(LoginDefs, ReadAfreshOnEveryCall) {
  if (const auto missing = test::private_mounts_missing(); !missing.empty())
    GTEST_SKIP() << missing;
  struct Step {
    std::optional<std::string> text;
    std::string range;
  };
  const std::vector<Step> steps = {
      {std::nullopt, "500 60000"},
      {"UID_MIN 1000\nUID_MAX 60000\n", "1000 60000"},
      {"UID_MIN\t2000\nUID_MAX 3000\n", "2000 3000"},
      {"UID_MIN 1000\n", "1000 60000"},
      {"UID_MIN 1000 # caf\xe9\n", "500 60000"},  // not UTF-8: defaults
      {std::nullopt, "500 60000"},
  };
  const std::string ranges = test::run_in_child([&] {
    if (auto error = test::enter_private_mounts(); !error.empty()) return error;
    if (auto error = test::mount_tmpfs("/etc"); !error.empty()) return error;
    std::string out;
    for (const auto& step : steps) out += login_range_after(step.text) + "\n";
    return out;
  });
  std::string expected;
  for (const auto& step : steps) expected += step.range + "\n";
  EXPECT_EQ(ranges, expected);
}

}  // namespace
}  // namespace vt::core
