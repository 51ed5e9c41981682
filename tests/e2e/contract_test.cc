// What every command promises alike, over the same hostile worlds: a
// caller who is not root reads nothing of another account and nothing a
// helper said, no process of the run outlives it however it ends, every
// figure is finite and in its documented form, and nothing unsafe reaches
// a terminal.
#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/harness.h"

namespace vt::e2e {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

// alice (1001, res1's) and two accounts that alice and res1 may never read
// of: bob and carol, whose figures, domains and addresses are all unique.
const Files kServer = {
    {kSnapshotPath, R"({"timestamp": 1765000000, "users": [
  {"id": 1001, "username": "alice", "usage": {"cpu": {"all": 11.5, "mysql": 1}, "io": {"all": 12},
   "iops": 3, "ep": 1, "mem": 64, "pno": 2}, "limit": {"cpu": {"all": 100}, "io": {"all": 1024},
   "iops": 1024, "ep": 20, "mem": 1000000, "pno": 100}},
  {"id": 1002, "username": "bob", "usage": {"cpu": {"all": 4242.75}, "io": {"all": 4343.5},
   "iops": 4444, "ep": 45, "mem": 4646, "pno": 47}, "limit": {"cpu": {"all": 6161.5}, "io": {"all": 6262},
   "iops": 6363, "ep": 64, "mem": 6565, "pno": 66}},
  {"id": 1003, "username": "carol", "usage": {"cpu": {"all": 5353.125}, "io": {"all": 5454},
   "iops": 5555, "ep": 56, "mem": 5757, "pno": 58}, "limit": {"cpu": {"all": 7171.5}, "io": {"all": 7272},
   "iops": 7373, "ep": 74, "mem": 7575, "pno": 76}}]})"},
    {data("user-info-sys.json"), R"({"users": [
  {"uid": 1001, "username": "alice", "email": "a@alice.example", "domain": "alice.example",
   "locale": "en", "reseller": "res1", "display_name": "Alice"},
  {"uid": 1002, "username": "bob", "email": "b@bobsecret.example", "domain": "bobsecret.example",
   "locale": "en", "reseller": "", "display_name": "Bob Secret"},
  {"uid": 1003, "username": "carol", "email": "c@carolsecret.example", "locale": "en",
   "domain": "carolsecret.example", "reseller": "", "display_name": "Carol Secret"}],
  "unresolved": []})"},
    {data("reseller-users/res1.json"), R"(["alice"])"},
    {data("tessel-mode"), "\"all\"\n"},
    {"/var/kob/vorlane_tsltop.json",
     R"({"dbtsl_data": {"alice": {"cpu": 2, "io": 3}, "bob": {"cpu": 8383.5, "io": 8484}}})"},
    {data("tsltop.txt"), "USER CPU READ WRITE RESTRICTED\nbob 8585 1K 1K -\ncarol 8686 1M 0 -\n"},
    {data("limits.json"), R"({"alice": {"cpu": 80, "io": 90}, "bob": {"cpu": 9494.5, "io": 9595},
  "carol": {"cpu": 9696.5, "io": 9797}})"},
};

// What a caller who is not root must never read: the other accounts, and
// the stand-ins' own words (tests/server/behave.sh). Their figures have
// decimals, which no digits of another figure hold.
const std::vector<std::string> kSecrets = {"bob",         "carol",  "secret",   "4242.75",
                                           "4343.5",      "6161.5", "5353.125", "7171.5",
                                           "8383.5",      "9494.5", "9696.5",   "simulated failure",
                                           "slow answer", "caf"};
// Their user ids, as whole numbers.
const std::regex kSecretIds("\\b100[23]\\b");

struct World {
  std::string name;
  Files files;  // laid over kServer
};

const std::vector<World> kWorlds = {
    {"calm", {}},
    {"panel answer with text after it", {{behaviour("plexa-user-info-sys"), "trailing"}}},
    {"limits answer with text after it", {{behaviour("tsl-limits"), "trailing"}}},
    {"panel fails", {{behaviour("plexa-user-info-sys"), "fail"}}},
    {"admins broken", {{behaviour("plexa-admins"), "broken"}}},
    {"reseller list killed", {{behaviour("plexa-reseller-users"), "signal"}}},
    {"MySQL tool not UTF-8", {{behaviour("tsltop"), "not-utf8"}}},
    {"MySQL control tool warns", {{behaviour("tslctl"), "stderr"}}},
    {"tessel mode fails", {{behaviour("tsl-tessel-mode"), "fail"}}},
    {"hostile text and figures",
     {{data("user-info-sys.json"), R"({"users": [{"uid": 1001, "username": "alice",
  "email": "a@x", "domain": "\u001b]0;title\u0007al\u202eice\u00a0\u200b.example", "locale": "en",
  "reseller": "res\ufeff1", "display_name": "A"}], "unresolved": []})"},
      {kSnapshotPath, R"({"timestamp": -1e20, "users": [
  {"id": 1001, "username": "alice", "usage": {"cpu": {"all": 1e300, "mysql": 1e300},
   "io": {"all": 1e17}, "iops": -5, "ep": 1, "mem": 1000000, "pno": 2},
   "limit": {"cpu": {"all": 1}, "io": {"all": 1}, "iops": 1024, "ep": 20, "mem": 2000000000,
   "pno": 100}}]})"}}},
};

