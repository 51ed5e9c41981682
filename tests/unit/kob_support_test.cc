#include "core/kob_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace vt::core {
namespace {

namespace fs = std::filesystem;

class KobSupportTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path() / "kob_support_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string script(const std::string& body) {
    const fs::path path = dir_ / "plexa-helper";
    std::ofstream(path, std::ios::binary) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }

  fs::path dir_;
};

TEST_F(KobSupportTest, NoticeUnlessTheFeatureIsThere) {
  const std::string notice =
      "Command is skipped as KOB feature is not supported in current environment\n"
      "Refer to " +
      std::string(kEditionsPage) + " for more info\n";
  struct Case {
    std::string name;
    std::string body;  // empty: no program at that path
    bool supported = false;
  };
  const std::vector<Case> cases = {
      {"true", "echo true", true},
      {"true among blanks", R"(printf ' true \n')", true},
      {"asks for KOB",
       "[ $# -eq 2 ] && [ \"$1\" = panel-feature ] && [ \"$2\" = KOB ] && echo true", true},
      {"capital", "echo True"},
      {"upper case", "echo TRUE"},
      {"yes", "echo yes"},
      {"false", "echo false"},
      {"nothing", "true"},
      {"quoted", R"(echo '"true"')"},
      {"two words", "echo true true"},
      {"not UTF-8", R"(printf 'true\377')"},
      {"exit 1", "echo true\nexit 1"},
      {"killed", "echo true\nkill -9 $$"},
      {"missing", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string helper = c.body.empty() ? (dir_ / "missing").string() : script(c.body);
    const auto got = kob_support_notice_with(helper);
    EXPECT_EQ(got, c.supported ? std::nullopt : std::optional(notice));
  }
}

TEST(KobSupport, EditionsPageIsAnHttpsAddress) {
  EXPECT_TRUE(kEditionsPage.starts_with("https://"));
  EXPECT_EQ(kEditionsPage.find_first_of(" \t\n"), std::string_view::npos);
}

}  // namespace
}  // namespace vt::core
