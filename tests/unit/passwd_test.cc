// Password database lookups against generated files: each case runs in a
// forked child with a private mount namespace and a tmpfs over "/etc" that
// holds only nsswitch.conf ("files"), passwd and, where given, login.defs.
#include <gtest/gtest.h>
#include <pwd.h>

#include <optional>
#include <string>
#include <vector>

#include "core/identity.h"
#include "tests/unit/in_child.h"

namespace vt::core {
namespace {

std::string entry(const std::string& name, std::uint32_t uid, const std::string& gecos = "") {
  const std::string id = std::to_string(uid);
  return name + ":x:" + id + ":" + id + ":" + gecos + ":/home/" + name + ":/bin/sh\n";
}

// Runs `query` in a child whose "/etc" holds just these files.
template <class Query>
std::string with_etc(const std::string& passwd, const std::optional<std::string>& login_defs,
                     Query query) {
  return test::run_in_child([&] {
    if (auto error = test::enter_private_mounts(); !error.empty()) return error;
    if (auto error = test::mount_tmpfs("/etc"); !error.empty()) return error;
    if (auto error = test::write_text("/etc/nsswitch.conf", "passwd: files\n"); !error.empty()) {
      return error;
    }
    if (auto error = test::write_text("/etc/passwd", passwd); !error.empty()) return error;
    if (login_defs) {
      if (auto error = test::write_text("/etc/login.defs", *login_defs); !error.empty()) {
        return error;
      }
    }
    return std::string(query());
  });
}

const std::string kLongGecos(20000, 'g');    // needs a buffer of 32 KiB
const std::string kHugeGecos(1100000, 'h');  // more than the largest buffer
const std::string kNotUtf8 =
    "\xff\xfe"
    "carol";  // a name that is not UTF-8

TEST(Passwd, NameForUid) {
  if (const auto missing = test::private_mounts_missing(); !missing.empty())
    GTEST_SKIP() << missing;
  const std::string base = entry("root", 0) + entry("alice", 1000);
  struct Case {
    const char* name;
    std::string passwd;
    std::uint32_t uid;
    std::string answer;  // "-": no name
  };
  const std::vector<Case> cases = {
      {"plain entry", base, 1000, "alice"},
      {"root", base, 0, "root"},
      {"missing id", base, 4242, "-"},
      {"entry longer than the first buffer", base + entry("bob", 1500, kLongGecos), 1500, "bob"},
      {"entry behind a long one", base + entry("bob", 1500, kLongGecos) + entry("erin", 1600), 1600,
       "erin"},
      {"name not UTF-8", base + entry(kNotUtf8, 1600), 1600, "-"},
      {"UTF-8 name", base + entry("jos\xc3\xa9", 1600), 1600, "jos\xc3\xa9"},
      {"entry larger than the largest buffer", base + entry("huge", 1700, kHugeGecos), 1700, "-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string answer = with_etc(c.passwd, "UID_MIN 1000\n",
                                        [&] { return user_name_for_uid(c.uid).value_or("-"); });
    EXPECT_EQ(answer, c.answer);
  }
}

TEST(Passwd, ListLoginUsers) {
  if (const auto missing = test::private_mounts_missing(); !missing.empty())
    GTEST_SKIP() << missing;
  struct Case {
    const char* name;
    std::string passwd;
    std::optional<std::string> login_defs;
    std::string listed;  // "uid name" lines
  };
  const std::vector<Case> cases = {
      {"ids from UID_MIN on, in database order",
       entry("root", 0) + entry("daemon", 1) + entry("sys", 999) + entry("alice", 1000) +
           entry("bob", 1500, kLongGecos) + entry(kNotUtf8, 1600) + entry("alice2", 1000) +
           entry("jos\xc3\xa9", 2000) + entry("nobody", 65534),
       "UID_MIN 1000\n", "1000 alice\n1500 bob\n1000 alice2\n2000 jos\xc3\xa9\n65534 nobody\n"},
      {"default minimum without login.defs",
       entry("games", 600) + entry("daemon", 1) + entry("lp", 499) + entry("alice", 1000),
       std::nullopt, "600 games\n1000 alice\n"},
      {"reading stops at an entry larger than the largest buffer",
       entry("alice", 1000) + entry("huge", 1700, kHugeGecos) + entry("dave", 1800),
       "UID_MIN 1000\n", "1000 alice\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string listed = with_etc(c.passwd, c.login_defs, [] {
      // Leave an enumeration half way: the listing must start from the top.
      ::setpwent();
      ::getpwent();
      std::string out;
      for_each_login_user(login_range().min, [&out](std::uint32_t uid, std::string_view name) {
        out += std::to_string(uid) + " " + std::string(name) + "\n";
      });
      return out;
    });
    EXPECT_EQ(listed, c.listed);
  }
}

}  // namespace
}  // namespace vt::core
