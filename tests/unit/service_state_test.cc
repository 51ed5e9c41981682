#include "gather/service_state.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace vt::gather {
namespace {

namespace fs = std::filesystem;

class ServiceStateTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vt-pid-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string pid_file(const std::string& content) {
    const fs::path path = dir_ / "kobstats.pid";
    std::ofstream(path, std::ios::trunc | std::ios::binary) << content;
    return path;
  }

  // The pid of a process that has ended and been reaped.
  static pid_t gone_pid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
  }

  fs::path dir_;
};

TEST_F(ServiceStateTest, PidFileContents) {
  const std::string self = std::to_string(::getpid());
  const std::vector<std::pair<std::string, ServiceState>> cases = {
      {self + "\n", ServiceState::running},
      {"  " + self + " \t\r\n", ServiceState::running},
      {"+" + self, ServiceState::running},
      {"\xc2\xa0" + self + "\xe3\x80\x80", ServiceState::running},  // Unicode blanks
      {"", ServiceState::dead},
      {" \n\t", ServiceState::dead},
      {"0", ServiceState::dead},
      {"-1", ServiceState::dead},
      {"kobstats", ServiceState::dead},
      {self + " " + self, ServiceState::dead},
      {"2147483648", ServiceState::dead},
      {"-2147483649", ServiceState::dead},
      {"+-1", ServiceState::dead},
      {std::to_string(gone_pid()), ServiceState::dead},
      {self + "\xff", ServiceState::stopped},  // not UTF-8
  };
  for (const auto& [content, state] : cases) {
    SCOPED_TRACE(testing::PrintToString(content));
    EXPECT_EQ(check_stats_service(pid_file(content)), state);
  }
}

TEST_F(ServiceStateTest, UnreadablePidFile) {
  EXPECT_EQ(check_stats_service((dir_ / "missing.pid").string()), ServiceState::stopped);
  EXPECT_EQ(check_stats_service(dir_.string()), ServiceState::stopped);  // a directory
}

TEST_F(ServiceStateTest, ProcessOfAnotherUserRuns) {
  // An unprivileged caller probing root's init gets EPERM: the process exists.
  const std::string path = pid_file("1\n");
  ::chmod(dir_.c_str(), 0755);
  ::chmod(path.c_str(), 0644);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) {
      ::_exit(3);
    }
    ::_exit(check_stats_service(path) == ServiceState::running ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ServiceStateMessage, Texts) {
  EXPECT_EQ(service_state_message(ServiceState::running), std::nullopt);
  EXPECT_EQ(service_state_message(ServiceState::stopped), "KOB Stats is stopped");
  EXPECT_EQ(service_state_message(ServiceState::dead), "KOB Stats is dead but subsys locked");
}

}  // namespace
}  // namespace vt::gather
