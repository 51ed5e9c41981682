#include "base/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "base/fd.h"

namespace vt::base {
namespace {

using Clock = std::chrono::steady_clock;
using Duration = Clock::duration;
using std::chrono::milliseconds;

// How long output is still read after the program has ended, for descendants
// that hold its pipes open.
constexpr milliseconds kGrace{1000};
// Where the kernel has no descriptor for a process's end, the end is polled
// for at this interval.
constexpr milliseconds kPollInterval{50};
// A limit beyond this is as good as none; it keeps the arithmetic in range.
constexpr milliseconds kLongest = std::chrono::hours(24 * 365 * 100);
constexpr std::size_t kChunk = 64 * 1024;

// The started program. Unless its status has been collected, it is killed
// and reaped when this goes out of scope, so no path leaves a zombie.
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
    const pid_t got = ::waitpid(child.pid, &child.status, WNOHANG);
    if (got == child.pid) {
      child.reaped = true;
      return {};
    }
    if (got == 0) return {};
    if (errno != EINTR) return std::unexpected(errno);
  }
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

// Starts the program with /dev/null, `out` and `err` as its standard
// streams. Everything else of ours is close-on-exec and stays behind.
std::expected<pid_t, int> spawn(const std::string& path, const std::vector<std::string>& args,
                                int out, int err) {
  SpawnActions spawn;
  int error =
      posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (error == 0) error = posix_spawn_file_actions_adddup2(&spawn.actions, out, STDOUT_FILENO);
  if (error == 0) error = posix_spawn_file_actions_adddup2(&spawn.actions, err, STDERR_FILENO);
  if (error != 0) return std::unexpected(error);
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  error = ::posix_spawn(&pid, path.c_str(), &spawn.actions, nullptr, argv.data(), environ);
  if (error != 0) return std::unexpected(error);
  return pid;
}

// The two output streams while they are being collected; a closed Fd is a
// stream that is done.
struct Streams {
  std::array<Fd, 2> fds;
  std::array<std::string*, 2> sinks;

  bool open() const { return fds[0] || fds[1]; }
};

// One read from a stream the kernel reported ready. End of file and read
// errors both end the stream; what was read before stays. Returns the number
// of bytes read.
std::size_t read_chunk(Fd& fd, std::string& sink) {
  char buffer[kChunk];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n > 0) {
      sink.append(buffer, static_cast<std::size_t>(n));
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
void take_rest(Fd& fd, std::string& sink) {
  const int capacity = ::fcntl(fd.get(), F_GETPIPE_SZ);
  std::size_t taken = 0;
  while (fd && taken < static_cast<std::size_t>(std::max(capacity, 1))) {
    const std::size_t n = read_chunk(fd, sink);
    if (n == 0) break;
    taken += n;
  }
  fd.reset();
}

// Waits at most `timeout` (or without limit when it is empty) for the
// streams and, when given, one more descriptor; reads one chunk from every
// ready stream. Returns whether `extra` became ready, or the errno of poll.
std::expected<bool, int> poll_once(Streams& streams, int extra, std::optional<Duration> timeout) {
  std::array<pollfd, 3> fds{};
  std::array<int, 3> index{};
  nfds_t count = 0;
  for (int i = 0; i < 2; ++i) {
    if (!streams.fds[i]) continue;
    fds[count] = {streams.fds[i].get(), POLLIN, 0};
    index[count++] = i;
  }
  if (extra >= 0) fds[count++] = {extra, POLLIN, 0};
  timespec wait{};
  if (timeout) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(*timeout);
    wait.tv_sec = static_cast<time_t>(seconds.count());
    wait.tv_nsec = static_cast<long>(std::chrono::nanoseconds(*timeout - seconds).count());
  }
  if (::ppoll(fds.data(), count, timeout ? &wait : nullptr, nullptr) < 0) {
    if (errno == EINTR) return false;
    return std::unexpected(errno);
  }
  bool extra_ready = false;
  for (nfds_t k = 0; k < count; ++k) {
    if (fds[k].revents == 0) continue;
    if (fds[k].fd == extra) {
      extra_ready = true;
    } else {
      read_chunk(streams.fds[index[k]], *streams.sinks[index[k]]);
    }
  }
  return extra_ready;
}

// The time from `elapsed` to `until`, never below zero.
Duration left(Duration until, Duration elapsed) {
  return std::max(Duration{0}, until - elapsed);
}

// Reads the streams until the program has ended and is reaped. At `limit`
// it gets one last check and is then killed.
std::expected<void, ProcessError> await_end(Child& child, const Fd& pidfd, Streams& streams,
                                            Clock::time_point start,
                                            std::optional<Duration> limit) {
  for (;;) {
    std::optional<Duration> timeout;
    if (limit) {
      timeout = left(*limit, Clock::now() - start);
      if (*timeout == Duration{0}) {
        if (auto reaped = try_reap(child); !reaped) {
          return std::unexpected(ProcessError{ProcessErrorKind::wait, reaped.error()});
        }
        if (child.reaped) return {};
        kill_and_reap(child);
        return std::unexpected(ProcessError{ProcessErrorKind::timed_out, 0});
      }
    }
    if (!pidfd) timeout = std::min<Duration>(timeout.value_or(kPollInterval), kPollInterval);
    const auto ended = poll_once(streams, pidfd ? pidfd.get() : -1, timeout);
    if (!ended) return std::unexpected(ProcessError{ProcessErrorKind::wait, ended.error()});
    if (pidfd && !*ended) continue;
    if (auto reaped = try_reap(child); !reaped) {
      return std::unexpected(ProcessError{ProcessErrorKind::wait, reaped.error()});
    }
    if (child.reaped) return {};
  }
}

// Reads the streams to their end, or until `until` for streams that
// descendants of the program keep open, then takes what they hold.
void finish_reading(Streams& streams, Clock::time_point start, Duration until) {
  while (streams.open()) {
    const Duration timeout = left(until, Clock::now() - start);
    if (timeout == Duration{0}) break;
    if (!poll_once(streams, -1, timeout)) break;
  }
  for (int i = 0; i < 2; ++i) {
    if (streams.fds[i]) take_rest(streams.fds[i], *streams.sinks[i]);
  }
}

}  // namespace

std::expected<ProcessResult, ProcessError> run_process(const std::string& path,
                                                       const std::vector<std::string>& args,
                                                       std::optional<milliseconds> limit) {
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
  const auto pid = spawn(path, args, out->write.get(), err->write.get());
  if (!pid) return std::unexpected(ProcessError{ProcessErrorKind::spawn, pid.error()});
  const auto start = Clock::now();
  Child child(*pid);
  out->write.reset();
  err->write.reset();
  // Without a descriptor for the process (older kernels), its end is polled for.
  const Fd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, *pid, 0)));
  std::optional<Duration> deadline;
  if (limit) deadline = std::clamp(*limit, milliseconds{0}, kLongest);

  ProcessResult result;
  Streams streams{{std::move(out->read), std::move(err->read)}, {&result.out, &result.err}};
  if (auto ended = await_end(child, pidfd, streams, start, deadline); !ended) {
    return std::unexpected(ended.error());
  }
  result.status = child.status;
  Duration until = Clock::now() - start + kGrace;
  if (deadline) until = std::min(until, *deadline);
  finish_reading(streams, start, until);
  return result;
}

std::string os_error_text(int errnum) {
  char buffer[256];
  // The GNU strerror_r: returns the text, in `buffer` or a static string.
  const char* text = ::strerror_r(errnum, buffer, sizeof buffer);
  return std::string(text) + " (os error " + std::to_string(errnum) + ")";
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