struct Caller {
  std::string name;
  std::string user;  // empty: root
  std::vector<std::string> scope;
};

const std::vector<Caller> kCallers = {
    {"root", "", {}}, {"reseller", "res1", {"--for-reseller", "res1"}}, {"end user", "alice", {}}};

struct CommandRun {
  Command command;
  std::vector<std::string> args;
};

const std::vector<CommandRun> kCommands = {
    {Command::json, {"--json"}},
    {Command::metrics, {}},
    {Command::live, {"-b", "-n", "2", "-d", "0.1"}},
};

// Runs the command, then names on standard error ("left behind: ...") every
// process of the namespace but the launcher and this shell that has not
// ended within five seconds.
const std::vector<std::string> kLeftBehindCheck = {"/bin/bash", "-c", R"sh(
"$@"; status=$?
for _ in {1..50}; do
  left=()
  for p in /proc/[0-9]*; do
    pid=${p#/proc/}
    [ "$pid" = 1 ] || [ "$pid" = $$ ] && continue
    read -r _ _ state _ 2>/dev/null < "$p/stat" || continue
    [ "$state" = Z ] || left+=("$pid")
  done
  [ ${#left[@]} = 0 ] && break
  sleep 0.1
done
for pid in "${left[@]}"; do echo "left behind: $(tr '\0' ' ' < "/proc/$pid/cmdline")" >&2; done
exit "$status")sh",
                                                   "bash"};

// Bytes that a terminal may take for an instruction or that hide or turn
// text: C0 controls but the line feed, DEL, C1, and the bidirectional and
// zero-width characters and the byte-order mark.
const std::regex kUnsafe(
    "[\\x00-\\x09\\x0b-\\x1f\\x7f]|\xC2[\x80-\x9F]|\xE2\x80[\x8B-\x8F\xAA-\xAE]|"
    "\xE2\x81[\xA6-\xA9]|\xEF\xBB\xBF");

// A figure of the batch tables: exact, no exponent; "-" when not known.
const std::regex kBatchFigure("-|-?[0-9]+(\\.[0-9]+)?");
// A sample's value in the exposition: a finite number.
const std::regex kSampleValue("-?[0-9]+(\\.[0-9]+)?(e[-+]?[0-9]+)?");

std::vector<std::string> split(const std::string& text, char at) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(at, start)) != std::string::npos; start = end + 1) {
    pieces.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
  return pieces;
}

void check_figures(Command command, const std::string& out) {
  if (command == Command::metrics) {
    for (const std::string& line : split(out, '\n')) {
      if (line.empty() || line[0] == '#') continue;
      const std::string value = line.substr(line.rfind(' ') + 1);
      EXPECT_TRUE(std::regex_match(value, kSampleValue)) << line;
    }
  } else if (command == Command::live) {
    std::vector<std::string> titles;
    for (const std::string& line : split(out, '\n')) {
      if (line.empty() || line[0] == '#') continue;
      const auto fields = split(line, ' ');
      if (fields[0] == "USER") {
        titles = fields;
        continue;
      }
      ASSERT_EQ(fields.size(), titles.size()) << line;
      for (std::size_t i = 4; i + 1 < fields.size(); ++i) {
        EXPECT_TRUE(std::regex_match(fields[i], kBatchFigure)) << titles[i] << ": " << fields[i];
      }
    }
  }
}

void PrintTo(const World& world, std::ostream* out) {
  *out << world.name;
}

class HostileWorld : public testing::TestWithParam<World> {};

