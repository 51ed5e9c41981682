#include "gather/access.h"

#include <gtest/gtest.h>

namespace vt::gather {
namespace {

using Names = std::vector<std::string>;

const std::string kOutside =
    "Permission denied. Caller identity cannot be verified outside the initial user namespace.";

std::string forbidden(const std::string& value) {
  return "Permission denied. Reseller can view information only about himself. "
         "Option --for-reseller=" +
         value + " is forbidden.";
}

TEST(Access, IdentifyCaller) {
  struct Case {
    std::string name;
    uid_t uid;
    bool initial_user_namespace;
    const char* account;              // nullptr: no password entry
    const char* for_reseller;         // nullptr: not given
    std::string identity_or_refusal;  // "name/root" or the refusal message
  };
  const std::vector<Case> cases = {
      {"root", 0, true, nullptr, nullptr, "root/root"},
      {"root for any reseller", 0, true, nullptr, "res1", "root/root"},
      {"root in a container", 0, false, "root", nullptr, kOutside},
      {"user in a container", 1001, false, "alice", nullptr, kOutside},
      {"end user", 1001, true, "alice", nullptr, "alice/user"},
      {"reseller for himself", 1002, true, "res1", "res1", "res1/user"},
      {"reseller for another", 1002, true, "res1", "res2", forbidden("res2")},
      {"value inserted as given", 1002, true, "res1", "a b\"c", forbidden("a b\"c")},
      {"empty value", 1002, true, "res1", "", forbidden("")},
      {"no account", 4242, true, nullptr, nullptr, "unknown/user"},
      // A uid without an account cannot pass for an account named "unknown".
      {"no account, for unknown", 4242, true, nullptr, "unknown", forbidden("unknown")},
      {"no account, for any reseller", 4242, true, nullptr, "res1", forbidden("res1")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CallerFacts facts;
    facts.uid = c.uid;
    facts.initial_user_namespace = c.initial_user_namespace;
    if (c.account != nullptr) facts.account_name = c.account;
    std::optional<std::string> for_reseller;
    if (c.for_reseller != nullptr) for_reseller = c.for_reseller;
    const auto caller = identify_caller(facts, for_reseller);
    if (caller) {
      EXPECT_EQ(caller->name + (caller->is_root ? "/root" : "/user"), c.identity_or_refusal);
    } else {
      EXPECT_EQ(caller.error().message, c.identity_or_refusal);
    }
  }
}

TEST(Access, AllowedNames) {
  const CallerIdentity root{.name = "root", .is_root = true};
  const CallerIdentity res1{.name = "res1"};
  const CallerIdentity nobody{.name = "unknown", .has_account = false};
  const std::optional<Names> listed = Names{"alice", "bob"};
  using Set = std::unordered_set<std::string>;
  EXPECT_EQ(allowed_names(root, std::nullopt, std::nullopt), std::nullopt);
  EXPECT_EQ(allowed_names(res1, std::nullopt, std::nullopt), Set{"res1"});
  EXPECT_EQ(allowed_names(nobody, std::nullopt, std::nullopt), Set{});
  EXPECT_EQ(allowed_names(root, "res1", listed), (Set{"alice", "bob", "res1"}));
  EXPECT_EQ(allowed_names(res1, "res1", listed), (Set{"alice", "bob", "res1"}));
  EXPECT_EQ(allowed_names(res1, "res1", Names{"res1", "alice"}), (Set{"res1", "alice"}));
  EXPECT_EQ(allowed_names(root, "res9", std::nullopt), Set{"res9"});  // no list to be had
  // Before the panel is asked, a reseller's accounts are unknown: all are kept.
  EXPECT_EQ(names_known_before_the_panel(res1, "res1"), std::nullopt);
  EXPECT_EQ(names_known_before_the_panel(res1, std::nullopt), Set{"res1"});
  EXPECT_EQ(names_known_before_the_panel(root, std::nullopt), std::nullopt);
}

TEST(Access, TouchesTimestamp) {
  const CallerIdentity root{.name = "root", .is_root = true};
  const CallerIdentity user{.name = "alice"};
  EXPECT_TRUE(touches_timestamp(root, std::nullopt));
  EXPECT_TRUE(touches_timestamp(user, "alice"));
  EXPECT_FALSE(touches_timestamp(user, std::nullopt));
}

}  // namespace
}  // namespace vt::gather
