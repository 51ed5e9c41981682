#include "base/directory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/unit/temp_dir.h"

namespace vt::base {
namespace {

namespace fs = std::filesystem;

// a/b/c are directories; "link" points at a; "file" is a regular file.
class Directories : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "a/b/c");
    fs::create_directory_symlink(dir_ / "a", dir_ / "link");
    fs::create_directory_symlink("c", dir_ / "a/b/inner");
    temp_.write("file", "x");
  }
  test::TempDir temp_{"directory_test"};
  const fs::path& dir_ = temp_.path();
};

TEST_F(Directories, NoLinkIsFollowed) {
  struct Case {
    std::string path;  // below the temporary directory
    int error;         // 0: opens
  };
  const std::vector<Case> cases = {
      {"a/b/c", 0},         {"a/b/c/", 0},       {"a//b/./c", 0},
      {"a/b/c/..", 0},      {"link", ELOOP},     {"link/b/c", ELOOP},
      {"a/b/inner", ELOOP}, {"missing", ENOENT}, {"file", ENOTDIR},
  };
  for (const bool by_components : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.path + (by_components ? " by components" : ""));
      const std::string path = (dir_ / c.path).string();
      const auto opened =
          by_components ? open_directory_by_components(path) : open_directory_no_links(path);
      EXPECT_EQ(opened ? 0 : opened.error(), c.error);
    }
  }
}

TEST_F(Directories, RemovesAnyEntryWithoutFollowing) {
  ::mkfifo((dir_ / "fifo").c_str(), 0600);
  fs::create_directories(dir_ / "tree/x/y");
  temp_.write("tree/x/y/z", "z");
  fs::create_directory_symlink(dir_ / "a", dir_ / "tree/to-a");
  fs::create_directories(dir_ / "deep/1/2/3/4/5/6/7/8/9/10");
  const Fd top(::open(dir_.c_str(), O_RDONLY | O_DIRECTORY));
  for (const char* name : {"fifo", "link", "file", "tree"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(remove_entry(top.get(), name), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / name)));
  }
  EXPECT_TRUE(fs::is_directory(dir_ / "a/b/c"));  // the links' targets stay
  EXPECT_NE(remove_entry(top.get(), "deep"), 0);
  EXPECT_TRUE(fs::exists(dir_ / "deep"));
}

}  // namespace
}  // namespace vt::base
