#include "plugins/tsl_helper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "plugins/runner.h"
#include "temp_dir.h"

namespace vt::plugins {
namespace {

namespace fs = std::filesystem;

void expect_same(const TslLimitsByName& got, const TslLimitsByName& want) {
  ASSERT_EQ(got.size(), want.size());
  for (const auto& [name, entry] : want) {
    SCOPED_TRACE(name);
    const auto found = got.find(name);
    ASSERT_NE(found, got.end());
    EXPECT_EQ(found->second.cpu, entry.cpu);
    EXPECT_EQ(found->second.io, entry.io);
    EXPECT_EQ(found->second.error, entry.error);
    EXPECT_EQ(found->second.absent, entry.absent);
  }
}

// Limits built member by member.
TslLimits limits(std::optional<double> cpu, std::optional<double> io = {},
                 std::optional<std::string> error = {}, bool absent = false) {
  TslLimits result;
  result.cpu = cpu;
  result.io = io;
  result.error = std::move(error);
  result.absent = absent;
  return result;
}

struct Case {
  std::string name;
  std::string text;
  std::optional<TslLimitsByName> value;
  std::string error;  // the reader's description, when `value` is empty
};

TEST(TslLimitsAnswer, Reading) {
  const std::vector<Case> cases = {
      {"empty table", "{}", TslLimitsByName{}, ""},
      {"empty user object", R"({"alice": {}})", TslLimitsByName{{"alice", {}}}, ""},
      {"every key",
       R"({"alice": {"cpu": 100, "io": 2.5e3, "error": null, "absent": true}, "bob": {"error": "x"}})",
       TslLimitsByName{{"alice", limits(100.0, 2500.0, {}, true)}, {"bob", limits({}, {}, "x")}},
       ""},
      {"integer cpu", R"({"a": {"cpu": 100}})", TslLimitsByName{{"a", limits(100.0)}}, ""},
      {"float cpu", R"({"a": {"cpu": 100.0}})", TslLimitsByName{{"a", limits(100.0)}}, ""},
      {"null cpu and io", R"({"a": {"cpu": null, "io": null}})", TslLimitsByName{{"a", {}}}, ""},
      {"absent false", R"({"a": {"absent": false}})", TslLimitsByName{{"a", {}}}, ""},
      {"a name twice keeps the second object", R"({"a": {"cpu": 1}, "b": {}, "a": {"io": 2}})",
       TslLimitsByName{{"a", limits({}, 2.0)}, {"b", {}}}, ""},
      {"unknown keys are skipped", R"({"a": {"cpu": 1, "mem": [1, {"x": null}], "ep": "y"}})",
       TslLimitsByName{{"a", limits(1.0)}}, ""},
      {"white space around the value", " \n{}\r\n ", TslLimitsByName{}, ""},
      {"cpu as text",
       R"({"a": {"cpu": "100"}})",
       {},
       "invalid type: string \"100\", expected a float or null at line 1 column 19"},
      {"absent null",
       R"({"a": {"absent": null}})",
       {},
       "invalid type: null, expected a boolean at line 1 column 21"},
      {"error as a number",
       R"({"a": {"error": 5}})",
       {},
       "invalid type: integer 5, expected a string or null at line 1 column 17"},
      {"a key twice in one object",
       R"({"a": {"cpu": 1, "cpu": 2}})",
       {},
       R"(duplicate field "cpu" in TslLimits at line 1 column 22)"},
      {"a user's value not an object",
       R"({"a": 5})",
       {},
       "invalid type: integer 5, expected TslLimits at line 1 column 7"},
      {"a user's value null",
       R"({"a": null})",
       {},
       "invalid type: null, expected TslLimits at line 1 column 10"},
      {"an array", "[]", {}, "invalid type: array, expected a map at line 1 column 1"},
      {"a second value after it", "{} {}", {}, "trailing characters at line 1 column 4"},
      {"another character after it", "{}\n;", {}, "trailing characters at line 2 column 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = parse_tsl_limits(c.text);
    if (c.value) {
      ASSERT_TRUE(got.has_value()) << got.error();
      expect_same(*got, *c.value);
    } else {
      ASSERT_FALSE(got.has_value());
      EXPECT_EQ(got.error(), "failed to parse tsl-helper JSON: " + c.error + ": output=" + c.text);
    }
  }
}

class TslHelperRun : public test::HelperTest {};

TEST_F(TslHelperRun, AsksForEveryNameAndKeepsTheAnswer) {
  answer(R"({"alice": {"cpu": 50, "io": 4}, "carol": {"error": "no such user"}})");
  const auto got = query_tsl_limits(helper_, {"alice", "b o;b", "alice"});
  ASSERT_TRUE(got.has_value()) << got.error();
  EXPECT_EQ(args(), "limits\nalice\nb o;b\nalice\n");
  // bob was not answered; carol was not asked for.
  expect_same(*got, {{"alice", limits(50.0, 4.0)}, {"carol", limits({}, {}, "no such user")}});
}

TEST_F(TslHelperRun, NoNamesRunNothing) {
  const auto got = query_tsl_limits(helper_, {});
  ASSERT_TRUE(got.has_value()) << got.error();
  EXPECT_TRUE(got->empty());
  EXPECT_FALSE(fs::exists(dir_ / "ran"));
}

TEST_F(TslHelperRun, Failures) {
  const std::string failing = script("failing", "echo '  oops ' >&2; exit 4");
  const auto runner = run_helper_text(failing, {}, 15);
  ASSERT_FALSE(runner.has_value());
  EXPECT_NE(runner.error().find("exit status: 4"), std::string::npos) << runner.error();
  EXPECT_EQ(query_tsl_limits(failing, {"a"}).error(), runner.error());

  answer(" [1]\n");
  EXPECT_EQ(query_tsl_limits(helper_, {"a"}).error(),
            "failed to parse tsl-helper JSON: invalid type: array, expected a map at line 1 "
            "column 2: output= [1]\n");
}

}  // namespace
}  // namespace vt::plugins
