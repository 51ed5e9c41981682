#include "plugins/parse_failure.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"

namespace vt::plugins {
namespace {

// Every helper answer that fails to decode is quoted this way (user-info-sys,
// limits): the rule lives here, the readers' tests show that they use it.
TEST(ParseFailure, QuotesTheFirst200BytesWithoutSplittingACharacter) {
  struct Case {
    std::string name;
    std::string output;
    std::size_t quoted;  // bytes of `output` after ": output="
  };
  // 1,000 bytes with `at` placed after the first `before` bytes.
  const auto padded = [](const std::string& at, std::size_t before = 199) {
    std::string text = std::string(before, 'a') + at;
    return text + std::string(1000 - text.size(), 'b');
  };
  const std::vector<Case> cases = {
      {"short output whole", "oops", 4},
      {"1,000 bytes", padded("a"), 200},
      {"a character across byte 200 is left out", padded("\xc3\xa9"), 199},
      {"a character ending at byte 200 is kept", padded("\xc3\xa9", 198), 200},
      {"a three-byte character across byte 200", padded("\xe2\x82\xac"), 199},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string message = parse_failure_quoting("limits", "bad", c.output);
    EXPECT_EQ(message, "failed to parse limits JSON: bad: output=" + c.output.substr(0, c.quoted));
    EXPECT_TRUE(base::is_utf8(message));
  }
}

}  // namespace
}  // namespace vt::plugins
