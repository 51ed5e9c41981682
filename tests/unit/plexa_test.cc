#include "plugins/plexa.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "plugins/runner.h"
#include "temp_dir.h"

namespace vt::plugins {

namespace {

namespace fs = std::filesystem;

// --- Reading the answers --------------------------------------------------

// A user object with every key; `more` (starting with a comma) is added.
std::string user_json(const std::string& uid = "1001", const std::string& more = "") {
  return R"({"uid":)" + uid +
         R"(,"username":"alice","email":"a@example.test","domain":"alice.test",)"
         R"("locale":"en","reseller":"res1","display_name":"Alice")" +
         more + "}";
}

UserInfo alice(std::int64_t uid = 1001) {
  return {.uid = uid,
          .username = "alice",
          .email = "a@example.test",
          .domain = "alice.test",
          .locale = "en",
          .reseller = "res1",
          .display_name = "Alice"};
}

std::string lookup_json(const std::string& users, const std::string& unresolved = "") {
  return R"({"users":[)" + users + R"(],"unresolved":[)" + unresolved + "]}";
}

TEST(PlexaAnswers, UserLookupAccepted) {
  const std::string unicode = R"({"uid":1,"username":"b\u00e9","email":"","domain":"",)"
                              R"("locale":"","reseller":"","display_name":"\"q\"\n"})";
  const struct {
    std::string name;
    std::string text;
    UserLookupResult value;
  } cases[] = {
      {"empty lists", R"({"users": [], "unresolved": []})", {}},
      {"white space around the value", " \n" + lookup_json("") + "\n\t ", {}},
      {"a user and an unresolved uid",
       lookup_json(user_json(), R"({"uid":1002,"reason":"no such user"})"),
       {{alice()}, {{1002, "no such user"}}}},
      {"negative uid", lookup_json(user_json("-5")), {{alice(-5)}, {}}},
      {"largest uid", lookup_json(user_json("9223372036854775807")), {{alice(INT64_MAX)}, {}}},
      {"empty texts and escapes",
       lookup_json(unicode),
       {{{1, "b\xc3\xa9", "", "", "", "", "\"q\"\n"}}, {}}},
      {"unknown keys at any depth are skipped",
       R"({"extra":{"users":5},"users":[)" + user_json("1001", R"(,"shell":[1,{"x":null}])") +
           R"(],"unresolved":[{"reason":"gone","uid":7,"when":1.5}]})",
       {{alice()}, {{7, "gone"}}}},
      {"a uid listed twice stays twice",
       lookup_json(user_json() + "," + user_json()),
       {{alice(), alice()}, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = parse_user_lookup(c.text);
    ASSERT_TRUE(got.has_value()) << got.error();
    EXPECT_EQ(*got, c.value);
  }
}

TEST(PlexaAnswers, UserLookupRefused) {
  const struct {
    std::string name;
    std::string text;
    std::string error;  // the reader's description
  } cases[] = {
      {"unresolved missing", R"({"users": []})",
       R"(missing field "unresolved" in UserLookupResult at line 1 column 13)"},
      {"email missing",
       lookup_json(R"({"uid":1,"username":"a","domain":"","locale":"",)"
                   R"("reseller":"","display_name":""})"),
       R"(missing field "email" in UserInfo at line 1 column 90)"},
      {"reason missing", lookup_json("", R"({"uid":1})"),
       R"(missing field "reason" in UnresolvedUid at line 1 column 35)"},
      {"null locale",
       lookup_json(R"({"uid":1,"username":"a","email":"","domain":"","locale":null,)"
                   R"("reseller":"","display_name":""})"),
       "invalid type: null, expected a string at line 1 column 70"},
      {"null list", R"({"users":null,"unresolved":[]})",
       "invalid type: null, expected a list at line 1 column 13"},
      {"fractional uid", lookup_json(user_json("1001.0")),
       "invalid type: floating point 1001.0, expected i64 at line 1 column 23"},
      {"uid with exponent", lookup_json("", R"({"uid":1e3,"reason":""})"),
       "invalid type: floating point 1e3, expected i64 at line 1 column 36"},
      {"uid above the signed range", lookup_json(user_json("9223372036854775808")),
       "invalid value: integer 9223372036854775808, expected i64 at line 1 column 36"},
      {"duplicate key", lookup_json(user_json("1001", R"(,"uid":2)")),
       R"(duplicate field "uid" in UserInfo at line 1 column 148)"},
      {"a second value after it", lookup_json("") + " {}",
       "trailing characters at line 1 column 30"},
      {"another character after it", lookup_json("") + "\nx",
       "trailing characters at line 2 column 1"},
      {"an array instead of an object", "[[],[]]",
       "invalid type: array, expected UserLookupResult at line 1 column 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = parse_user_lookup(c.text);
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error(), "failed to parse user-info-sys JSON: " + c.error + ": output=" + c.text);
  }
}

struct NamesCase {
  std::string text;
  std::optional<std::vector<std::string>> value;
  std::string error;
};

TEST(PlexaAnswers, NameLists) {
  using Names = std::vector<std::string>;
  const std::vector<NamesCase> cases = {
      {"[]", Names{}, ""},
      {" [\"root\", \"admin\"]\n", Names{"root", "admin"}, ""},
      {R"(["root","root",""])", Names{"root", "root", ""}, ""},
      {"null", {}, "invalid type: null, expected a list at line 1 column 4"},
      {R"(["a",null])", {}, "invalid type: null, expected a string at line 1 column 9"},
      {R"(["a",1])", {}, "invalid type: integer 1, expected a string at line 1 column 6"},
      {R"({"a":"b"})", {}, "invalid type: object, expected a list at line 1 column 1"},
      {R"(["a"] ["b"])", {}, "trailing characters at line 1 column 7"},
      {R"(["a"]x)", {}, "trailing characters at line 1 column 6"},
  };
  const struct {
    std::string answer;
    std::function<std::expected<Names, std::string>(const std::string&)> parse;
  } readers[] = {{"admins", parse_admins}, {"reseller-users", parse_reseller_users}};
  for (const auto& reader : readers) {
    for (const auto& c : cases) {
      SCOPED_TRACE(reader.answer + ": " + c.text);
      const auto got = reader.parse(c.text);
      if (c.value) {
        ASSERT_TRUE(got.has_value()) << got.error();
        EXPECT_EQ(*got, *c.value);
      } else {
        ASSERT_FALSE(got.has_value());
        EXPECT_EQ(got.error(), "failed to parse " + reader.answer + " JSON: " + c.error);
      }
    }
  }
}

// --- Running the helper ---------------------------------------------------

class PlexaRun : public test::HelperTest {};

TEST_F(PlexaRun, ArgumentsReachTheHelperUnchanged) {
  const std::string odd = "re seller; $(touch pwned) 'q' \"d\" * `id` \\ &|";
  struct Case {
    std::string name;
    std::string answer;
    std::function<bool(const std::string&)> call;  // true when the call succeeded
    std::string args;
  };
  const std::vector<Case> cases = {
      {"admins", R"(["root","root"])",
       [](const std::string& p) {
         const auto got = list_admins(p);
         return got && *got == std::vector<std::string>{"root", "root"};
       },
       "admins\n"},
      {"reseller name with blanks and shell characters", R"(["u1"])",
       [&](const std::string& p) {
         const auto got = list_reseller_users(p, odd);
         return got && *got == std::vector<std::string>{"u1"};
       },
       "reseller-users\n" + odd + "\n"},
      {"empty reseller name", "[]",
       [](const std::string& p) {
         const auto got = list_reseller_users(p, "");
         return got && got->empty();
       },
       "reseller-users\n\n"},
      {"uids in order with repeats", lookup_json(user_json()),
       [](const std::string& p) {
         const std::vector<std::uint32_t> uids = {1001, 1001, 0, UINT32_MAX};
         const auto got = lookup_users(p, uids);
         return got && got->users == std::vector<UserInfo>{alice()};
       },
       "user-info-sys\n1001\n1001\n0\n4294967295\n"},
      {"panel feature text as printed", " true \n",
       [](const std::string& p) { return query_panel_feature(p, "KOB") == " true \n"; },
       "panel-feature\nKOB\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    answer(c.answer);
    EXPECT_TRUE(c.call(helper_));
    EXPECT_EQ(args(), c.args);
  }
  EXPECT_FALSE(fs::exists(dir_ / "pwned"));
}

TEST_F(PlexaRun, NoUidsRunNothing) {
  const auto got = lookup_users(helper_, {});
  ASSERT_TRUE(got.has_value()) << got.error();
  EXPECT_TRUE(got->users.empty());
  EXPECT_TRUE(got->unresolved.empty());
  EXPECT_FALSE(ran());
}

TEST_F(PlexaRun, RunnerFailuresPassThrough) {
  const std::string failing = script("failing", "echo ' went wrong ' >&2; exit 3");
  const auto runner = run_helper_text(failing, {}, 30);
  ASSERT_FALSE(runner.has_value());
  EXPECT_NE(runner.error().find("exit status: 3"), std::string::npos) << runner.error();

  EXPECT_EQ(list_admins(failing).error(), runner.error());
  EXPECT_EQ(list_reseller_users(failing, "r").error(), runner.error());
  EXPECT_EQ(lookup_users(failing, std::vector<std::uint32_t>{1}).error(), runner.error());
  EXPECT_EQ(query_panel_feature(failing, "KOB").error(), runner.error());
}

TEST_F(PlexaRun, LookupFailureQuotesTheUntrimmedOutput) {
  answer("  {\"users\": []}\n");
  const auto got = lookup_users(helper_, std::vector<std::uint32_t>{1001});
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error(),
            "failed to parse user-info-sys JSON: missing field \"unresolved\" in "
            "UserLookupResult at line 1 column 15: output=  {\"users\": []}\n");
}

}  // namespace
}  // namespace vt::plugins
