#pragma once
// Runs the real vorlane-top as on a server: a fixture tree laid over the
// fixed paths, private mount and pid namespaces, through tests/e2e/launch.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vt::e2e {

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  ///< exit status, or 128 + signal number
};

/// The three commands.
enum class Command { json, metrics, live };

/// The built binary of `command`.
std::string binary(Command command);

struct RunOptions {
  std::string as_user;                    ///< run as this user (name or uid) instead of root
  bool userns = false;                    ///< run as root of a nested user namespace
  bool forged_proc = false;               ///< run with a plain tmpfs posing as /proc
  std::vector<std::string> wrapper = {};  ///< a program and its arguments that start vorlane-top
  Command command = Command::json;        ///< the command run; only --json's output is kept
};

/// The password database of the default fixture: root, two system accounts,
/// the accounts alice (1001), bob (1002) and carol (1003), and the reseller
/// res1 (1501); a control-panel helper that says KOB is supported and knows
/// no accounts and no admins; no MySQL tessel service. The stand-in programs
/// record their calls and misbehave on request (tests/server/behave.sh).
extern const char* const kDefaultPasswd;

/// A server: a running statistics service (the pid file names the
/// namespace's first process), UID_MIN 1000 and UID_MAX 60000, and the
/// accounts of kDefaultPasswd. Tests change or remove these files as needed.
inline constexpr const char* kFakeScripts = "/usr/share/kob-stats3/scripts";
inline constexpr const char* kFakeData = "/usr/share/kob-stats3/scripts/data";
inline constexpr const char* kPlexaHelper = "/usr/share/kob-stats3/scripts/kobstats-plexa-helper";
inline constexpr const char* kTslHelper = "/usr/share/kob-stats3/scripts/kobstats-tsl-helper";
inline constexpr const char* kTslctl = "/usr/sbin/tslctl";
inline constexpr const char* kTsltop = "/usr/sbin/tsltop";
/// The statistics service's snapshot and the MySQL tessel time-stamp file.
inline constexpr const char* kSnapshotPath = "/var/kob/vorlane_top.json";
inline constexpr const char* kStampPath = "/var/kob/tessel.ts";

/// The notice printed where KOB is not supported.
inline constexpr const char* kNotice =
    "Command is skipped as KOB feature is not supported in current environment\n"
    "Refer to https://docs.vorlane.com/kob/editions-comparison/ for more info\n";

/// The stand-in programs' data file `name`, and the file that makes one of
/// them misbehave (tests/server/behave.sh).
inline std::string data(const std::string& name) {
  return std::string(kFakeData) + "/" + name;
}
inline std::string behaviour(const std::string& name) {
  return data("behaviour/" + name);
}

/// Run as USER (a name of the fixture's passwd, or a uid).
RunOptions as(const std::string& user);

class Fixture {
 public:
  Fixture();
  ~Fixture();
  Fixture(const Fixture&) = delete;
  Fixture& operator=(const Fixture&) = delete;

  /// Writes a file of the fixture: `path` is absolute on the server ("/var/kob/x").
  void write(const std::string& path, const std::string& content, unsigned mode = 0644);
  /// Makes a directory of the fixture.
  void mkdir(const std::string& path, unsigned mode = 0755);
  /// Lays a generated server (tools/gen_server.cc) into the fixture, over
  /// what the fixture held; `args` go to the generator ("--users", "40"...).
  void generate(const std::vector<std::string>& args = {});
  /// Installs the stand-in program for `path` (one of the k* paths above).
  void install_fake(const std::string& path);
  /// The calls the stand-in programs recorded, "NAME ARG..." each.
  std::vector<std::string> calls() const;
  void clear_calls();
  /// Removes a file of the fixture.
  void remove(const std::string& path);
  /// Where the fixture keeps the server path `path`.
  std::string host_path(const std::string& path) const;

  /// Runs the command (vorlane-top unless told) with `args`.
  RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) const;
  /// Runs a shell command line in which "$VT" stands for the launched vorlane-top.
  RunResult shell(const std::string& command_line) const;

 private:
  std::string root_;
};

/// Runs a program with the given arguments and returns what it printed.
RunResult run_program(const std::vector<std::string>& argv);

/// The usernames of a report's records, in their order.
std::vector<std::string> usernames(const nlohmann::json& report);

}  // namespace vt::e2e
