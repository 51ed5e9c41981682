#include "base/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/fd.h"
#include "base/file.h"

namespace vt::base {
namespace {

using Clock = std::chrono::steady_clock;
using Duration = Clock::duration;
using std::chrono::milliseconds;

// How long output is still read after the program has ended, for descendants
// that hold its pipes open.
constexpr milliseconds kGrace{1000};
// A limit beyond this is as good as none; it keeps the arithmetic in range.
constexpr milliseconds kLongest = std::chrono::hours(24 * 365 * 100);
constexpr std::size_t kChunk = 64 * 1024;
// How a call fails whose program wrote too much.
constexpr ProcessError kTooLarge{ProcessErrorKind::output_too_large, EMSGSIZE};
// The programs that calls are running, by pid (0: a free slot), for
// end_programs, which may run in a signal handler; and whether it has.
constexpr std::size_t kRunningSlots = 16;
std::array<std::atomic<pid_t>, kRunningSlots> g_running{};
std::atomic<bool> g_ending{false};
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// Notes a started program; false when end_programs came first.
bool note_running(pid_t pid) {
  for (std::atomic<pid_t>& slot : g_running) {
    pid_t free = 0;
    if (slot.compare_exchange_strong(free, pid)) break;
  }
  return !g_ending.load();
}

// Before the program is reaped, while its pid still names it.
void note_ended(pid_t pid) {
  for (std::atomic<pid_t>& slot : g_running) {
    pid_t mine = pid;
    if (slot.compare_exchange_strong(mine, 0)) return;
  }
}

// The started program. Unless its status has been collected, it is killed
// with its group and reaped when this goes out of scope, so no path leaves a
// zombie or a running program.
struct Child {
  pid_t pid = -1;
  bool reaped = false;
  int status = 0;

  explicit Child(pid_t p) : pid(p) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();
};

void kill_and_reap(Child& child) {
  if (child.reaped) return;
  note_ended(child.pid);
  // The group, whose id is the program's pid while the program is unreaped;
  // then the program itself, should it have left its group.
  ::kill(-child.pid, SIGKILL);
  ::kill(child.pid, SIGKILL);
  while (::waitpid(child.pid, &child.status, 0) < 0 && errno == EINTR) {
  }
  child.reaped = true;
}

Child::~Child() {
  kill_and_reap(*this);
}

// Collects the status if the program has ended; the errno when asking fails.
std::expected<void, int> try_reap(Child& child) {
  for (;;) {
    // A look first that leaves an ended program unreaped, so that its pid is
    // given up before the system may hand it out again.
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
      if (errno == EINTR) continue;
      return std::unexpected(errno);
    }
    if (info.si_pid == 0) return {};
    note_ended(child.pid);
    while (::waitpid(child.pid, &child.status, 0) < 0) {
      if (errno != EINTR) return std::unexpected(errno);
    }
    child.reaped = true;
    return {};
  }
}

// While a program runs, SIGCHLD and the stop signals that would end this
// process as things stand (handled by default, not blocked) are blocked and
// taken when `fd` says one is pending: SIGCHLD says when to look for the
// program's end, and a stop signal lets the program's group be killed
// before the process ends. The SIGCHLDs belong to the caller as well, for
// its other children, so one is given back when the caller's mask returns,
// which happens when this goes.
struct SignalWatch {
  sigset_t caller_mask;
  sigset_t watched;
  Fd fd;
  bool blocked = false;
  pid_t program = -1;
  // The SIGCHLD to give back: the first taken that was not the program's,
  // else the program's.
  std::optional<siginfo_t> child_signal;

  SignalWatch() = default;
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;
  ~SignalWatch() { restore(); }

