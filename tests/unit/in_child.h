#pragma once
// Running test code in a forked child that may change its own namespaces and
// mounts without touching the host: the child reports a text through a pipe
// and leaves with _exit, so no test-framework teardown runs in it.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "base/fd.h"

namespace vt::test {

/// "what: error text" for the current errno.
inline std::string errno_text(std::string_view what) {
  return std::string(what) + ": " + std::strerror(errno);
}

/// Runs `body` (returning std::string) in a forked child and returns its text.
/// A child that does not exit normally gives a text starting with "child ",
/// which no test expects.
template <class Body>
std::string run_in_child(Body body) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return errno_text("child pipe");
  base::Fd read_end(ends[0]);
  base::Fd write_end(ends[1]);
  const pid_t pid = ::fork();
  if (pid < 0) return errno_text("child fork");
  if (pid == 0) {
    read_end.reset();
    const std::string text = body();
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(write_end.get(), text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ::_exit(2);
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  write_end.reset();
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(read_end.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return errno_text("child waitpid");
  }
  if (!WIFEXITED(status)) return "child killed by signal " + std::to_string(WTERMSIG(status));
  if (WEXITSTATUS(status) != 0) return "child exit status " + std::to_string(WEXITSTATUS(status));
  return text;
}

/// Moves the calling process into a mount namespace of its own whose mounts
/// do not propagate anywhere. Empty on success, else what failed.
inline std::string enter_private_mounts() {
  if (::unshare(CLONE_NEWNS) != 0) return errno_text("unshare mount namespace");
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return errno_text("make mounts private");
  }
  return "";
}

/// Why a child cannot have mounts of its own here (in a chroot, say), or
/// empty when it can; tests that need them skip with this reason.
inline std::string private_mounts_missing() {
  return run_in_child([] { return enter_private_mounts(); });
}

/// Why a child cannot enter a user namespace of its own here, or empty.
inline std::string user_namespaces_missing() {
  return run_in_child([] {
    return ::unshare(CLONE_NEWUSER) == 0 ? std::string() : errno_text("unshare user namespace");
  });
}

/// Mounts an empty tmpfs over the directory `path`. Empty on success.
inline std::string mount_tmpfs(const std::string& path) {
  if (::mount("tmpfs", path.c_str(), "tmpfs", 0, "mode=0755") != 0) {
    return errno_text("mount tmpfs on " + path);
  }
  return "";
}

/// Creates or replaces the file at `path` with `text`. Empty on success.
inline std::string write_text(const std::string& path, std::string_view text) {
  base::Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd) return errno_text("open " + path);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return errno_text("write " + path);
    done += static_cast<std::size_t>(n);
  }
  return "";
}

}  // namespace vt::test
