#include "core/kob_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace vt::core {
namespace {

namespace fs = std::filesystem;

class KobSupportTest : public testing::Test {
 protected:
  std::string script(const std::string& body) { return temp_.script("plexa-helper", body); }

  test::TempDir temp_{"kob_support_test"};
  const fs::path& dir_ = temp_.path();
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
    const auto got = kob_support_notice(helper);
    EXPECT_EQ(got, c.supported ? std::nullopt : std::optional(notice));
  }
}

TEST(KobSupport, EditionsPageIsAnHttpsAddress) {
  EXPECT_TRUE(kEditionsPage.starts_with("https://"));
  EXPECT_EQ(kEditionsPage.find_first_of(" \t\n"), std::string_view::npos);
}

}  // namespace
}  // namespace vt::core