  // Takes the pending signals of `signals`, keeping a SIGCHLD to give back;
  // returns the first other one, or 0.
  int take(const sigset_t& signals) {
    const timespec now{};
    for (;;) {
      siginfo_t info;
      const int signal = ::sigtimedwait(&signals, &info, &now);
      if (signal < 0 && errno == EINTR) continue;
      if (signal < 0) return 0;
      if (signal != SIGCHLD) return signal;
      if (!child_signal || (child_signal->si_pid == program && info.si_pid != program)) {
        child_signal = info;
      }
    }
  }
  void restore() {
    if (!blocked) return;
    // SIGCHLDs still pending are taken too, so that the one given back is
    // the one chosen; they would merge with it anyway. Sent while blocked,
    // it is delivered, or stays pending, as the caller's mask returns.
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    take(child);
    if (child_signal &&
        ::syscall(SYS_rt_tgsigqueueinfo, ::getpid(), ::gettid(), SIGCHLD, &*child_signal) != 0) {
      ::raise(SIGCHLD);
    }
    // A stop signal that came after the last look is delivered here.
    ::pthread_sigmask(SIG_SETMASK, &caller_mask, nullptr);
    blocked = false;
  }
};

// Starts watching; the errno when that fails. A caller that ignores SIGCHLD
// or asks for no zombies has its children reaped by the kernel, unannounced
// and with their status lost, so it is refused with ECHILD.
std::expected<void, int> watch_signals(SignalWatch& watch) {
  struct sigaction child {};
  if (::sigaction(SIGCHLD, nullptr, &child) != 0) return std::unexpected(errno);
  if (child.sa_handler == SIG_IGN || (child.sa_flags & SA_NOCLDWAIT) != 0) {
    return std::unexpected(ECHILD);
  }
  if (const int error = ::pthread_sigmask(SIG_BLOCK, nullptr, &watch.caller_mask); error != 0) {
    return std::unexpected(error);
  }
  sigset_t& watched = watch.watched;
  sigemptyset(&watched);
  sigaddset(&watched, SIGCHLD);
  for (const int signal : ending_signals()) {
    struct sigaction action {};
    if (::sigaction(signal, nullptr, &action) != 0) return std::unexpected(errno);
    if (action.sa_handler == SIG_DFL && !sigismember(&watch.caller_mask, signal)) {
      sigaddset(&watched, signal);
    }
  }
  if (const int error = ::pthread_sigmask(SIG_BLOCK, &watched, nullptr); error != 0) {
    return std::unexpected(error);
  }
  watch.blocked = true;
  watch.fd = Fd(::signalfd(-1, &watched, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!watch.fd) return std::unexpected(errno);
  return {};
}

// Ends this process by `signal` as if it had not been blocked.
[[noreturn]] void end_by(int signal) {
  ::signal(signal, SIG_DFL);
  ::raise(signal);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::_exit(128 + signal);  // not reached: the signal ends the process
}

// Setting up the child's standard streams must not overwrite a descriptor it
// still needs, so none of those may sit in slots 0 to 2.
std::expected<Fd, int> above_stdio(Fd fd) {
  if (fd.get() > STDERR_FILENO) return fd;
  const int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) return std::unexpected(errno);
  return Fd(moved);
}

struct Pipe {
  Fd read;  // non-blocking, so that what a pipe holds can be taken without waiting
  Fd write;
};

std::expected<Pipe, int> make_pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::unexpected(errno);
  Pipe pipe{Fd(fds[0]), Fd(fds[1])};
  if (::fcntl(pipe.read.get(), F_SETFL, O_NONBLOCK) != 0) return std::unexpected(errno);
  auto write = above_stdio(std::move(pipe.write));
  if (!write) return std::unexpected(write.error());
  pipe.write = std::move(*write);
  return pipe;
}

struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

