#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vt::e2e {
namespace fs = std::filesystem;

const char* const kDefaultPasswd =
    "root:x:0:0:root:/root:/bin/bash\n"
    "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
    "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n"
    "mailman:x:999:999::/var/lib/mailman:/usr/sbin/nologin\n"
    "alice:x:1001:1001::/home/alice:/bin/bash\n"
    "bob:x:1002:1002::/home/bob:/bin/bash\n"
    "carol:x:1003:1003::/home/carol:/bin/bash\n"
    "res1:x:1501:1501::/home/res1:/bin/bash\n";

namespace {

// Every case runs the binary in private mount and pid namespaces, which
// only root may make: anybody else gets every case skipped, with the reason.
class RootOnly : public ::testing::Environment {
 public:
  void SetUp() override {
    if (::geteuid() != 0)
      GTEST_SKIP() << "the end-to-end tests need root: they run the binary in private mount "
                      "and pid namespaces";
  }
};

[[maybe_unused]] ::testing::Environment* const kRootOnly =
    ::testing::AddGlobalTestEnvironment(new RootOnly);

}  // namespace

RunOptions as(const std::string& user) {
  RunOptions options;
  options.as_user = user;
  return options;
}

Fixture::Fixture() {
  std::string templ = (fs::temp_directory_path() / "vt-e2e.XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = templ;
  ::chmod(root_.c_str(), 0755);
  write("/run/kobstats.pid", "1\n");
  write("/etc/login.defs", "UID_MIN 1000\nUID_MAX 60000\n");
  write("/etc/passwd", kDefaultPasswd);
  // The control panel's helper, knowing no accounts; no MySQL tessel service.
  install_fake(kPlexaHelper);
  write(std::string(kFakeData) + "/panel-feature-KOB", "true\n");
  write(std::string(kFakeData) + "/admins.json", "[]\n");
  write(std::string(kFakeData) + "/user-info-sys.json", R"({"users": [], "unresolved": []})");
  mkdir("/var/log/vt-calls", 01777);
}

void Fixture::generate(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {VT_GEN_SERVER, root_};
  argv.insert(argv.end(), args.begin(), args.end());
  const RunResult r = run_program(argv);
  if (r.status != 0) throw std::runtime_error("cannot generate a server: " + r.err);
}

void Fixture::install_fake(const std::string& path) {
  const fs::path from = fs::path(VT_FAKES_DIR) / fs::path(path).filename();
  fs::create_directories(fs::path(host_path(path)).parent_path());
  fs::copy_file(from, host_path(path), fs::copy_options::overwrite_existing);
  fs::copy_file(fs::path(VT_FAKES_DIR) / "behave.sh", host_path(kFakeScripts) + "/behave.sh",
                fs::copy_options::overwrite_existing);
}

std::vector<std::string> Fixture::calls() const {
  std::vector<std::string> lines;
  std::ifstream in(host_path("/var/log/vt-calls/calls.log"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void Fixture::clear_calls() {
  fs::remove(host_path("/var/log/vt-calls/calls.log"));
}

void Fixture::remove(const std::string& path) {
  fs::remove(host_path(path));
}

Fixture::~Fixture() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string Fixture::host_path(const std::string& path) const {
  return root_ + path;
}

void Fixture::mkdir(const std::string& path, unsigned mode) {
  fs::create_directories(host_path(path));
  ::chmod(host_path(path).c_str(), mode);
}

void Fixture::write(const std::string& path, const std::string& content, unsigned mode) {
  const fs::path file = host_path(path);
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
  ::chmod(file.c_str(), mode);
}

namespace {

// Every document the command prints in these tests is kept in
// VT_DOCUMENTS_DIR, one file each, for tests/schema/validate.py to check
// against the published schemas once the tests have run.
void keep_document(const std::string& out) {
  constexpr std::size_t kLargest = std::size_t{64} << 20;
  if (out.empty() || out.front() != '{' || out.size() > kLargest) return;
  static unsigned count = 0;
  const fs::path file = fs::path(VT_DOCUMENTS_DIR) /
                        (std::to_string(::getpid()) + "-" + std::to_string(++count) + ".json");
  std::ofstream(file, std::ios::binary | std::ios::trunc) << out;
}

}  // namespace

std::string binary(Command command) {
  switch (command) {
    case Command::metrics:
      return VT_METRICS_BINARY;
    case Command::live:
      return VT_LIVE_BINARY;
    case Command::json:
      break;
  }
  return VT_BINARY;
}

RunResult Fixture::run(const std::vector<std::string>& args, const RunOptions& options) const {
  std::vector<std::string> argv = {VT_LAUNCHER, root_};
  if (!options.as_user.empty()) {
    argv.push_back("--as");
    argv.push_back(options.as_user);
  }
  if (options.userns) argv.push_back("--userns");
  if (options.forged_proc) argv.push_back("--forged-proc");
  argv.push_back("--");
  argv.insert(argv.end(), options.wrapper.begin(), options.wrapper.end());
  argv.push_back(binary(options.command));
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult result = run_program(argv);
  if (options.command == Command::json) keep_document(result.out);
  return result;
}

RunResult Fixture::shell(const std::string& command_line) const {
  const std::string vt = std::string(VT_LAUNCHER) + " " + root_ + " -- " + VT_BINARY;
  RunResult result = run_program({"/bin/bash", "-c", "VT='" + vt + "'; " + command_line});
  keep_document(result.out);
  return result;
}

RunResult run_program(const std::vector<std::string>& argv) {
  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  RunResult result;
  if (spawned != 0) {
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_count = 2;
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::vector<std::string> usernames(const nlohmann::json& report) {
  std::vector<std::string> names;
  for (const auto& user : report["users"]) names.push_back(user["username"]);
  return names;
}

}  // namespace vt::e2e