TEST_P(HostileWorld, EveryCommandKeepsItsPromises) {
  Fixture fixture;
  for (const char* fake : {kTslHelper, kTslctl, kTsltop}) fixture.install_fake(fake);
  for (const auto& [path, content] : kServer) fixture.write(path, content);
  for (const auto& [path, content] : GetParam().files) fixture.write(path, content);
  for (const CommandRun& command : kCommands) {
    for (const Caller& caller : kCallers) {
      SCOPED_TRACE(binary(command.command) + " as " + caller.name);
      std::vector<std::string> args = command.args;
      if (command.command != Command::metrics) {
        args.insert(args.end(), caller.scope.begin(), caller.scope.end());
      }
      const RunResult r = fixture.run(
          args, {.as_user = caller.user, .wrapper = kLeftBehindCheck, .command = command.command});
      EXPECT_EQ(r.err.find("left behind"), std::string::npos) << r.err;
      EXPECT_FALSE(std::regex_search(r.err, kUnsafe)) << r.err;
      if (command.command != Command::json) {
        EXPECT_FALSE(std::regex_search(r.out, kUnsafe)) << r.out;
      }
      if (!caller.user.empty()) {
        const std::string read = r.out + r.err;
        for (const std::string& secret : kSecrets) {
          EXPECT_EQ(read.find(secret), std::string::npos) << secret << " in\n" << read;
        }
        EXPECT_FALSE(std::regex_search(read, kSecretIds)) << read;
      }
      check_figures(command.command, r.out);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Contract, HostileWorld, testing::ValuesIn(kWorlds),
                         [](const testing::TestParamInfo<World>& world) {
                           std::string name;
                           for (const char c : world.param.name) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

// Runs the command "$3..." and ends it by signal $1 while the panel's helper
// hangs with a child of its own (in the live view, in its refresh); with
// $2 "screen", the command runs on a terminal of its own. Prints the status
// and names what was left behind.
constexpr const char* kSignalled = R"sh(
ulimit -c 0
signal=$1 where=$2; shift 2
if [ "$where" = screen ]; then
  env --default-signal script -qefc "TERM=xterm exec $(printf '%q ' "$@")" /dev/null & started=$!
else
  env --default-signal "$@" & started=$!
fi
for _ in {1..300}; do [ -f /var/log/vt-calls/spawned ] && break; sleep 0.1; done
target=$started
if [ "$where" = screen ]; then
  for p in /proc/[0-9]*; do
    [ "$(cat "$p/comm" 2>/dev/null)" = vorlane-top-liv ] && target=${p#/proc/}
  done
fi
kill -"$signal" "$target"
wait "$started"
echo "status $?"
read -r helper child < /var/log/vt-calls/spawned
for pid in "$helper" "$child"; do
  for _ in {1..50}; do
    read -r _ _ state _ 2>/dev/null < "/proc/$pid/stat" && [ "$state" != Z ] || continue 2
    sleep 0.1
  done
  echo "left behind: $pid"
done
)sh";

TEST(Contract, EveryWayOfEndingEndsTheHelpers) {
  struct Ending {
    std::string signal;
    int number;
  };
  const std::vector<Ending> endings = {{"TERM", 15}, {"INT", 2},   {"HUP", 1},
                                       {"QUIT", 3},  {"USR1", 10}, {"ALRM", 14}};
  struct Way {
    std::string name;
    Command command;
    std::vector<std::string> args;
  };
  const std::vector<Way> ways = {{"json", Command::json, {"--json"}},
                                 {"metrics", Command::metrics, {}},
                                 {"batch", Command::live, {"-b"}},
                                 {"screen", Command::live, {}}};
  for (const Way& way : ways) {
    for (const Ending& ending : endings) {
      SCOPED_TRACE(way.name + " ended by SIG" + ending.signal);
      Fixture fixture;
      fixture.write(kSnapshotPath, R"({"timestamp": 1, "users": [{"id": 1001,
        "usage": {"cpu": {"all": 1}, "io": {"all": 1}, "iops": 0, "ep": 0, "mem": 0, "pno": 0},
        "limit": {"cpu": {"all": 9}, "io": {"all": 9}, "iops": 0, "ep": 0, "mem": 0, "pno": 0}}]})");
      fixture.write(behaviour("plexa-user-info-sys"), "spawn");
      const std::string where = way.name == "screen" ? "screen" : "plain";
      const RunResult r = fixture.run(
          way.args, {.as_user = "",
                     .wrapper = {"/bin/bash", "-c", kSignalled, "bash", ending.signal, where},
                     .command = way.command});
      // Ctrl-C quits the view.
      const int status = where == "screen" && ending.number == 2 ? 0 : 128 + ending.number;
      EXPECT_NE(r.out.find("status " + std::to_string(status) + "\n"), std::string::npos)
          << r.out << r.err;
      EXPECT_EQ(r.out.find("left behind"), std::string::npos) << r.out;
    }
  }
}

}  // namespace
}  // namespace vt::e2e