struct SpawnAttributes {
  posix_spawnattr_t attributes;
  SpawnAttributes() { posix_spawnattr_init(&attributes); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
};

// Starts the program in a group of its own with /dev/null, `out` and `err`
// as its standard streams and no other descriptor, and with `mask` as its
// signal mask. An inherited "ignore" for SIGPIPE or SIGCHLD would change how
// a plain program works, so those two are handled by default.
std::expected<pid_t, int> spawn(const std::string& path, const std::vector<std::string>& args,
                                int out, int err, const sigset_t& mask) {
  SpawnActions spawn;
  int error =
      posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (error == 0) error = posix_spawn_file_actions_adddup2(&spawn.actions, out, STDOUT_FILENO);
  if (error == 0) error = posix_spawn_file_actions_adddup2(&spawn.actions, err, STDERR_FILENO);
  if (error == 0) {
    error = posix_spawn_file_actions_addclosefrom_np(&spawn.actions, STDERR_FILENO + 1);
  }
  SpawnAttributes spawn_attributes;
  posix_spawnattr_t& attributes = spawn_attributes.attributes;
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  if (error == 0) {
    error = posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  if (error == 0) error = posix_spawnattr_setpgroup(&attributes, 0);
  if (error == 0) error = posix_spawnattr_setsigmask(&attributes, &mask);
  if (error == 0) error = posix_spawnattr_setsigdefault(&attributes, &defaults);
  if (error != 0) return std::unexpected(error);
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  error = ::posix_spawn(&pid, path.c_str(), &spawn.actions, &attributes, argv.data(), environ);
  if (error != 0) return std::unexpected(error);
  return pid;
}

// What one stream delivered. Up to a block it is one string, grown as
// usual; beyond, it goes on in blocks of fixed size, so that growing never
// copies what is there and an output that passes the cap costs little more
// than the cap.
struct Collected {
  static constexpr std::size_t kBlock = std::size_t{256} << 20;
  std::vector<std::string> blocks;
  std::size_t size = 0;

  void append(const char* data, std::size_t n) {
    if (blocks.empty() || blocks.back().size() >= kBlock) {
      blocks.emplace_back();
      if (blocks.size() > 1) blocks.back().reserve(kBlock + kChunk);
    }
    blocks.back().append(data, n);
    size += n;
  }
  std::string take() {
    if (blocks.size() <= 1) {
      std::string all = blocks.empty() ? std::string() : std::move(blocks.front());
      if (all.capacity() < all.size() + kSpareCapacity) all.reserve(all.size() + kSpareCapacity);
      return all;
    }
    std::string all;
    all.reserve(size + kSpareCapacity);
    for (auto& block : blocks) {
      all += block;
      std::string().swap(block);
    }
    return all;
  }
};

// The two output streams while they are being collected; a closed Fd is a
// stream that is done. `over` tells that a stream passed `cap`.
struct Streams {
  std::array<Fd, 2> fds;
  std::array<Collected, 2> collected = {};
  std::size_t cap = kMaxOutputBytes;
  bool over = false;

  bool open() const { return fds[0] || fds[1]; }
};

// One read from a stream the kernel reported ready, never taking it more
// than one byte past the cap; that byte sets `over`. End of file and
// read errors both end the stream; what was read before stays. Returns the
// number of bytes read.
std::size_t read_chunk(Streams& streams, int index) {
  Fd& fd = streams.fds[index];
  Collected& sink = streams.collected[index];
  char buffer[kChunk];
  const std::size_t room = streams.cap - std::min(streams.cap, sink.size);
  const std::size_t want = room < sizeof buffer ? room + 1 : sizeof buffer;
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, want);
    if (n > 0) {
      sink.append(buffer, static_cast<std::size_t>(n));
      if (sink.size > streams.cap) streams.over = true;
      return static_cast<std::size_t>(n);
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return 0;
    fd.reset();
    return 0;
  }
}

// Takes what the pipe holds at this moment, at most one pipe's capacity so
// that a writer that keeps going cannot hold us here, and closes it.
void take_rest(Streams& streams, int index) {
  Fd& fd = streams.fds[index];
  const int capacity = ::fcntl(fd.get(), F_GETPIPE_SZ);
  std::size_t taken = 0;
  while (fd && !streams.over && taken < static_cast<std::size_t>(std::max(capacity, 1))) {
    const std::size_t n = read_chunk(streams, index);
    if (n == 0) break;
    taken += n;
  }
  fd.reset();
}

// Waits at most `timeout` (or without limit when it is empty) for the
// streams and, when given (not -1), the signals' descriptor, and reads one
// chunk from every ready stream; the errno when poll fails.
std::expected<void, int> poll_once(Streams& streams, int signal_fd,
                                   std::optional<Duration> timeout) {
  std::array<pollfd, 3> fds{};
  nfds_t count = 0;
  for (int i = 0; i < 2; ++i) {
    if (streams.fds[i]) fds[count++] = {streams.fds[i].get(), POLLIN, 0};
  }
  if (signal_fd >= 0) fds[count++] = {signal_fd, POLLIN, 0};
  timespec wait{};
  if (timeout) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(*timeout);
    wait.tv_sec = static_cast<time_t>(seconds.count());
    wait.tv_nsec = static_cast<long>(std::chrono::nanoseconds(*timeout - seconds).count());
  }
  if (::ppoll(fds.data(), count, timeout ? &wait : nullptr, nullptr) < 0 && errno != EINTR) {
    return std::unexpected(errno);
  }
  for (nfds_t k = 0; k < count; ++k) {
    if (fds[k].revents == 0 || fds[k].fd == signal_fd) continue;
    read_chunk(streams, fds[k].fd == streams.fds[0].get() ? 0 : 1);
  }
  return {};
}

// The time from `elapsed` to `until`, never below zero.
Duration left(Duration until, Duration elapsed) {
  return std::max(Duration{0}, until - elapsed);
}

