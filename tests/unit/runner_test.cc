#include "plugins/runner.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace vt::plugins {
namespace {

namespace fs = std::filesystem;

class RunnerTest : public test::ScriptTest {};

// `text` with every "{p}" replaced by `program`.
std::string with_program(std::string text, const std::string& program) {
  for (auto at = text.find("{p}"); at != std::string::npos; at = text.find("{p}", at)) {
    text.replace(at, 3, program);
    at += program.size();
  }
  return text;
}

TEST_F(RunnerTest, TextOrMessage) {
  struct Case {
    std::string name;
    std::string body;  // empty: no program at that path
    std::string text;  // the answer, or else
    std::string error;
    fs::perms perms = fs::perms::owner_all;
  };
  const std::string zeros500(500, '0');
  const std::vector<Case> cases = {
      {"no output", "exit 0", "", ""},
      {"standard error of a success is ignored", "printf ' answer\\n'; echo noise >&2", " answer\n",
       ""},
      {"exit code", "echo '{}'; printf '  boom \\n' >&2; exit 3", "",
       "{p} exited with exit status: 3: boom"},
      {"empty standard error", "exit 1", "", "{p} exited with exit status: 1: "},
      {"trimmed, then cut to 500 bytes", "printf ' \\t%02000d' 0 >&2; exit 1", "",
       "{p} exited with exit status: 1: " + zeros500},
      {"a character across byte 500 is dropped", "printf '%0499d\\303\\251' 0 >&2; exit 1", "",
       "{p} exited with exit status: 1: " + std::string(499, '0')},
      {"standard error decoded lossily", "printf 'bad \\377\\342\\202 end' >&2; exit 2", "",
       "{p} exited with exit status: 2: bad \xef\xbf\xbd\xef\xbf\xbd end"},
      {"terminated", "echo going >&2; kill -TERM $$", "",
       "{p} exited with signal: 15 (SIGTERM): going"},
      {"killed", "kill -KILL $$", "", "{p} exited with signal: 9 (SIGKILL): "},
      {"invalid byte", "printf '0123456\\377'", "",
       "helper output is not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 7"},
      {"cut-off sequence", "printf 'ok\\342\\202'", "",
       "helper output is not valid UTF-8: incomplete utf-8 byte sequence from index 2"},
      {"missing program", "", "", "failed to spawn {p}: No such file or directory (os error 2)"},
      {"not executable", "exit 0", "", "failed to spawn {p}: Permission denied (os error 13)",
       fs::perms::owner_read | fs::perms::owner_write},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    const std::string name = "helper" + std::to_string(i);
    const std::string program =
        c.body.empty() ? (dir_ / name).string() : script(name, c.body, c.perms);
    const auto got = run_helper_text(program, {"one arg"}, 10);
    if (c.error.empty()) {
      ASSERT_TRUE(got.has_value()) << got.error();
      EXPECT_EQ(*got, c.text);
    } else {
      ASSERT_FALSE(got.has_value()) << *got;
      EXPECT_EQ(got.error(), with_program(c.error, program));
    }
  }
}

TEST_F(RunnerTest, KilledRightAtTheLimit) {
  const std::string sleeper = script("sleeper", "exec sleep 30");
  const auto start = std::chrono::steady_clock::now();
  const auto got = run_helper_text(sleeper, {}, 1);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error(), sleeper + " timed out after 1s");
  EXPECT_GE(took, std::chrono::milliseconds{1'000});
  EXPECT_LE(took, std::chrono::milliseconds{1'050});
}

TEST_F(RunnerTest, OutputPastTheCap) {
  const std::string endless = script("endless", "exec yes");
  const auto got = run_helper_text(endless, {}, 10, 100);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error(), endless + " output was too large: more than 100 bytes");
}

TEST_F(RunnerTest, CoreDump) {
  std::string pattern;
  std::getline(std::ifstream("/proc/sys/kernel/core_pattern"), pattern);
  rlimit core{};
  ::getrlimit(RLIMIT_CORE, &core);
  // With no pattern or a hard limit of 0 no core is written; a handler behind
  // a pipe may discard it, and then the kernel reports none; an absolute
  // pattern would put it outside the test's directory.
  if (pattern.empty() || pattern.front() == '|' || pattern.front() == '/' || core.rlim_max == 0) {
    GTEST_SKIP() << "no core dump here (core_pattern \"" << pattern << "\", hard RLIMIT_CORE "
                 << core.rlim_max << ")";
  }
  // The core lands in the script's directory, which the test removes.
  const std::string dumper =
      script("dumper", "cd \"$(dirname \"$0\")\"\nulimit -c unlimited\nkill -SEGV $$");
  const auto got = run_helper_text(dumper, {}, 10);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error(), dumper + " exited with signal: 11 (SIGSEGV) (core dumped): ");
}

}  // namespace
}  // namespace vt::plugins
