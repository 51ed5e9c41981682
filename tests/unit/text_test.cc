#include "base/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf8.h"

namespace vt::base {
namespace {

TEST(Utf8, CheckAndDescribe) {
  struct Case {
    std::string bytes;
    std::string description;  // empty: valid
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"plain ascii text, long enough for the fast path", ""},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", ""},
      {"0123456\xff", "invalid utf-8 sequence of 1 bytes from index 7"},
      {"ab\xc0\x80", "invalid utf-8 sequence of 1 bytes from index 2"},        // overlong
      {"\xe0\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"},      // overlong
      {"\xed\xa0\x80", "invalid utf-8 sequence of 1 bytes from index 0"},      // surrogate
      {"\xf4\x90\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"},  // > U+10FFFF
      {"\xe2\x82x", "invalid utf-8 sequence of 2 bytes from index 0"},
      {"\xf0\x9f\x98x", "invalid utf-8 sequence of 3 bytes from index 0"},
      {"x\xe2\x82", "incomplete utf-8 byte sequence from index 1"},
      {"xxxxxxxxxxxx\xf0", "incomplete utf-8 byte sequence from index 12"},
      {"\x80", "invalid utf-8 sequence of 1 bytes from index 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    const auto error = check_utf8(c.bytes);
    EXPECT_EQ(error ? describe(*error) : "", c.description);
  }
}

TEST(Utf8, LossyDecodingReplacesEachMaximalSubpart) {
  const std::string r = "\xef\xbf\xbd";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ok", "ok"},
      {"a\xffz", "a" + r + "z"},
      {"\xe2\x82x", r + "x"},       // one subpart of two bytes
      {"\xc0\xaf", r + r},          // two invalid bytes
      {"\xf0\x9f\x98", r},          // cut off at the end
      {"\xed\xa0\x80", r + r + r},  // surrogate: three subparts
      {"\xf0\x9f\x98\x80\xff", "\xf0\x9f\x98\x80" + r},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(testing::PrintToString(in));
    EXPECT_EQ(decode_lossy(in), out);
  }
}

TEST(Utf8, CutNeverSplitsACharacter) {
  const std::string text = "ab\xe2\x82\xac";  // "ab€"
  EXPECT_EQ(cut_utf8(text, 10), text);
  EXPECT_EQ(cut_utf8(text, 5), text);
  EXPECT_EQ(cut_utf8(text, 4), "ab");
  EXPECT_EQ(cut_utf8(text, 3), "ab");
  EXPECT_EQ(cut_utf8(text, 2), "ab");
  EXPECT_EQ(cut_utf8(text, 0), "");
}

TEST(Text, TrimUnicodeWhiteSpace) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {" \t\r\n\v\f", ""},
      {"  x y  ", "x y"},
      {"\xc2\xa0x\xe3\x80\x80", "x"},      // U+00A0, U+3000
      {"\xe2\x80\xa8x\xe2\x80\x8a", "x"},  // U+2028, U+200A
      {"\xe2\x80\x8bx", "\xe2\x80\x8bx"},  // U+200B is not white space
      {"\xc2\x85x\xe1\x9a\x80", "x"},      // U+0085, U+1680
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(testing::PrintToString(in));
    EXPECT_EQ(trim(in), out);
  }
}

TEST(Text, SplitLines) {
  using Lines = std::vector<std::string_view>;
  EXPECT_EQ(split_lines(""), Lines{});
  EXPECT_EQ(split_lines("a"), Lines{"a"});
  EXPECT_EQ(split_lines("a\n"), Lines{"a"});
  EXPECT_EQ(split_lines("a\r\nb\r\n\nc"), (Lines{"a", "b", "", "c"}));
  EXPECT_EQ(split_lines("a\rb\n"), Lines{"a\rb"});
  EXPECT_EQ(split_lines("\n\n"), (Lines{"", ""}));
}

TEST(Text, SplitWhitespace) {
  using Fields = std::vector<std::string_view>;
  EXPECT_EQ(split_whitespace("  0 \t 0\xc2\xa0"
                             "4294967295 "),
            (Fields{"0", "0", "4294967295"}));
  EXPECT_EQ(split_whitespace(" \t "), Fields{});
}

TEST(Text, ParseDecimal) {
  using enum DecimalFault;
  EXPECT_EQ(parse_decimal<std::uint32_t>("4294967295"), 4294967295u);
  EXPECT_EQ(parse_decimal<std::uint32_t>("+0"), 0u);
  EXPECT_EQ(parse_decimal<std::uint32_t>("4294967296"), std::unexpected(out_of_range));
  EXPECT_EQ(parse_decimal<std::uint32_t>("-1"), std::unexpected(invalid_digit));
  EXPECT_EQ(parse_decimal<std::int32_t>("-2147483648"), -2147483648);
  EXPECT_EQ(parse_decimal<std::int32_t>("2147483648"), std::unexpected(out_of_range));
  EXPECT_EQ(parse_decimal<std::int64_t>("+-1"), std::unexpected(invalid_digit));
  for (const char* empty : {"", "+"}) {
    EXPECT_EQ(parse_decimal<std::uint64_t>(empty), std::unexpected(DecimalFault::empty));
  }
  for (const char* bad : {" 1", "1 ", "0x10", "1e3", "1.0", "١"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(parse_decimal<std::int64_t>(bad), std::unexpected(invalid_digit));
    EXPECT_EQ(parse_decimal<std::uint64_t>(bad), std::unexpected(invalid_digit));
  }
}

}  // namespace
}  // namespace vt::base