// Reads the streams until the program has ended and is reaped, looking for
// its end whenever something arrives (SIGCHLD for any child, possibly one for
// several ends). At `limit` it gets one last check and is then killed, as it
// is when an output passes its cap. A stop signal kills it and then ends this
// process.
std::expected<void, ProcessError> await_end(Child& child, SignalWatch& watch, Streams& streams,
                                            Clock::time_point start,
                                            std::optional<Duration> limit) {
  for (;;) {
    if (auto reaped = try_reap(child); !reaped) {
      return std::unexpected(ProcessError{ProcessErrorKind::wait, reaped.error()});
    }
    if (child.reaped) return {};
    std::optional<Duration> timeout;
    if (limit) {
      timeout = left(*limit, Clock::now() - start);
      if (*timeout == Duration{0}) {
        kill_and_reap(child);
        return std::unexpected(ProcessError{ProcessErrorKind::timed_out, 0});
      }
    }
    if (auto polled = poll_once(streams, watch.fd.get(), timeout); !polled) {
      return std::unexpected(ProcessError{ProcessErrorKind::wait, polled.error()});
    }
    if (const int signal = watch.take(watch.watched); signal != 0) {
      (void)try_reap(child);
      kill_and_reap(child);
      end_by(signal);
    }
    if (streams.over) {
      kill_and_reap(child);
      return std::unexpected(kTooLarge);
    }
  }
}

// Reads the streams to their end, or until `until` for streams that
// descendants of the program keep open, then takes what they hold; stops at
// the cap.
void finish_reading(Streams& streams, Clock::time_point start, Duration until) {
  while (streams.open() && !streams.over) {
    const Duration timeout = left(until, Clock::now() - start);
    if (timeout == Duration{0}) break;
    if (!poll_once(streams, -1, timeout)) break;
  }
  for (int i = 0; i < 2; ++i) {
    if (streams.fds[i]) take_rest(streams, i);
  }
}

}  // namespace

std::expected<ProcessResult, ProcessError> run_process(const std::string& path,
                                                       const std::vector<std::string>& args,
                                                       std::optional<milliseconds> limit,
                                                       std::size_t max_output) {
  // An argument holding a NUL byte would reach the program cut short, as
  // another argument than the one given: refuse it.
  const auto has_nul = [](const std::string& text) { return text.find('\0') != std::string::npos; };
  if (has_nul(path) || std::any_of(args.begin(), args.end(), has_nul)) {
    return std::unexpected(ProcessError{ProcessErrorKind::spawn, EINVAL});
  }
  auto out = make_pipe();
  if (!out) return std::unexpected(ProcessError{ProcessErrorKind::spawn, out.error()});
  auto err = make_pipe();
  if (!err) return std::unexpected(ProcessError{ProcessErrorKind::spawn, err.error()});
  // Declared before the child, so that the child is killed before the mask returns.
  SignalWatch watch;
  if (auto watching = watch_signals(watch); !watching) {
    return std::unexpected(ProcessError{ProcessErrorKind::spawn, watching.error()});
  }
  const auto pid = spawn(path, args, out->write.get(), err->write.get(), watch.caller_mask);
  if (!pid) return std::unexpected(ProcessError{ProcessErrorKind::spawn, pid.error()});
  const auto start = Clock::now();
  watch.program = *pid;
  Child child(*pid);
  if (!note_running(*pid)) return std::unexpected(ProcessError{ProcessErrorKind::spawn, ECANCELED});
  out->write.reset();
  err->write.reset();
  std::optional<Duration> deadline;
  if (limit) deadline = std::clamp(*limit, milliseconds{0}, kLongest);

  Streams streams{.fds = {std::move(out->read), std::move(err->read)}, .cap = max_output};
  if (auto ended = await_end(child, watch, streams, start, deadline); !ended) {
    return std::unexpected(ended.error());
  }
  // Nothing of ours runs any more: a stop signal may end the process as usual.
  watch.restore();
  Duration until = Clock::now() - start + kGrace;
  if (deadline) until = std::min(until, *deadline);
  finish_reading(streams, start, until);
  if (streams.over) return std::unexpected(kTooLarge);
  return ProcessResult{streams.collected[0].take(), streams.collected[1].take(), child.status};
}

const std::vector<int>& ending_signals() {
  static const std::vector<int> signals = [] {
    std::vector<int> list = {SIGHUP,  SIGINT,    SIGQUIT, SIGUSR1,   SIGUSR2,
                             SIGPIPE, SIGALRM,   SIGTERM, SIGSTKFLT, SIGXCPU,
                             SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,     SIGPWR};
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) list.push_back(signal);
    return list;
  }();
  return signals;
}

void end_programs() {
  g_ending.store(true);
  for (const std::atomic<pid_t>& slot : g_running) {
    const pid_t pid = slot.load();
    if (pid <= 0) continue;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
  }
}

std::string status_text(int status) {
  if (WIFEXITED(status)) return "exit status: " + std::to_string(WEXITSTATUS(status));
  if (!WIFSIGNALED(status)) return "wait status: " + std::to_string(status);
  const int number = WTERMSIG(status);
  std::string text = "signal: " + std::to_string(number);
  if (const char* name = ::sigabbrev_np(number)) text += std::string(" (SIG") + name + ")";
  if (WCOREDUMP(status)) text += " (core dumped)";
  return text;
}

}  // namespace vt::base
