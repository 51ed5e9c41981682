// The initial-user-namespace check against the real procfs: as it is, in
// nested user namespaces, and with forged parts laid over "/proc" inside
// private mount namespaces of forked children.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/file.h"
#include "core/identity.h"
#include "tests/unit/in_child.h"

namespace vt::core {
namespace {

std::string describe(const std::expected<bool, NamespaceCheckError>& answer) {
  if (answer) return *answer ? "yes" : "no";
  const auto& error = answer.error();
  if (error.system_error == 0) return error.message;
  return error.message + ": " + std::strerror(error.system_error);
}

std::string bind_over(const std::string& source, const std::string& target) {
  if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    return test::errno_text("bind " + source + " on " + target);
  }
  return "";
}

// Enters a new user namespace in which our own id is mapped to 0.
std::string enter_user_namespace_as_root() {
  if (::unshare(CLONE_NEWUSER) != 0) return test::errno_text("unshare user namespace");
  if (auto error = test::write_text("/proc/self/setgroups", "deny"); !error.empty()) return error;
  return test::write_text("/proc/self/uid_map", "0 0 1\n");
}

std::size_t open_descriptors() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  std::size_t count = 0;
  while (::readdir(dir) != nullptr) ++count;
  ::closedir(dir);
  return count;
}

TEST(NamespaceCheck, RootOfTheMachineIsInTheInitialNamespace) {
  const std::size_t before = open_descriptors();
  EXPECT_EQ(describe(check_initial_user_namespace()), "yes");
  EXPECT_TRUE(is_initial_user_namespace());
  EXPECT_EQ(open_descriptors(), before);  // every handle closed again
}

TEST(NamespaceCheck, ForgedOrForeignProcfsGivesNo) {
  for (const auto& missing : {test::private_mounts_missing(), test::user_namespaces_missing()}) {
    if (!missing.empty()) GTEST_SKIP() << missing;
  }
  const std::string test_pid = std::to_string(::getpid());
  const std::string initial_map = "0 0 4294967295\n";
  struct Case {
    const char* name;
    std::function<std::string()> setup;  // runs in the child; empty result: ready
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"fresh procfs mounted over /proc",
       [] {
         if (auto error = test::enter_private_mounts(); !error.empty()) return error;
         if (::mount("proc", "/proc", "proc", 0, nullptr) != 0) return test::errno_text("mount");
         return std::string();
       },
       "yes"},
      {"user namespace without a mapping",
       [] { return ::unshare(CLONE_NEWUSER) == 0 ? "" : test::errno_text("unshare"); }, "no"},
      {"user namespace mapping 0 to 0 only", enter_user_namespace_as_root, "no"},
      {"tmpfs tree over /proc",
       [&] {
         if (auto error = test::enter_private_mounts(); !error.empty()) return error;
         if (auto error = test::mount_tmpfs("/proc"); !error.empty()) return error;
         if (::mkdir("/proc/4242", 0755) != 0) return test::errno_text("mkdir");
         if (::symlink("4242", "/proc/self") != 0) return test::errno_text("symlink");
         return test::write_text("/proc/4242/uid_map", initial_map);
       },
       "/proc is not on procfs"},
      {"another process's directory over our own",
       [&] {
         if (auto error = test::enter_private_mounts(); !error.empty()) return error;
         return bind_over("/proc/" + test_pid, "/proc/" + std::to_string(::getpid()));
       },
       "/proc/self is not the directory procfs lists"},
      {"tmpfs file over uid_map",
       [&] {
         if (auto error = test::enter_private_mounts(); !error.empty()) return error;
         if (auto error = test::mount_tmpfs("/tmp"); !error.empty()) return error;
         if (auto error = test::write_text("/tmp/uid_map", initial_map); !error.empty()) {
           return error;
         }
         return bind_over("/tmp/uid_map", "/proc/self/uid_map");
       },
       "/proc/self/uid_map is not on procfs"},
      {"another process's uid_map over our own",
       [&] {
         if (auto error = test::enter_private_mounts(); !error.empty()) return error;
         return bind_over("/proc/" + test_pid + "/uid_map", "/proc/self/uid_map");
       },
       "/proc/self/uid_map is not the inode procfs lists"},
      {"user namespace wearing the initial uid_map",
       [&] {
         if (auto error = enter_user_namespace_as_root(); !error.empty()) return error;
         if (auto error = test::enter_private_mounts(); !error.empty()) return error;
         if (auto error = bind_over("/proc/" + test_pid + "/uid_map", "/proc/self/uid_map");
             !error.empty()) {
           return error;
         }
         // The forgery must be convincing to anyone who reads the path.
         const auto shown = base::read_file("/proc/self/uid_map", base::kSmallFileMaxBytes);
         if (!shown || !uid_map_is_initial(*shown)) return std::string("forgery not in place");
         return std::string();
       },
       "/proc/self/uid_map is not the inode procfs lists"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string answer = test::run_in_child([&] {
      if (auto error = c.setup(); !error.empty()) return "setup: " + error;
      return describe(check_initial_user_namespace());
    });
    EXPECT_EQ(answer, c.answer);
  }
}

}  // namespace
}  // namespace vt::core
