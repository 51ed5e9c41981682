#pragma once
// A private temporary directory for tests that need files or small shell
// programs, plus checks that a test left no descriptor or child behind.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace vt::test {

/// A fresh directory below the system temporary directory, removed with all
/// its content when the object goes.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "vt_test") {
    std::string pattern = std::filesystem::temp_directory_path() / (prefix + ".XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  /// Writes `content` to the file `name` in the directory; gives its path.
  std::string write(
      const std::string& name, const std::string& content,
      std::filesystem::perms perms = static_cast<std::filesystem::perms>(0644)) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream(file, std::ios::binary) << content;
    std::filesystem::permissions(file, perms);
    return file;
  }

  /// Writes a shell program running `body`; gives its path.
  std::string script(const std::string& name, const std::string& body,
                     std::filesystem::perms perms = std::filesystem::perms::owner_all) const {
    return write(name, "#!/bin/sh\n" + body + "\n", perms);
  }

 private:
  std::filesystem::path path_;
};

/// A stand-in helper program in its own directory: it records its arguments
/// one per line in "args", touches "ran", and prints what answer() set.
class RecordingHelper {
 public:
  explicit RecordingHelper(const std::string& prefix)
      : temp_(prefix),
        program_(temp_.script("helper", "cd '" + temp_.path().string() +
                                            "' || exit 9\n"
                                            ": > ran\nprintf '%s\\n' \"$@\" > args\ncat answer")) {}

  const std::string& program() const { return program_; }
  void answer(const std::string& text) const { temp_.write("answer", text); }
  std::string args() const {
    std::ifstream in(temp_.path() / "args");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool ran() const { return std::filesystem::exists(temp_.path() / "ran"); }
  const TempDir& dir() const { return temp_; }

 private:
  TempDir temp_;
  std::string program_;
};

/// How many descriptors this process has open.
inline int open_fd_count() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

/// Whether no child of this process is left to be reaped (none ended unwaited).
inline bool no_child_left() {
  errno = 0;
  const pid_t left = ::waitpid(-1, nullptr, WNOHANG);
  return left == 0 || (left == -1 && errno == ECHILD);
}

/// A test that runs its shell programs from a fresh directory and must
/// leave neither a child process nor a descriptor behind.
class ScriptTest : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(open_fd_count(), fds_);
    EXPECT_TRUE(no_child_left()) << "left a zombie";
  }
  std::string script(const std::string& name, const std::string& body,
                     std::filesystem::perms perms = std::filesystem::perms::owner_all) {
    return temp_.script(name, body, perms);
  }

  TempDir temp_;
  const std::filesystem::path& dir_ = temp_.path();
  int fds_ = open_fd_count();
};

/// A test with a recording stand-in helper (RecordingHelper) in a fresh
/// directory.
class HelperTest : public testing::Test {
 protected:
  std::string script(const std::string& name, const std::string& body,
                     std::filesystem::perms perms = std::filesystem::perms::owner_all) {
    return stand_in_.dir().script(name, body, perms);
  }
  void answer(const std::string& text) { stand_in_.answer(text); }
  std::string args() const { return stand_in_.args(); }
  bool ran() const { return stand_in_.ran(); }

  RecordingHelper stand_in_{"helper_test"};
  const std::filesystem::path& dir_ = stand_in_.dir().path();
  const std::string& helper_ = stand_in_.program();
};

}  // namespace vt::test
