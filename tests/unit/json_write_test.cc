#include "base/json_write.h"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <string_view>

namespace vt::base {
namespace {

// A float as the writer writes it: the document of the number alone.
std::string format_double(double value) {
  std::string text = write_json(nlohmann::json(value));
  text.pop_back();  // the line feed that ends a document
  return text;
}

using Json = nlohmann::json;

struct LayoutCase {
  const char* name;
  Json value;
  std::string expected;
};
void PrintTo(const LayoutCase& c, std::ostream* os) {
  *os << c.name;
}

class WriteJsonLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(WriteJsonLayout, WritesExpectedText) {
  EXPECT_EQ(write_json(GetParam().value), GetParam().expected);
}

Json object_in_reverse_order() {
  // Members added against their byte order; the writer must still put them
  // in ascending byte order: "" < "B" < "a" < "aa" < "b" < "z" < "é" (0xC3).
  Json object = Json::object();
  for (const char* key : {"\xc3\xa9", "z", "b", "aa", "a", "B", ""}) object[key] = key;
  return object;
}

Json nested() {
  Json inner = Json::object();
  inner["list"] = Json::array({1, Json::array(), Json::object(), "x"});
  inner["flag"] = false;
  Json outer = Json::object();
  outer["inner"] = inner;
  outer["n"] = nullptr;
  return outer;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, WriteJsonLayout,
    ::testing::Values(
        LayoutCase{"Null", Json(nullptr), "null\n"}, LayoutCase{"True", Json(true), "true\n"},
        LayoutCase{"False", Json(false), "false\n"},
        LayoutCase{"NegativeInteger", Json(std::int64_t{-42}), "-42\n"},
        LayoutCase{"Int64Min", Json(std::numeric_limits<std::int64_t>::min()),
                   "-9223372036854775808\n"},
        LayoutCase{"Uint64Max", Json(std::numeric_limits<std::uint64_t>::max()),
                   "18446744073709551615\n"},
        LayoutCase{"UnsignedZero", Json(std::uint32_t{0}), "0\n"},
        LayoutCase{"WholeFloat", Json(3.0), "3.0\n"},
        LayoutCase{"NanInDocument", Json(std::nan("")), "null\n"},
        LayoutCase{"EmptyObject", Json::object(), "{}\n"},
        LayoutCase{"EmptyArray", Json::array(), "[]\n"},
        LayoutCase{"EmptyString", Json(""), "\"\"\n"},
        LayoutCase{"FlatArray", Json::array({1, 2.5, "a", nullptr}),
                   "[\n  1,\n  2.5,\n  \"a\",\n  null\n]\n"},
        LayoutCase{"FloatsInArray",
                   Json::array({0.0, 1e300, std::numeric_limits<double>::infinity(), -0.5}),
                   "[\n  0.0,\n  1e300,\n  null,\n  -0.5\n]\n"},
        LayoutCase{"KeyByteOrder", object_in_reverse_order(),
                   "{\n  \"\": \"\",\n  \"B\": \"B\",\n  \"a\": \"a\",\n  \"aa\": \"aa\",\n"
                   "  \"b\": \"b\",\n  \"z\": \"z\",\n  \"\xc3\xa9\": \"\xc3\xa9\"\n}\n"},
        LayoutCase{"Nested", nested(),
                   "{\n"
                   "  \"inner\": {\n"
                   "    \"flag\": false,\n"
                   "    \"list\": [\n"
                   "      1,\n"
                   "      [],\n"
                   "      {},\n"
                   "      \"x\"\n"
                   "    ]\n"
                   "  },\n"
                   "  \"n\": null\n"
                   "}\n"},
        LayoutCase{"EscapedKey", Json::object({{"a\"b\n", 1}}), "{\n  \"a\\\"b\\n\": 1\n}\n"},
        LayoutCase{"ArrayOfArrays", Json::array({Json::array({Json::array({true})})}),
                   "[\n  [\n    [\n      true\n    ]\n  ]\n]\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct EscapeCase {
  const char* name;
  std::string text;
  std::string expected;  // the JSON string, quotes included
};
void PrintTo(const EscapeCase& c, std::ostream* os) {
  *os << c.name;
}

class WriteJsonEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(WriteJsonEscapes, EscapesString) {
  EXPECT_EQ(write_json(Json(GetParam().text)), GetParam().expected + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Strings, WriteJsonEscapes,
    ::testing::Values(EscapeCase{"Plain", "hello world", "\"hello world\""},
                      EscapeCase{"Quote", "say \"hi\"", "\"say \\\"hi\\\"\""},
                      EscapeCase{"Backslash", "a\\b", "\"a\\\\b\""},
                      EscapeCase{"Backspace", "\b", "\"\\b\""},
                      EscapeCase{"FormFeed", "\f", "\"\\f\""},
                      EscapeCase{"LineFeed", "a\nb", "\"a\\nb\""},
                      EscapeCase{"CarriageReturn", "\r\n", "\"\\r\\n\""},
                      EscapeCase{"Tab", "\tx\t", "\"\\tx\\t\""},
                      EscapeCase{"Nul", std::string("a\0b", 3), "\"a\\u0000b\""},
                      EscapeCase{"Control01", "\x01", "\"\\u0001\""},
                      EscapeCase{"Control1B", "\x1b[0m", "\"\\u001b[0m\""},
                      EscapeCase{"Control1F", "\x1f", "\"\\u001f\""},
                      EscapeCase{"VerticalTab", "\v", "\"\\u000b\""},
                      EscapeCase{"DeleteUnchanged", "\x7f", "\"\x7f\""},
                      EscapeCase{"SlashUnchanged", "/var/www", "\"/var/www\""},
                      EscapeCase{"TwoByteUtf8", "caf\xc3\xa9", "\"caf\xc3\xa9\""},
                      EscapeCase{"ThreeByteUtf8", "\xe2\x82\xac", "\"\xe2\x82\xac\""},
                      EscapeCase{"FourByteUtf8", "\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
                      EscapeCase{"LineSeparatorUnchanged", "\xe2\x80\xa8", "\"\xe2\x80\xa8\""},
                      EscapeCase{"MixedRuns", "x\"y\\z\n\x02w", "\"x\\\"y\\\\z\\n\\u0002w\""}),
    [](const auto& info) { return std::string(info.param.name); });

struct FloatCase {
  const char* name;
  double value;
  const char* expected;
};
void PrintTo(const FloatCase& c, std::ostream* os) {
  *os << c.name;
}

class FormatDouble : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FormatDouble, WritesShortestText) {
  EXPECT_EQ(format_double(GetParam().value), GetParam().expected);
  // The same text appears inside a document.
  EXPECT_EQ(write_json(Json(GetParam().value)), std::string(GetParam().expected) + "\n");
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Values, FormatDouble,
    ::testing::Values(
        FloatCase{"Zero", 0.0, "0.0"}, FloatCase{"NegativeZero", -0.0, "-0.0"},
        FloatCase{"One", 1.0, "1.0"}, FloatCase{"TwoAndAHalf", 2.5, "2.5"},
        FloatCase{"NegativeOneAndAHalf", -1.5, "-1.5"}, FloatCase{"Ten", 10.0, "10.0"},
        FloatCase{"HundredThousand", 100000.0, "100000.0"}, FloatCase{"OneTenth", 0.1, "0.1"},
        FloatCase{"SumOfTenths", 0.1 + 0.2, "0.30000000000000004"},
        FloatCase{"Third", 1.0 / 3.0, "0.3333333333333333"},
        FloatCase{"Fraction", 1234.5678, "1234.5678"},
        FloatCase{"SmallestPlain", 0.00001, "0.00001"},
        FloatCase{"SmallPlainDigits", 0.000012345, "0.000012345"},
        FloatCase{"BelowPlain", 9.999999999999999e-6, "9.999999999999999e-6"},
        FloatCase{"TenMillionth", 1e-7, "1e-7"}, FloatCase{"SmallFraction", 1.5e-7, "1.5e-7"},
        FloatCase{"Whole15Digits", 123456789012345.0, "123456789012345.0"},
        FloatCase{"E15", 1e15, "1000000000000000.0"},
        FloatCase{"LargestPlain", 9999999999999998.0, "9999999999999998.0"},
        FloatCase{"TwoToThe53", 9007199254740992.0, "9007199254740992.0"},
        FloatCase{"E16", 1e16, "1e16"}, FloatCase{"AboveE16", 1.7e16, "1.7e16"},
        FloatCase{"E19Digits", 12345678901234567890.0, "1.2345678901234567e19"},
        FloatCase{"Huge", -2.25e300, "-2.25e300"},
        FloatCase{"Max", std::numeric_limits<double>::max(), "1.7976931348623157e308"},
        FloatCase{"MinNormal", std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
        FloatCase{"Denormal", std::numeric_limits<double>::denorm_min(), "5e-324"},
        FloatCase{"NegativeDenormal", -std::numeric_limits<double>::denorm_min(), "-5e-324"},
        FloatCase{"Timestamp", 1700000000.0, "1700000000.0"},
        FloatCase{"TimestampFraction", 1700000000.25, "1700000000.25"},
        FloatCase{"Infinity", kInf, "null"}, FloatCase{"NegativeInfinity", -kInf, "null"},
        FloatCase{"NaN", std::numeric_limits<double>::quiet_NaN(), "null"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Randomised round trip ---------------------------------------------------

// True when `text` is a JSON number in one of the two forms the writer uses:
// plain "-?D+.D+" or exponent "-?D(.D*[1-9])?e-?[1-9]D*", no leading zeros
// in the integer part or the exponent, no "+".
::testing::AssertionResult well_formed(std::string_view text) {
  auto fail = [&](const char* why) {
    return ::testing::AssertionFailure() << "\"" << text << "\": " << why;
  };
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  const std::size_t int_start = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  const std::size_t int_digits = i - int_start;
  if (int_digits == 0) return fail("no integer digits");
  if (int_digits > 1 && text[int_start] == '0') return fail("leading zero");
  std::size_t frac_digits = 0;
  char last_frac = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    const std::size_t frac_start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    frac_digits = i - frac_start;
    if (frac_digits == 0) return fail("point without digits");
    last_frac = text[i - 1];
  }
  if (i == text.size()) {
    if (frac_digits == 0) return fail("plain form without a fraction");
    return ::testing::AssertionSuccess();
  }
  if (text[i] != 'e') return fail("unexpected character");
  if (int_digits != 1) return fail("mantissa with more than one integer digit");
  if (frac_digits != 0 && last_frac == '0') return fail("mantissa ends in zero");
  ++i;
  if (i < text.size() && text[i] == '-') ++i;
  const std::size_t exp_start = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i != text.size()) return fail("unexpected character in exponent");
  if (i == exp_start) return fail("no exponent digits");
  if (text[exp_start] == '0') return fail("leading zero in exponent");
  return ::testing::AssertionSuccess();
}

// Significant digits of a decimal text: the mantissa's digits without
// leading and trailing zeros.
int significant_digits(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c == 'e' || c == 'E') break;
    if (c >= '0' && c <= '9') digits += c;
  }
  const auto first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  const auto last = digits.find_last_not_of('0');
  return static_cast<int>(last - first + 1);
}

void check_round_trip(double value) {
  const std::string text = format_double(value);
  ASSERT_TRUE(well_formed(text));

  double back = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
  ASSERT_EQ(ec, std::errc()) << text;
  ASSERT_EQ(end, text.data() + text.size()) << text;
  ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(value))
      << text << " does not read back to " << std::hexfloat << value;

  char shortest[64];
  const auto [shortest_end, shortest_ec] =
      std::to_chars(shortest, shortest + sizeof shortest, value);
  ASSERT_EQ(shortest_ec, std::errc());
  ASSERT_LE(significant_digits(text),
            significant_digits(std::string_view(shortest, shortest_end - shortest)))
      << text << " vs " << std::string_view(shortest, shortest_end - shortest);

  const double magnitude = std::fabs(value);
  const bool plain = magnitude == 0.0 || (magnitude >= 1e-5 && magnitude < 1e16);
  ASSERT_EQ(text.find('e') == std::string::npos, plain) << text;
}

TEST(FormatDoubleRandom, RandomBitPatternsRoundTrip) {
  std::mt19937_64 random(20240611);
  int checked = 0;
  while (checked < 100000) {
    const double value = std::bit_cast<double>(random());
    if (!std::isfinite(value)) {
      ASSERT_EQ(format_double(value), "null");
      continue;
    }
    check_round_trip(value);
    if (::testing::Test::HasFatalFailure()) return;
    ++checked;
  }
}

TEST(FormatDoubleRandom, RandomDecimalValuesRoundTrip) {
  // Values people write: up to 17 significant digits scaled by a power of
  // ten around both ends of the plain range.
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> digit_count(1, 17);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::bernoulli_distribution negative(0.5);
  for (int n = 0; n < 100000; ++n) {
    std::string text = negative(random) ? "-" : "";
    const int count = digit_count(random);
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + digit(random));
    text += 'e';
    text += std::to_string(exponent(random));
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    ASSERT_EQ(ec, std::errc()) << text;
    check_round_trip(value);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(FormatDoubleRandom, NeighboursOfPlainRangeEdgesRoundTrip) {
  for (double edge : {1e-5, 1e16, 1e15, 1e-4, 1.0, 0.5}) {
    double below = edge;
    double above = edge;
    for (int i = 0; i < 50; ++i) {
      below = std::nextafter(below, 0.0);
      above = std::nextafter(above, kInf);
      check_round_trip(below);
      check_round_trip(above);
      check_round_trip(-below);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace vt::base
