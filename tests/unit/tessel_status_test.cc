#include "core/tessel_status.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace vt::core {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// Programs in a fresh directory per test.
class TesselTest : public testing::Test {
 protected:
  std::string script(const std::string& name, const std::string& body,
                     fs::perms perms = fs::perms::owner_all) {
    return temp_.script(name, body, perms);
  }

  test::TempDir temp_{"tessel_test"};
  const fs::path& dir_ = temp_.path();
};

const std::string kSocketWarning =
    "%(util)s is disabled in the system. Please, run \"%(command)s\" to start the service";

// Where the control tool's path leads.
enum class Tool { script, missing, directory, link, dangling_link, not_executable };

TEST_F(TesselTest, ServiceStatus) {
  struct Case {
    std::string name;
    Tool tool = Tool::script;
    std::string body = "";  // run after the tool has noted that it ran
    bool machine_root = true;
    std::string status;
    std::optional<std::string> warning = std::nullopt;
    std::optional<std::string> context = std::nullopt;  // as compact JSON
    bool runs = true;
  };
  const std::vector<Case> cases = {
      {.name = "no tool", .tool = Tool::missing, .status = "disabled", .runs = false},
      {.name = "directory", .tool = Tool::directory, .status = "disabled", .runs = false},
      {.name = "dangling link", .tool = Tool::dangling_link, .status = "disabled", .runs = false},
      {.name = "not root of the machine",
       .body = "exit 1",
       .machine_root = false,
       .status = "enabled",
       .runs = false},
      {.name = "not root, no tool",
       .tool = Tool::missing,
       .machine_root = false,
       .status = "disabled",
       .runs = false},
      {.name = "lists",
       .body = "[ $# -eq 1 ] && [ \"$1\" = list ] || exit 3\necho 'id user'",
       .status = "enabled"},
      {.name = "link to the tool", .tool = Tool::link, .body = "exit 0", .status = "enabled"},
      {.name = "socket failure",
       .body = "echo \"error: can't connect to socket /run/x\"\nexit 1",
       .status = "error",
       .warning = kSocketWarning,
       .context = R"({"command":"service db_tessel restart","util":"MySQL tessel"})"},
      {.name = "socket failure with exit 0",
       .body = "echo \"can't connect to socket\"",
       .status = "error",
       .warning = kSocketWarning,
       .context = R"({"command":"service db_tessel restart","util":"MySQL tessel"})"},
      {.name = "socket text on stderr",
       .body = "echo \"can't connect to socket\" >&2\nexit 1",
       .status = "error",
       .warning = "tslctl error: %(output)s",
       .context = R"({"output":"can't connect to socket"})"},
      {.name = "exit 0 with stderr",
       .body = "printf '  busy, try later \\n' >&2",
       .status = "error",
       .warning = "tslctl error: %(output)s",
       .context = R"({"output":"busy, try later"})"},
      {.name = "exit 2 silent",
       .body = "exit 2",
       .status = "error",
       .warning = "tslctl error: %(output)s",
       .context = R"({"output":""})"},
      {.name = "killed",
       .body = "echo dying >&2\nkill -9 $$",
       .status = "error",
       .warning = "tslctl error: %(output)s",
       .context = R"({"output":"dying"})"},
      {.name = "stderr not UTF-8",
       .body = "printf 'bad \\377\\n' >&2\nexit 1",
       .status = "error",
       .warning = "tslctl error: %(output)s",
       .context = R"({"output":"bad )"
                  "\xef\xbf\xbd"
                  R"("})"},
      {.name = "no execute permission",
       .tool = Tool::not_executable,
       .status = "error",
       .warning = "Permission denied (os error 13)",
       .runs = false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path marker = dir_ / "ran";
    fs::remove(marker);
    const std::string body = "touch '" + marker.string() + "'\n" + c.body;
    fs::path tool = dir_ / "tslctl";
    fs::remove_all(tool);
    switch (c.tool) {
      case Tool::script:
        script("tslctl", body);
        break;
      case Tool::missing:
        break;
      case Tool::directory:
        fs::create_directory(tool);
        break;
      case Tool::link:
        fs::create_symlink(script("real-tslctl", body), tool);
        break;
      case Tool::dangling_link:
        fs::create_symlink(dir_ / "nowhere", tool);
        break;
      case Tool::not_executable:
        script("tslctl", body, fs::perms::owner_read | fs::perms::owner_write);
        break;
    }
    const TesselStatus got = tessel_service_status(tool, c.machine_root);
    EXPECT_EQ(got.status, c.status);
    EXPECT_EQ(got.warning, c.warning);
    EXPECT_EQ(got.context ? std::optional(got.context->dump()) : std::nullopt, c.context);
    EXPECT_EQ(fs::exists(marker), c.runs);
  }
}

TEST_F(TesselTest, Mode) {
  struct Case {
    std::string name;
    std::string body;  // empty: no program at that path
    std::string mode;
  };
  const std::vector<Case> cases = {
      {"quoted word", R"(printf '"all"\n')", "all"},
      {"bare word", "echo all", "all"},
      {"padded quoted word", R"(printf ' \t"all" \r\n')", "all"},
      {"escapes", R"(printf '"a\\u00e9\\"b"')", "a\xc3\xa9\"b"},
      {"argument", "[ $# -eq 1 ] && echo \"$1\"", "tessel-mode"},
      {"exit 1", "echo all\nexit 1", "none"},
      {"killed", "echo all\nkill -9 $$", "none"},
      {"missing", "", "none"},
      {"empty output", "true", ""},
      {"quoted then more", R"(printf '"all" x')", "\"all\" x"},
      {"two strings", R"(printf '"a" "b"')", "\"a\" \"b\""},
      {"unterminated", R"(printf '"all')", "\"all"},
      {"not a string", "echo '[\"all\"]'", "[\"all\"]"},
      {"not UTF-8", R"(printf 'a\377')", "a\xef\xbf\xbd"},
      {"stderr ignored", "echo oops >&2\necho all", "all"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string helper =
        c.body.empty() ? (dir_ / "missing").string() : script("helper", c.body);
    EXPECT_EQ(query_tessel_mode(helper), c.mode);
  }
}

}  // namespace
}  // namespace vt::core
