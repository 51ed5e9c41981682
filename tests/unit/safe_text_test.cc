#include "base/safe_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vt::base {
namespace {

// U+FFFD in UTF-8.
const std::string kFffd = "\xEF\xBF\xBD";

TEST(SafeText, WhatNeverReachesATerminalAsItIs) {
  const struct {
    std::string in;
    SafeTextRules rules;
    std::string out;
  } cases[] = {
      {"res\xE2\x80\xAE"
       "1",
       {},
       "res" + kFffd + "1"},                     // right-to-left override
      {"\xEF\xBB\xBFres1", {}, kFffd + "res1"},  // byte-order mark
      {"a\xE2\x80\x8B"
       "b",
       {},
       "a" + kFffd + "b"},  // zero-width space
      {"a\xE2\x80\xA8"
       "b",
       {},
       "a" + kFffd + "b"},                 // line separator
      {"a\xEF\xBF\xBF", {}, "a" + kFffd},  // a noncharacter
      {"john smith", {}, "john smith"},
      {"a\xC2\xA0"
       "b",
       {},
       "a" + kFffd + "b"},  // a blank that passes for another
      {"caf\xC3\xA9", {}, "caf\xC3\xA9"},
      // One field: every blank goes, U+00A0, U+2003 and U+3000 too.
      {"a b\xC2\xA0"
       "c\xE2\x80\x83"
       "d\xE3\x80\x80"
       "e",
       {.one_field = true},
       "a" + kFffd + "b" + kFffd + "c" + kFffd + "d" + kFffd + "e"},
      // An ASCII character set: "?" for anything else.
      {"john smith\tx", {.utf8 = false, .one_field = true}, "john?smith?x"},
      {"caf\xC3\xA9\xFF", {.utf8 = false}, "caf??"},
  };
  for (const auto& c : cases) EXPECT_EQ(safe_text(c.in, c.rules), c.out) << c.in;
}

}  // namespace
}  // namespace vt::base
