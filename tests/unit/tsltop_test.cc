#include "core/tsltop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "tests/unit/nan.h"

namespace vt::core {
namespace {

namespace fs = std::filesystem;

constexpr double kInf = std::numeric_limits<double>::infinity();
using vt::test::kNaN;

// The map as sorted "name cpu io cause time" lines, so that failures show
// every entry and NaN compares equal to NaN.
std::string describe(const DbTslStatsByName& stats) {
  std::vector<std::string> lines;
  for (const auto& [name, s] : stats) {
    std::ostringstream line;
    line << name << ' ' << s.cpu << ' ' << s.io << ' ' << s.cause_of_restrict << ' '
         << s.time_of_restrict;
    lines.push_back(line.str());
  }
  std::ranges::sort(lines);
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

// Exact match, with NaN matching NaN.
bool same_double(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || a == b;
}

TEST(ParseFloat, UsualDecimalForm) {
  struct Case {
    std::string text;
    std::optional<double> value;
  };
  const std::vector<Case> cases = {
      {"5", 5.0},
      {"+5", 5.0},
      {"-2.5", -2.5},
      {".5", 0.5},
      {"5.", 5.0},
      {"1e3", 1000.0},
      {"1E-2", 0.01},
      {"2.5e+1", 25.0},
      {"007", 7.0},
      {"inf", kInf},
      {"-Infinity", -kInf},
      {"+INF", kInf},
      {"NaN", kNaN},
      {"-nan", kNaN},
      {"1e400", kInf},
      {"-1e400", -kInf},
      {"1e-400", 0.0},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {".", std::nullopt},
      {"+-5", std::nullopt},
      {"--5", std::nullopt},
      {"nan(1)", std::nullopt},
      {"0x10", std::nullopt},
      {"1e", std::nullopt},
      {" 5", std::nullopt},
      {"5 ", std::nullopt},
      {"infin", std::nullopt},
      {"1,5", std::nullopt},
      {"e5", std::nullopt},
      {"5K", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    const auto got = parse_float(c.text);
    ASSERT_EQ(got.has_value(), c.value.has_value());
    if (got) {
      EXPECT_TRUE(same_double(*got, *c.value)) << *got;
    }
  }
}

TEST(ParseSizeValue, NumbersAndUnits) {
  const std::vector<std::pair<std::string, double>> cases = {
      {"12", 12.0},      {"1K", 1024.0},       {"1.5k", 1536.0},      {"2M", 2097152.0},
      {"3m", 3145728.0}, {"1G", 1073741824.0}, {"0.5g", 536870912.0}, {"-1K", -1024.0},
      {"+2k", 2048.0},   {"3x", 0.0},          {"3T", 0.0},           {"K", 0.0},
      {"", 0.0},         {"xK", 0.0},          {"1KK", 0.0},          {"5\xe2\x82\xac", 0.0},
      {"infK", kInf},    {"1e3", 1000.0},      {"1e3K", 1024000.0},
  };
  for (const auto& [text, value] : cases) {
    SCOPED_TRACE("\"" + text + "\"");
    EXPECT_TRUE(same_double(parse_size_value(text), value)) << parse_size_value(text);
  }
}

TEST(ParseRestrictionToken, CauseAndTime) {
  const std::vector<std::pair<std::string, RestrictionToken>> cases = {
      {"-", {"-", 0}},
      {"cpu/1700", {"cpu", 1700}},
      {"io_write/5", {"write", 5}},
      {"read/12", {"read", 12}},
      {"readwrite", {"read", 0}},
      {"write_cpu/3", {"cpu", 3}},
      {"unk", {"unknown", 0}},
      {"42", {"unknown", 42}},
      {"CPU/7", {"unknown", 7}},
      {"a/b/42", {"unknown", 42}},
      {"cpu/", {"cpu", 0}},
      {"cpu/1.5", {"cpu", 0}},
      {"cpu/-3", {"cpu", -3}},
      {"cpu/+3", {"cpu", 3}},
      {"cpu/9223372036854775808", {"cpu", 0}},
      {"--", {"unknown", 0}},
  };
  for (const auto& [text, token] : cases) {
    SCOPED_TRACE("\"" + text + "\"");
    EXPECT_EQ(parse_restriction_token(text), token);
  }
}

const DbTslStatsByName kFile = {{"alice", {.cpu = 50, .io = 10, .cause_of_restrict = "-"}}};
const std::string kHeader = "USER CPU READ WRITE RESTRICT\n";

TEST(MergeTsltopOutput, LineRules) {
  struct Case {
    std::string name;
    DbTslStatsByName before;
    std::string output;
    DbTslStatsByName after;
  };
  const std::vector<Case> cases = {
      {"header only", kFile, kHeader, kFile},
      {"empty output", kFile, "", kFile},
      {"header line is never data", {}, "bob 5 1 1 -\n", {}},
      {"cpu second part when first is 0", {}, kHeader + "bob 0/12.5 0 0 -\n", {{"bob", {12.5}}}},
      {"cpu first part when above 0", {}, kHeader + "bob 3/12.5 0 0 -\n", {{"bob", {3}}}},
      {"cpu not a number", {}, kHeader + "bob abc 1 0 -\n", {{"bob", {0, 1}}}},
      {"read with units", {}, kHeader + "bob 0 1K/2K 0 -\n", {{"bob", {0, 1024}}}},
      {"read second part", {}, kHeader + "bob 0 0/2K 1M -\n", {{"bob", {0, 2048 + 1048576}}}},
      {"read bad unit", {}, kHeader + "bob 0 3x 1 -\n", {{"bob", {0, 1}}}},
      {"empty second part", {}, kHeader + "bob 0 0/ 5/ -\n", {{"bob", {0, 5}}}},
      {"empty first part", {}, kHeader + "bob /4 /5 /6 -\n", {{"bob", {4, 11}}}},
      {"restriction", {}, kHeader + "bob 1 0 0 cpu/1700\n", {{"bob", {1, 0, "cpu", 1700}}}},
      {"tool-only user with zero figures", {}, kHeader + "bob 0 0 0 io_write/5\n", {{"bob", {}}}},
      {"fewer than five fields", {}, kHeader + "bob 1 2 3\n\n", {}},
      {"fields after the fifth", {}, kHeader + "bob 1 2 3 - x y\n", {{"bob", {1, 5}}}},
      {"runs of blanks", {}, kHeader + "  bob\t 1  2 \t3   -  \n", {{"bob", {1, 5}}}},
      {"CRLF lines",
       {},
       "h\r\nbob 1 0 0 -\r\ncid 2 0 0 read/4\r\n",
       {{"bob", {1}}, {"cid", {2, 0, "read", 4}}}},
      {"last line without line feed", {}, kHeader + "bob 1 0 0 -", {{"bob", {1}}}},
      {"invalid UTF-8 replaced", {}, kHeader + "b\xffob 1 0 0 -\n", {{"b\xef\xbf\xbdob", {1}}}},
      {"file wins when tool is smaller", kFile, kHeader + "alice 40 5 0 cpu/9\n", kFile},
      {"tool io greater takes all four",
       kFile,
       kHeader + "alice 40 20 0 cpu/9\n",
       {{"alice", {40, 20, "cpu", 9}}}},
      {"tool cpu greater takes all four",
       {{"alice", {50, 10, "read", 3}}},
       kHeader + "alice 60 1 0 -\n",
       {{"alice", {60, 1, "-", 0}}}},
      {"equal figures keep the entry",
       {{"alice", {50, 10, "read", 3}}},
       kHeader + "alice 50 10 0 -\n",
       {{"alice", {50, 10, "read", 3}}}},
      {"NaN never replaces", kFile, kHeader + "alice nan 0 nan cpu/1\n", kFile},
      {"NaN tool-only user", {}, kHeader + "bob nan nan 0 cpu/1\n", {{"bob", {}}}},
      {"later line of the same user",
       {},
       kHeader + "bob 1 0 0 -\nbob 2 0 0 cpu/4\nbob 1 9 0 read/5\n",
       {{"bob", {1, 9, "read", 5}}}},
      {"other users untouched",
       kFile,
       kHeader + "bob 1 0 0 -\n",
       {{"alice", {50, 10}}, {"bob", {1}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DbTslStatsByName stats = c.before;
    merge_tsltop_output(stats, c.output);
    EXPECT_EQ(describe(stats), describe(c.after));
  }
}

// Files and programs in a fresh directory per test.
class TsltopFiles : public testing::Test {
 protected:
  std::string file(const std::string& name, const std::string& content) {
    return temp_.write(name, content, fs::perms::owner_read | fs::perms::owner_write);
  }
  std::string script(const std::string& name, const std::string& body) {
    return temp_.script(name, body);
  }

  test::TempDir temp_{"tsltop_test"};
  const fs::path& dir_ = temp_.path();
};

TEST_F(TsltopFiles, LoadsSnapshotFile) {
  struct Case {
    std::string name;
    std::string content;
    DbTslStatsByName stats;
  };
  const std::vector<Case> cases = {
      {"empty object", "{}", {}},
      {"empty data", R"({"dbtsl_data":{}})", {}},
      {"only cpu", R"({"dbtsl_data":{"a":{"cpu":7.5}}})", {{"a", {7.5, 0, "-", 0}}}},
      {"every member",
       R"({"dbtsl_data":{"a":{"cpu":1,"io":2,"cause_of_restrict":"read",
         "time_of_restrict":-9}}})",
       {{"a", {1, 2, "read", -9}}}},
      {"unknown keys at both levels",
       R"({"x":[1,{"y":null}],"dbtsl_data":{"a":{"z":1,"io":3}}})",
       {{"a", {0, 3}}}},
      {"user named twice, later wins",
       R"({"dbtsl_data":{"a":{"cpu":1,"io":2},"a":{"io":3}}})",
       {{"a", {0, 3}}}},
      {"white space after", " {\"dbtsl_data\":{\"a\":{\"cpu\":1}}} \n\t", {{"a", {1}}}},
      {"fractional time", R"({"dbtsl_data":{"a":{"time_of_restrict":1.5},"b":{"cpu":1}}})", {}},
      {"null cpu", R"({"dbtsl_data":{"a":{"cpu":null},"b":{"cpu":1}}})", {}},
      {"null data", R"({"dbtsl_data":null})", {}},
      {"member named twice", R"({"dbtsl_data":{"a":{"cpu":1,"cpu":2}}})", {}},
      {"data named twice", R"({"dbtsl_data":{},"dbtsl_data":{}})", {}},
      {"cpu as text", R"({"dbtsl_data":{"a":{"cpu":"1"}}})", {}},
      {"trailing garbage", R"({"dbtsl_data":{"a":{"cpu":1}}} x)", {}},
      {"second value", R"({"dbtsl_data":{"a":{"cpu":1}}} {})", {}},
      {"array document", R"([{"a":{"cpu":1}}])", {}},
      {"not UTF-8", "{\"x\":\"\xff\",\"dbtsl_data\":{\"a\":{\"cpu\":1}}}", {}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = load_tsltop_file(file("tsltop.json", c.content));
    EXPECT_EQ(describe(got.value_or(DbTslStatsByName{})), describe(c.stats));
    // Only a document that decodes counts as read, empty or not.
    const bool empty_document = c.name == "empty object" || c.name == "empty data";
    EXPECT_EQ(got.has_value(), !c.stats.empty() || empty_document);
  }
  EXPECT_FALSE(load_tsltop_file((dir_ / "missing.json").string()));
  EXPECT_FALSE(load_tsltop_file(dir_.string()));
}

TEST_F(TsltopFiles, MergesToolOutputOnlyOnSuccess) {
  const std::string answer = R"(printf 'USER CPU READ WRITE RESTRICT\nalice 40 20 0 cpu/9\n')";
  struct Case {
    std::string name;
    std::string body;  // empty: no program at that path
    DbTslStatsByName after;
  };
  const std::vector<Case> cases = {
      {"exit 0 merges",
       "[ $# -eq 1 ] && [ \"$1\" = -c ] || exit 3\n" + answer,
       {{"alice", {40, 20, "cpu", 9}}}},
      {"exit 1 merges nothing", answer + "\nexit 1", kFile},
      {"killed merges nothing", answer + "\nkill -9 $$", kFile},
      {"missing program", "", kFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string program =
        c.body.empty() ? (dir_ / "missing").string() : script("tsltop", c.body);
    DbTslStatsByName stats = kFile;
    EXPECT_EQ(merge_tsltop_command(stats, program).has_value(), c.name == "exit 0 merges");
    EXPECT_EQ(describe(stats), describe(c.after));
  }
  DbTslStatsByName stats = kFile;
  // Not executable.
  EXPECT_FALSE(merge_tsltop_command(stats, file("plain", "#!/bin/sh\n" + answer + "\n")));
  EXPECT_EQ(describe(stats), describe(kFile));
}

}  // namespace
}  // namespace vt::core
