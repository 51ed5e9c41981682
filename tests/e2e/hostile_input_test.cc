// Hostile or broken input to a root run: files that are no regular files or
// are far too large, nesting without end, a planted symlink, output that
// cannot be written, an inherited signal disposition, endless arguments.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/e2e/harness.h"

namespace vt::e2e {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kOneUser = R"({"timestamp": 1, "users": [{"id": 1001, "username": "alice",
  "usage": {"cpu": {"all": 1}, "io": {"all": 1}, "iops": 0, "ep": 0, "mem": 0, "pno": 0},
  "limit": {"cpu": {"all": 1}, "io": {"all": 1}, "iops": 0, "ep": 0, "mem": 0, "pno": 0}}]})";

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// Every file the run reads, in a FIFO (which blocked the open) or a device
// (which never ended): each falls back as when it cannot be read.
TEST(HostileInput, FilesThatAreNoRegularFiles) {
  struct Case {
    std::string path;
    std::string result;
    std::size_t users;
  };
  const std::vector<Case> cases = {
      {kSnapshotPath, "success", 0},
      {"/etc/login.defs", "success", 1},
      {"/etc/sysconfig/kobstats2", "success", 1},
      {"/var/kob/vorlane_tsltop.json", "success", 1},
      {"/run/kobstats.pid", "KOB Stats is stopped", 0},
  };
  for (const auto& c : cases) {
    for (const bool fifo : {true, false}) {
      SCOPED_TRACE(c.path + (fifo ? " as a FIFO" : " as /dev/zero"));
      Fixture fixture;
      fixture.write(kSnapshotPath, kOneUser);
      const std::string file = fixture.host_path(c.path);
      fixture.write(c.path, "");
      fs::remove(file);
      if (fifo) {
        ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
      } else {
        fs::create_symlink("/dev/zero", file);
      }
      const RunResult r = fixture.run({"--json"});
      ASSERT_EQ(r.status, 0) << r.err;
      const json document = json::parse(r.out);
      EXPECT_EQ(document["result"], c.result);
      EXPECT_EQ(document.value("users", json::array()).size(), c.users);
    }
  }
}

TEST(HostileInput, SnapshotOverTheSizeLimit) {
  Fixture fixture;
  fixture.write(kSnapshotPath, "");
  fs::resize_file(fixture.host_path(kSnapshotPath), (std::uintmax_t{2} << 30) + 1);  // sparse
  const RunResult r = fixture.run({"--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "Error: Failed to parse /var/kob/vorlane_top.json\n\nCaused by:\n    file size "
            "2147483649 bytes is over the limit of 2147483648 bytes\n");
}

// Deep nesting is a decoding error: fatal in the snapshot, absorbed in a
// helper's answer.
TEST(HostileInput, NestingBeyondTheLimit) {
  Fixture fixture;
  fixture.write(kSnapshotPath, "{\"resellers\": " + nested(1000000) + "}");
  RunResult r = fixture.run({"--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Error: Failed to parse /var/kob/vorlane_top.json\n\nCaused by:\n    nesting deeper "
            "than 128 levels at line 1 column 142\n");

  fixture.write(kSnapshotPath, kOneUser);
  fixture.write(std::string(kFakeData) + "/user-info-sys.json",
                R"({"users": [{"uid": 1001, "username": "alice", "domain": "alice.example",
                    "reseller": "", "extra": )" +
                    nested(200) + "}], \"unresolved\": []}");
  r = fixture.run({"--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(json::parse(r.out)["users"][0]["domain"], "N/A");
}

// Whatever stands at the time-stamp file gets its own times set, and a
// symlink planted there leads nowhere: neither a missing target is created
// nor an existing one touched.
TEST(HostileInput, TimestampPathThatIsNoRegularFile) {
  Fixture fixture;
  const std::string stamp = fixture.host_path("/var/kob/tessel.ts");
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
  const auto own_mtime = [&] {
    struct stat st {};
    EXPECT_EQ(::lstat(stamp.c_str(), &st), 0);
    return st.st_mtim.tv_sec;
  };

  fixture.mkdir("/var/kob/tessel.ts");
  fs::last_write_time(stamp, old);
  ASSERT_EQ(fixture.run({"--json"}).status, 0);
  EXPECT_GT(fs::last_write_time(stamp), old + std::chrono::hours(1));
  fs::remove(stamp);

  fs::create_symlink("/etc/nologin", stamp);
  ASSERT_EQ(fixture.run({"--json"}).status, 0);
  EXPECT_FALSE(fs::exists(fixture.host_path("/etc/nologin")));

  fixture.write("/etc/motd", "hello");
  fs::last_write_time(fixture.host_path("/etc/motd"), old);
  fs::remove(stamp);
  fs::create_symlink("/etc/motd", stamp);
  const struct timespec times[2] = {{1, 0}, {1, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, stamp.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  ASSERT_EQ(fixture.run({"--json"}).status, 0);
  EXPECT_EQ(fs::last_write_time(fixture.host_path("/etc/motd")), old);
  EXPECT_GT(own_mtime(), 1);
  EXPECT_FALSE(fs::exists(fixture.host_path("/etc/nologin")));
}

TEST(HostileInput, OutputThatCannotBeWrittenFailsTheRun) {
  Fixture fixture;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"$VT --json >/dev/full", "No space left on device (os error 28)"},
      {"$VT --version >/dev/full", "No space left on device (os error 28)"},
      {"$VT --json >&-", "Bad file descriptor (os error 9)"},
  };
  for (const auto& [command, cause] : cases) {
    SCOPED_TRACE(command);
    const RunResult r = fixture.shell(command);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Error: Failed to write to standard output\n\nCaused by:\n    " + cause + "\n");
  }
}

TEST(HostileInput, InheritedIgnoredSigchld) {
  Fixture fixture;
  fixture.write(kSnapshotPath, kOneUser);
  RunOptions options;
  options.wrapper = {"/usr/bin/perl", "-e", "$SIG{CHLD} = 'IGNORE'; exec @ARGV or die"};
  const RunResult r = fixture.run({"--json"}, options);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(json::parse(r.out)["users"].size(), 1u);
}

TEST(HostileInput, EndlessArgumentList) {
  Fixture fixture;
  const auto start = std::chrono::steady_clock::now();
  const RunResult r = fixture.shell("$VT --json $(printf -- '--username= %.0s' {1..100000})");
  // Generous: handling that grows with the square of the count took 11 s.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.err.starts_with("--username: the argument cannot be used multiple times\n"))
      << r.err.substr(0, 200);
}

}  // namespace
}  // namespace vt::e2e
