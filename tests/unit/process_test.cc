#include "base/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/fd.h"
#include "in_child.h"
#include "temp_dir.h"

namespace vt::base {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// Whether the process `pid` still runs: it exists and is no zombie.
bool runs(pid_t pid) {
  std::string stat;
  std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
  const auto name_end = stat.rfind(") ");
  return name_end != std::string::npos && stat.size() > name_end + 2 && stat[name_end + 2] != 'Z' &&
         stat[name_end + 2] != 'X';
}

// Whether `pid` stops running within ten seconds (a SIGKILL takes effect
// a little after it is sent).
bool stops(pid_t pid) {
  for (int i = 0; i < 1000 && runs(pid); ++i) ::usleep(10'000);
  return !runs(pid);
}

// The process ids in the file at `path`, in order.
std::vector<pid_t> pids_in(const std::string& path) {
  std::ifstream in(path);
  std::vector<pid_t> pids;
  for (pid_t pid = 0; in >> pid;) pids.push_back(pid);
  return pids;
}

class ProcessTest : public test::ScriptTest {};

// 256 lines of 4 KiB, the numbers 1..256 times `factor`, right-aligned.
std::string big_stream(int factor) {
  std::string text;
  for (int i = 1; i <= 256; ++i) {
    char line[4097];
    std::snprintf(line, sizeof line, "%4095d\n", i * factor);
    text += line;
  }
  return text;
}

TEST_F(ProcessTest, CollectsOutputsAndStatus) {
  struct Case {
    std::string name;
    std::string body;
    std::vector<std::string> args;
    std::string out;
    std::string err;
    int status;
  };
  const std::vector<Case> cases = {
      {"silent", "exit 0", {}, "", "", 0},
      {"exit code",
       "printf 'a\\0b'; printf '  boom \\n' >&2; exit 3",
       {},
       std::string("a\0b", 3),
       "  boom \n",
       3 << 8},
      // 1 MiB on each stream in turns of 4 KiB: reading one stream to its
      // end before the other would leave the program stuck on a full pipe.
      {"both streams beyond a pipe's capacity",
       "i=1\n"
       "while [ $i -le 256 ]; do\n"
       "  printf '%4095d\\n' $i\n"
       "  printf '%4095d\\n' $((i * 2)) >&2\n"
       "  i=$((i + 1))\n"
       "done",
       {},
       big_stream(1),
       big_stream(2),
       0},
      {"arguments unchanged, one each",
       "printf '%s|' \"$#\" \"$@\"",
       {"a b", "$HOME", "'quoted'", "*", "x;y|z", "", "two\nlines", "-n"},
       "8|a b|$HOME|'quoted'|*|x;y|z||two\nlines|-n|",
       "",
       0},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    const auto run =
        run_process(script("case" + std::to_string(i), c.body), c.args, milliseconds{10'000});
    ASSERT_TRUE(run.has_value()) << static_cast<int>(run.error().kind);
    EXPECT_EQ(run->out, c.out);
    EXPECT_EQ(run->err, c.err);
    EXPECT_EQ(run->status, c.status);
  }
}

TEST_F(ProcessTest, StandardInputIsEmpty) {
  // Our own standard input holds a line, which the program must not see.
  Fd saved(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3));
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  Fd read_end(ends[0]), write_end(ends[1]);
  ASSERT_EQ(::write(write_end.get(), "leak\n", 5), 5);
  ASSERT_EQ(::dup2(read_end.get(), STDIN_FILENO), STDIN_FILENO);

  const auto run = run_process(
      script("stdin", "if read -r line; then printf 'read:%s' \"$line\"; else printf eof; fi"), {},
      milliseconds{5'000});

  if (saved) {
    ::dup2(saved.get(), STDIN_FILENO);
  } else {
    ::close(STDIN_FILENO);
  }
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "eof");
}

TEST_F(ProcessTest, KilledAtTheLimit) {
  // The sleeper would hold a call that waited for it 30 s; returning well
  // before shows it was killed, however loaded the machine. How soon after
  // the limit is measured by the benchmarks.
  const milliseconds not_waited{10'000};
  const std::string sleeper = script("sleeper", "echo started; exec sleep 30");
  for (const milliseconds limit : {milliseconds{0}, milliseconds{300}}) {
    SCOPED_TRACE(limit.count());
    const auto start = Clock::now();
    const auto run = run_process(sleeper, {}, limit);
    const auto took = since(start);
    ASSERT_FALSE(run.has_value());
    EXPECT_EQ(run.error().kind, ProcessErrorKind::timed_out);
    EXPECT_GE(took, limit);
    EXPECT_LT(took, not_waited);
  }
}

TEST_F(ProcessTest, DescendantsHoldingThePipesDoNotHoldTheCall) {
  struct Case {
    std::optional<milliseconds> limit;
    milliseconds at_most;
  };
  const std::vector<Case> cases = {{std::nullopt, milliseconds{1'300}},
                                   {milliseconds{300}, milliseconds{400}}};
  const std::string pid_file = dir_ / "descendant.pid";
  const std::string parent =
      script("parent", "sleep 30 &\necho $! > '" + pid_file + "'\necho hello >&2\necho done");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.limit ? c.limit->count() : -1);
    const auto start = Clock::now();
    const auto run = run_process(parent, {}, c.limit);
    const auto took = since(start);
    int descendant = 0;
    std::ifstream(pid_file) >> descendant;
    EXPECT_TRUE(descendant > 0 && runs(descendant)) << "a program that ended by itself";
    if (descendant > 0) ::kill(descendant, SIGKILL);
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->out, "done\n");
    EXPECT_EQ(run->err, "hello\n");
    EXPECT_EQ(run->status, 0);
    EXPECT_LE(took, c.at_most);
  }
}

TEST_F(ProcessTest, KilledAtTheLimitWithItsGroup) {
  const std::string pid_file = dir_ / "grandchild.pid";
  const std::string parent =
      script("parent", "sleep 30 &\necho $! > '" + pid_file + "'\nexec sleep 30");
  const auto run = run_process(parent, {}, milliseconds{1'000});
  ASSERT_FALSE(run.has_value());
  EXPECT_EQ(run.error().kind, ProcessErrorKind::timed_out);
  const auto pids = pids_in(pid_file);
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_TRUE(stops(pids[0]));
  ::kill(pids[0], SIGKILL);
}

TEST_F(ProcessTest, OutputPastTheCapFailsTheCall) {
  struct Case {
    std::string name;
    std::string body;
    bool too_large;
  };
  const std::vector<Case> cases = {
      {"exactly the cap", "head -c 1000 /dev/zero", false},
      {"one byte more", "head -c 1001 /dev/zero", true},
      {"standard error without end", "exec yes >&2", true},
      {"written after the program ended", "{ sleep 0.2; head -c 1001 /dev/zero; } &", true},
  };
  const std::string pid_file = dir_ / "pid";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.name);
    const std::string program =
        script("case" + std::to_string(i), "echo $$ > '" + pid_file + "'\n" + c.body);
    const auto run = run_process(program, {}, milliseconds{10'000}, 1000);
    if (!c.too_large) {
      ASSERT_TRUE(run.has_value());
      EXPECT_EQ(run->out, std::string(1000, '\0'));
      continue;
    }
    ASSERT_FALSE(run.has_value());
    EXPECT_EQ(run.error().kind, ProcessErrorKind::output_too_large);
    const auto pids = pids_in(pid_file);
    ASSERT_EQ(pids.size(), 1u);
    EXPECT_FALSE(runs(pids[0]));
  }
}

// How the caller handles the stop signal its program sends it.
enum class Handling { by_default, ignored, blocked };

// What goes wrong in a call whose program sends `signal` to the caller,
// which handles it as `handling` says: the call must succeed and leave the
// caller's mask and pending signals as they were. Run in a child, which the
// signal may end.
std::string signalled_call_problems(const std::string& program, int signal, Handling handling) {
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  if (handling == Handling::ignored) ::signal(signal, SIG_IGN);
  if (handling == Handling::blocked) ::sigprocmask(SIG_BLOCK, &only, nullptr);
  const auto run = run_process(
      program, {std::to_string(signal), handling == Handling::by_default ? "stay" : "leave"},
      milliseconds{10'000});
  std::string problems;
  if (!run || run->status != 0) problems += "the call failed; ";
  sigset_t mask, pending;
  ::sigprocmask(SIG_BLOCK, nullptr, &mask);
  ::sigpending(&pending);
  if ((handling == Handling::blocked) != (sigismember(&mask, signal) == 1)) {
    problems += "the mask changed; ";
  }
  if ((handling == Handling::blocked) != (sigismember(&pending, signal) == 1)) {
    problems += "the signal was taken; ";
  }
  return problems;
}

TEST_F(ProcessTest, StopSignalsKillTheGroupOnlyWhenTheyEndTheCaller) {
  struct Case {
    std::string name;
    int signal;
    Handling handling;
    std::string outcome;
  };
  const std::vector<Case> cases = {
      {"default", SIGTERM, Handling::by_default, "child killed by signal 15"},
      {"ignored", SIGHUP, Handling::ignored, ""},
      {"blocked", SIGINT, Handling::blocked, ""}};
  // Sends the signal to its caller, then stays with a sleeper of its own or
  // leaves; "$0.SIGNAL" holds its pid and the sleeper's.
  const std::string program = script("signaller", R"(sleep 30 &
echo $$ $! > "$0.$1"
kill -"$1" $PPID
[ "$2" = stay ] && exec sleep 30
kill $!)");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(
        test::run_in_child([&] { return signalled_call_problems(program, c.signal, c.handling); }),
        c.outcome);
  }
  const auto pids = pids_in(program + "." + std::to_string(SIGTERM));
  ASSERT_EQ(pids.size(), 2u);
  for (const pid_t pid : pids) {
    EXPECT_TRUE(stops(pid));
    ::kill(pid, SIGKILL);
  }
}

TEST_F(ProcessTest, OtherChildrenOfTheCallerAreLeftToIt) {
  const pid_t other = ::fork();
  if (other == 0) {
    ::usleep(100'000);
    ::_exit(7);
  }
  const auto run = run_process(script("late", "sleep 0.3; echo done"), {}, milliseconds{5'000});
  int status = 0;
  EXPECT_EQ(::waitpid(other, &status, 0), other);
  EXPECT_EQ(status, 7 << 8);
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->out, "done\n");
}

// The sender of the last SIGCHLD the handler below saw.
volatile sig_atomic_t g_sigchld_sender = 0;

void note_sigchld(int, siginfo_t* info, void*) {
  g_sigchld_sender = info->si_pid;
}

// What goes wrong when a caller with a SIGCHLD handler has a child of its
// own that ends during a call: its handler must see that child's SIGCHLD.
// Run in a child, as it changes the handler.
std::string handled_sigchld_problems(const std::string& opener, const std::string& gate) {
  struct sigaction action {};
  action.sa_sigaction = note_sigchld;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  ::sigaction(SIGCHLD, &action, nullptr);
  // The other child ends once the program opens the gate, and the program
  // ends once that child is a zombie: its end falls within the call.
  if (::mkfifo(gate.c_str(), 0600) != 0) return test::errno_text("mkfifo");
  const pid_t other = ::fork();
  if (other == 0) {
    ::open(gate.c_str(), O_RDONLY);
    ::_exit(7);
  }
  const auto run = run_process(opener, {gate, std::to_string(other)}, milliseconds{10'000});
  std::string problems;
  if (!run || run->status != 0) {
    problems += "the call failed; ";
    ::kill(other, SIGKILL);  // it may still wait at the gate
  }
  if (g_sigchld_sender != other) problems += "the handler missed the other child's end; ";
  int status = 0;
  if (::waitpid(other, &status, 0) != other || status != 7 << 8) {
    problems += "the other child was not left to the caller; ";
  }
  return problems;
}

// What goes wrong when a caller that blocks SIGCHLD has one pending before a
// call: it must still be pending after it, as it was sent. Run in a child,
// as it changes the mask.
std::string pending_sigchld_problems(const std::string& program) {
  sigset_t child;
  sigemptyset(&child);
  sigaddset(&child, SIGCHLD);
  ::sigprocmask(SIG_BLOCK, &child, nullptr);
  ::sigqueue(::getpid(), SIGCHLD, {.sival_int = 1234});
  const auto run = run_process(program, {}, milliseconds{10'000});
  std::string problems;
  if (!run || run->status != 0) problems += "the call failed; ";
  siginfo_t info{};
  const timespec now{};
  if (::sigtimedwait(&child, &info, &now) != SIGCHLD) {
    problems += "the signal was taken; ";
  } else if (info.si_code != SI_QUEUE || info.si_value.sival_int != 1234) {
    problems += "the signal came back as another; ";
  }
  return problems;
}

TEST_F(ProcessTest, SigchldIsGivenBackToTheCaller) {
  struct Case {
    std::string name;
    std::function<std::string()> problems;
  };
  // The programs stay a moment after the signal, so that the call sees it
  // while they run. The opener opens the FIFO "$1" and waits until process
  // "$2" is a zombie.
  const std::string opener = script("opener", R"sh(: > "$1"
while [ "$(sed 's/.*) \(.\).*/\1/' /proc/$2/stat)" != Z ]; do sleep 0.01; done
sleep 0.2)sh");
  const std::string pause = script("pause", "sleep 0.2");
  const std::string gate = dir_ / "gate";
  const std::vector<Case> cases = {
      {"handled, for a child that ends during the call",
       [&] { return handled_sigchld_problems(opener, gate); }},
      {"blocked, pending before the call", [&] { return pending_sigchld_problems(pause); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(test::run_in_child(c.problems), "");
  }
}

TEST_F(ProcessTest, CallerIgnoringSigchldIsRefused) {
  const auto before = ::signal(SIGCHLD, SIG_IGN);
  const auto run = run_process("/bin/true", {});
  ::signal(SIGCHLD, before);
  ASSERT_FALSE(run.has_value());
  EXPECT_EQ(run.error().kind, ProcessErrorKind::spawn);
  EXPECT_EQ(run.error().errnum, ECHILD);
}

// Real runs show the common statuses (runner_test.cc); these are the rare ones.
TEST_F(ProcessTest, ArgumentWithNulByteIsRefused) {
  const std::string marker = (dir_ / "ran").string();
  const std::string program = script("touch-marker", "touch '" + marker + "'");
  for (const auto& args : std::vector<std::vector<std::string>>{{std::string("res1\0x", 6)},
                                                                {"a", std::string(1, '\0')}}) {
    const auto result = run_process(program, args);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ProcessErrorKind::spawn);
    EXPECT_EQ(result.error().errnum, EINVAL);
  }
  EXPECT_FALSE(run_process(program + std::string(1, '\0'), {}).has_value());
  EXPECT_FALSE(fs::exists(marker));
  ASSERT_TRUE(run_process(program, {"plain"}).has_value());
  EXPECT_TRUE(fs::exists(marker));
}

TEST(ProcessText, StatusText) {
  const std::vector<std::pair<int, std::string>> cases = {
      {255 << 8, "exit status: 255"},
      {SIGSYS, "signal: 31 (SIGSYS)"},
      {40, "signal: 40"},  // a real-time signal has no name
      {40 | WCOREFLAG, "signal: 40 (core dumped)"},
  };
  for (const auto& [status, text] : cases) EXPECT_EQ(status_text(status), text);
}

}  // namespace
}  // namespace vt::base
