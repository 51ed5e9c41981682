#include "base/json_decode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/json_write.h"
#include "base/utf8.h"
#include "tests/unit/json_bits.h"

namespace vt::base::json {
namespace {

using namespace std::string_literals;

// A table row: the text, and either the value it decodes to or the message.
template <class T>
struct Case {
  std::string text;
  std::optional<T> value;
  std::string error;
};

// The quick pass takes a text that decodes, with the careful reader's value
// down to the last bit, and declines one that fails.
template <class T>
void expect_quick_pass(const std::string& text, const RecordInfo* table, bool decodes) {
  T quick{};
  const bool taken = detail::decode_fast(text, {&detail::Codec<T>::info, table, &quick});
  EXPECT_EQ(taken, decodes);
  if (!taken || !decodes) return;
  T careful{};
  ASSERT_TRUE(detail::decode_into(text, {&detail::Codec<T>::info, table, &careful}));
  EXPECT_EQ(json_bits::bits(quick), json_bits::bits(careful));
}

// A record of one field, for a scalar root.
template <class T>
struct Only {
  T value{};
};

template <class T>
void add(std::string& out, const Only<T>& v) {
  json_bits::add_all(out, v.value);
}

template <class T>
constexpr auto kOnly = record<Only<T>>("Only", Form::object_or_array,
                                       field<&Only<T>::value>("value", Presence::required));

// The quick pass never takes a scalar root: it reads a scalar as a field.
template <class T>
void expect_quick_pass_root(const std::string& text, const RecordInfo* table, bool decodes) {
  const std::size_t root = text.find_first_not_of(" \t\n\r");
  if (root == std::string::npos || text[root] == '{' || text[root] == '[') {
    expect_quick_pass<T>(text, table, decodes);
  } else if constexpr (std::is_void_v<detail::RecordIn_t<T>>) {
    expect_quick_pass<Only<T>>('[' + text + ']', &kOnly<T>, decodes);
  } else {
    EXPECT_FALSE(decodes) << "a scalar root of records";
  }
}

template <class T, class... Table>
void check(const std::vector<Case<T>>& cases, const Table&... table) {
  const RecordInfo* record = nullptr;
  ((record = &table), ...);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const auto got = decode_json<T>(c.text, table...);
    if (c.value) {
      ASSERT_TRUE(got.has_value()) << got.error();
      EXPECT_EQ(*got, *c.value);
    } else {
      ASSERT_FALSE(got.has_value());
      EXPECT_EQ(got.error(), c.error);
    }
    expect_quick_pass_root<T>(c.text, record, c.value.has_value());
  }
}

// Records used only here.
struct Point {
  double x = 0.0;
  double y = 0.0;
  bool operator==(const Point&) const = default;
};

struct Tag {
  std::string text = "plain";
  bool operator==(const Tag&) const = default;
};

struct Shape {
  std::uint32_t id = 0;
  std::string name = "unnamed";
  std::optional<Point> center;
  std::vector<Point> points;
  Point corner;
  bool closed = false;
  Tag tag;
  bool operator==(const Shape&) const = default;
};

struct Single {
  double v = 0.0;
  bool operator==(const Single&) const = default;
};

struct Loose {
  double x = 0.0;
  std::string label = "none";
  nlohmann::json extra = 0.0;
  bool operator==(const Loose&) const = default;
};

void add(std::string& out, const Point& v) {
  json_bits::add_all(out, v.x, v.y);
}

void add(std::string& out, const Tag& v) {
  json_bits::add_all(out, v.text);
}

void add(std::string& out, const Shape& v) {
  json_bits::add_all(out, v.id, v.name, v.center, v.points, v.corner, v.closed, v.tag);
}

void add(std::string& out, const Single& v) {
  json_bits::add_all(out, v.v);
}

void add(std::string& out, const Loose& v) {
  json_bits::add_all(out, v.x, v.label, v.extra);
}

Shape shape(std::uint32_t id) {
  Shape result;
  result.id = id;
  return result;
}

using enum Presence;

constexpr auto kPoint =
    record<Point>("Point", Form::object_or_array, field<&Point::x>("x", required),
                  field<&Point::y>("y", required));
constexpr auto kCorner = renamed(kPoint, "Corner");
constexpr auto kTag = record<Tag>("Tag", Form::object, field<&Tag::text>("text", defaulted));
constexpr auto kShape = record<Shape>(
    "Shape", Form::object_or_array, field<&Shape::id>("id", required),
    field<&Shape::name>("name", defaulted), field<&Shape::center>("center", optional, kPoint),
    field<&Shape::points>("points", defaulted, kPoint),
    field<&Shape::corner>("corner", defaulted, kCorner), field<&Shape::closed>("closed", defaulted),
    field<&Shape::tag>("tag", defaulted, kTag));
constexpr auto kSingle =
    record<Single>("Single", Form::object_or_array, field<&Single::v>("v", required));
constexpr auto kLoose = record<Loose>(
    "Loose", Form::object_or_array, field<&Loose::x>("x", defaulted),
    field<&Loose::label>("label", defaulted), field<&Loose::extra>("extra", defaulted));

TEST(JsonDecode, Floats) {
  check<double>({
      {"5", 5.0, ""},
      {"5.0", 5.0, ""},
      {" -0.25 ", -0.25, ""},
      {"1e3", 1000.0, ""},
      {"18446744073709551616", 18446744073709551616.0, ""},
      {"-9223372036854775808", -9223372036854775808.0, ""},
      {"\"5\"", {}, "invalid type: string \"5\", expected a float at line 1 column 3"},
      {"null", {}, "invalid type: null, expected a float at line 1 column 4"},
      {"true", {}, "invalid type: boolean true, expected a float at line 1 column 4"},
      {"[1]", {}, "invalid type: array, expected a float at line 1 column 1"},
      {" {}", {}, "invalid type: object, expected a float at line 1 column 2"},
      {"1e400", {}, "number overflow parsing '1e400' at line 1 column 5"},
      {"[1e400]", {}, "invalid type: array, expected a float at line 1 column 1"},
      {"\"" + std::string(70, 'a') + "\"",
       {},
       "invalid type: string \"" + std::string(64, 'a') +
           "\"..., expected a float at line 1 column 72"},
  });
}

TEST(JsonDecode, Integers) {
  check<std::uint32_t>({
      {"0", 0u, ""},
      {"4294967295", 4294967295u, ""},
      {"-0", 0u, ""},
      {"-1", {}, "invalid value: integer -1, expected u32 at line 1 column 2"},
      {"4294967296", {}, "invalid value: integer 4294967296, expected u32 at line 1 column 10"},
      {"99999999999999999999",
       {},
       "invalid value: integer 99999999999999999999, expected u32 at line 1 column 20"},
      {"1.0", {}, "invalid type: floating point 1.0, expected u32 at line 1 column 3"},
      {"1e2", {}, "invalid type: floating point 1e2, expected u32 at line 1 column 3"},
      {"\"7\"", {}, "invalid type: string \"7\", expected u32 at line 1 column 3"},
      {"\"a\\nb\"", {}, "invalid type: string \"a\\nb\", expected u32 at line 1 column 6"},
  });
  check<std::int64_t>({
      {"-9223372036854775808", INT64_MIN, ""},
      {"9223372036854775807", INT64_MAX, ""},
      {"-5", -5, ""},
      {"9223372036854775808",
       {},
       "invalid value: integer 9223372036854775808, expected i64 at line 1 column 19"},
      {"-9223372036854775809",
       {},
       "invalid value: integer -9223372036854775809, expected i64 at line 1 column 20"},
      {"1.5", {}, "invalid type: floating point 1.5, expected i64 at line 1 column 3"},
      {"-2E1", {}, "invalid type: floating point -2E1, expected i64 at line 1 column 4"},
  });
}

TEST(JsonDecode, StringsAndBooleans) {
  check<std::string>({
      {"\"a\\u00e9\\n\\\"\"", "a\xc3\xa9\n\"", ""},
      {"\"\"", "", ""},
      {"null", {}, "invalid type: null, expected a string at line 1 column 4"},
      {"5", {}, "invalid type: integer 5, expected a string at line 1 column 1"},
  });
  check<bool>({
      {"true", true, ""},
      {"false", false, ""},
      {"1", {}, "invalid type: integer 1, expected a boolean at line 1 column 1"},
      {"\"true\"", {}, "invalid type: string \"true\", expected a boolean at line 1 column 6"},
      {"null", {}, "invalid type: null, expected a boolean at line 1 column 4"},
  });
}

TEST(JsonDecode, ListsAndNullables) {
  check<std::vector<double>>({
      {"[]", std::vector<double>{}, ""},
      {"[1, 2.5 ,-3]", std::vector<double>{1.0, 2.5, -3.0}, ""},
      {"null", {}, "invalid type: null, expected a list at line 1 column 4"},
      {"{}", {}, "invalid type: object, expected a list at line 1 column 1"},
      {"[1,\"x\"]", {}, "invalid type: string \"x\", expected a float at line 1 column 6"},
  });
  check<std::optional<std::uint32_t>>({
      {"null", std::optional<std::uint32_t>{}, ""},
      {"7", std::optional<std::uint32_t>{7}, ""},
      {"\"7\"", {}, "invalid type: string \"7\", expected u32 or null at line 1 column 3"},
      {"-7", {}, "invalid value: integer -7, expected u32 or null at line 1 column 2"},
  });
  using Names = std::vector<std::optional<std::string>>;
  check<Names>({
      {"[\"a\",null,\"\"]", Names{"a", std::nullopt, ""}, ""},
      {"[\"a\",false]",
       {},
       "invalid type: boolean false, expected a string or null at line 1 column 10"},
  });
}

TEST(JsonDecode, MapsKeepTheLaterOfRepeatedKeys) {
  using Scores = std::map<std::string, double>;
  check<Scores>({
      {"{}", Scores{}, ""},
      {"{\"a\":1,\"b\":2.5,\"\\u0061\":3}", Scores{{"a", 3.0}, {"b", 2.5}}, ""},
      {"[]", {}, "invalid type: array, expected a map at line 1 column 1"},
      {"{\"a\":null}", {}, "invalid type: null, expected a float at line 1 column 9"},
  });
  using Lists = std::unordered_map<std::string, std::vector<std::uint32_t>>;
  check<Lists>({
      {"{\"x\":[1],\"y\":[],\"x\":[2,3]}", Lists{{"x", {2, 3}}, {"y", {}}}, ""},
  });
  // A repeated key starts from a fresh value, not from the earlier one.
  using Records = std::map<std::string, Loose>;
  check<Records>({{"{\"p\":{\"x\":1,\"label\":\"a\"},\"p\":{\"x\":2}}",
                   Records{{"p", Loose{.x = 2.0, .label = "none", .extra = 0.0}}}, ""}},
                 kLoose);
}

TEST(JsonDecode, AnyValueIsKeptAsWritten) {
  struct AnyCase {
    std::string text;
    std::string dump;  // empty: an error is expected, given in `error`
    std::string error;
  };
  const std::vector<AnyCase> cases = {
      {"5", "5", ""},
      {"-5", "-5", ""},
      {"5.0", "5.0", ""},
      {"18446744073709551615", "18446744073709551615", ""},
      {"null", "null", ""},
      {"\"s\"", "\"s\"", ""},
      {"[null,true,\"s\",[],{}]", "[null,true,\"s\",[],{}]", ""},
      {" {\"b\":1,\"a\":[{\"c\":[1.5]}]} ", "{\"a\":[{\"c\":[1.5]}],\"b\":1}", ""},
      {"{\"a\":1,\"a\":{\"x\":2}}", "{\"a\":{\"x\":2}}", ""},
      {"[{\"k\":[1,{\"k\":2,\"k\":3}]}]", "[{\"k\":[1,{\"k\":3}]}]", ""},
      {"[1e400]", "", "number overflow parsing '1e400' at line 1 column 6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto got = decode_json<nlohmann::json>(c.text);
    if (c.dump.empty()) {
      ASSERT_FALSE(got.has_value());
      EXPECT_EQ(got.error(), c.error);
    } else {
      ASSERT_TRUE(got.has_value()) << got.error();
      EXPECT_EQ(got->dump(), c.dump);
    }
    expect_quick_pass_root<nlohmann::json>(c.text, nullptr, !c.dump.empty());
  }
  // Integers beyond 64 bits keep their digits: a float would lose them.
  const auto big = decode_json<nlohmann::json>("[18446744073709551616,-18446744073709551617]");
  ASSERT_TRUE(big.has_value()) << big.error();
  EXPECT_EQ(write_json(*big), "[\n  18446744073709551616,\n  -18446744073709551617\n]\n");
  // Absent, an untyped member keeps its initial value, here the float 0.0;
  // null replaces it.
  const auto loose = decode_json<Loose>("{}", kLoose);
  ASSERT_TRUE(loose.has_value());
  EXPECT_EQ(loose->extra.dump(), "0.0");
  const auto null = decode_json<Loose>("{\"extra\":null}", kLoose);
  ASSERT_TRUE(null.has_value());
  EXPECT_EQ(null->extra.dump(), "null");
}

// The quick pass takes ordinary texts and leaves the rest to the careful
// reader, with the same values wherever it takes one (down to the sign of a
// zero); fuzz/json_fast_fuzz.cc checks the same on random texts.
TEST(JsonDecode, QuickPassAgreesWithTheCarefulReader) {
  const struct {
    std::string text;
    bool quick;
  } cases[] = {
      {R"({"x":1.5,"label":"a\"b","extra":[1,-2,0.5,{"k":null}]})", true},
      {R"([2.5,"l"])", true},
      {R"({"x":-0})", true},
      {R"({"x":-0.0,"extra":-0})", true},
      {R"({"x":0.00012345678901234567})", true},
      {R"({"x":0.99999999999999999999999})", false},  // the parser's conversion errs here
      {R"({"extra":18446744073709551616})", false},
      {R"({"\u0078":1})", false},
      {R"({"x":1,"x":2})", false},
      {R"({"x":1} x)", false},
      {"\xEF\xBB\xBF{}", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Loose quick;
    EXPECT_EQ(detail::decode_fast(c.text, {&detail::Codec<Loose>::info, &kLoose, &quick}), c.quick);
    if (!c.quick) continue;
    Loose careful;
    ASSERT_TRUE(detail::decode_into(c.text, {&detail::Codec<Loose>::info, &kLoose, &careful}));
    EXPECT_EQ(json_bits::bits(quick), json_bits::bits(careful));
  }
}

TEST(JsonDecode, RecordsFromObjects) {
  Shape full;
  full.id = 7;
  full.name = "n";
  full.points = {{1.0, 2.0}, {3.0, 4.0}};
  full.corner = {5.0, 6.0};
  full.closed = true;
  full.tag.text = "t";
  Shape centered;
  centered.id = 1;
  centered.center = Point{1.0, 2.0};
  check<Shape>(
      {
          {"{\"id\":1}", shape(1), ""},
          {"{\"closed\":true,\"points\":[{\"y\":2,\"x\":1},[3,4]],\"center\":null,\"name\":\"n\","
           "\"id\":7,\"corner\":[5,6],\"tag\":{\"text\":\"t\"}}",
           full, ""},
          {"{\"center\":{\"x\":1,\"y\":2},\"id\":1}", centered, ""},
          // Unknown keys are skipped whatever their values, at every level.
          {"{\"skip\":[{\"a\":[null,{\"b\":[[]]}]},null,\"s\",-1.5e3,true,false],\"id\":2,"
           "\"more\":{\"id\":\"x\",\"k\":{}},\"tag\":{\"id\":[{}],\"t\":null}}",
           shape(2), ""},
          {"{\"u\":1,\"u\":2,\"id\":3}", shape(3), ""},
          {"{\"id\":1,\"id\":2}", {}, "duplicate field \"id\" in Shape at line 1 column 12"},
          {"{\n  \"id\": 1,\n  \"id\": 2\n}",
           {},
           "duplicate field \"id\" in Shape at line 3 column 6"},
          {"{}", {}, "missing field \"id\" in Shape at line 1 column 2"},
          {"{\"id\":1,\"center\":{\"x\":1}}",
           {},
           "missing field \"y\" in Point at line 1 column 24"},
          {"{\"id\":1,\"corner\":{}}", {}, "missing field \"x\" in Corner at line 1 column 19"},
          {"{\"id\":1,\"corner\":{\"y\":1,\"x\":2,\"y\":3}}",
           {},
           "duplicate field \"y\" in Corner at line 1 column 33"},
          {"{\"id\":1,\"points\":[{\"x\":1,\"y\":2},{\"x\":1}]}",
           {},
           "missing field \"y\" in Point at line 1 column 39"},
          {"{\"id\":1,\"name\":null}",
           {},
           "invalid type: null, expected a string at line 1 column 19"},
          {"{\"id\":1,\"center\":5}",
           {},
           "invalid type: integer 5, expected Point or null at line 1 column 18"},
          {"{\"id\":1,\"tag\":[\"t\"]}",
           {},
           "invalid type: array, expected Tag at line 1 column 15"},
          {"{\"id\":1,\"points\":{}}",
           {},
           "invalid type: object, expected a list at line 1 column 18"},
          {"{\"id\":\"1\"}", {}, "invalid type: string \"1\", expected u32 at line 1 column 9"},
          {"5", {}, "invalid type: integer 5, expected Shape at line 1 column 1"},
      },
      kShape);
}

TEST(JsonDecode, RecordsFromArrays) {
  Shape named;
  named.id = 1;
  named.name = "n";
  Shape full;
  full.id = 1;
  full.name = "n";
  full.center = Point{1.0, 2.0};
  full.points = {{3.0, 4.0}, {5.0, 6.0}};
  full.corner = {7.0, 8.0};
  full.closed = true;
  full.tag.text = "t";
  check<Shape>(
      {
          {"[1,\"n\",null]", named, ""},
          {"[1,\"n\",[1,2],[[3,4],{\"x\":5,\"y\":6}],[7,8],true,{\"text\":\"t\"}]", full, ""},
          // "center" has no default in an array, even though it may be absent from an object.
          {"[1,\"n\"]", {}, "invalid length 2, expected Shape with 7 fields at line 1 column 7"},
          {"[]", {}, "invalid length 0, expected Shape with 7 fields at line 1 column 2"},
          {"[1,\"n\",null,[],[0,0],false,{\"text\":\"\"},8]",
           {},
           "invalid length 8, expected Shape with 7 fields at line 1 column 41"},
          {"[1,\"n\",null,[],[0,0],false,{\"text\":\"\"},{\"a\":[1]},[2]]",
           {},
           "invalid length 9, expected Shape with 7 fields at line 1 column 53"},
          {"[1,\"n\",null,[],[0]]",
           {},
           "invalid length 1, expected Corner with 2 fields at line 1 column 18"},
          {"[1,\"n\",null,[],[0,0],false,[\"t\"]]",
           {},
           "invalid type: array, expected Tag at line 1 column 28"},
          {"[true]", {}, "invalid type: boolean true, expected u32 at line 1 column 5"},
      },
      kShape);
  check<Single>(
      {
          {"[2]", Single{2.0}, ""},
          {"[]", {}, "invalid length 0, expected Single with 1 field at line 1 column 2"},
      },
      kSingle);
  // Every field has a default: any prefix will do.
  check<Loose>(
      {
          {"[]", Loose{}, ""},
          {"[1]", Loose{.x = 1.0, .label = "none", .extra = 0.0}, ""},
          {"[1,\"l\",[]]", Loose{.x = 1.0, .label = "l", .extra = nlohmann::json::array()}, ""},
          {"[1,\"l\",[],4]",
           {},
           "invalid length 4, expected Loose with 3 fields at line 1 column 12"},
      },
      kLoose);
  // Lists and maps of records, at the top.
  check<std::vector<Point>>(
      {{"[[1,2],{\"x\":3,\"y\":4}]", std::vector<Point>{{1.0, 2.0}, {3.0, 4.0}}, ""}}, kPoint);
  using Points = std::unordered_map<std::string, Point>;
  check<Points>({{"{\"a\":[1,2]}", Points{{"a", {1.0, 2.0}}}, ""}}, kPoint);
}

TEST(JsonDecode, TextAroundTheValue) {
  check<Shape>(
      {
          {" \n{\"id\":1}\r\n\t ", shape(1), ""},
          {"\xEF\xBB\xBF{\"id\":1}", {}, "unexpected byte order mark at line 1 column 1"},
          // A fault found at a line feed is placed on the line it ends.
          {"{\"id\":1.\n}",
           {},
           "syntax error while parsing value - invalid number; expected digit after '.'; last "
           "read: '1.<U+000A>' at line 1 column 9"},
          {"",
           {},
           "syntax error while parsing value - unexpected end of input; expected '[', '{', or a "
           "literal at line 1 column 0"},
          {"   ",
           {},
           "syntax error while parsing value - unexpected end of input; expected '[', '{', or a "
           "literal at line 1 column 3"},
          {"{\"id\":1} x", {}, "trailing characters at line 1 column 10"},
          {"{\"id\":1}{}", {}, "trailing characters at line 1 column 9"},
          {"{\"id\":1}\n\n  ]", {}, "trailing characters at line 3 column 3"},
          {"{\"id\":1,}",
           {},
           "syntax error while parsing object key - unexpected '}'; expected string literal at "
           "line 1 column 9"},
          {"{\"id\":1",
           {},
           "syntax error while parsing object - unexpected end of input; expected '}' at line 1 "
           "column 7"},
          // A NUL byte is never taken for the end of the text.
          {"{\"id\":1}\0"s, {}, "trailing characters at line 1 column 9"},
          {"{\"id\":1}\n\0 "s, {}, "trailing characters at line 2 column 1"},
          {"{\"id\":\0 1}"s, {}, "unexpected NUL byte at line 1 column 7"},
          {"{\"id\":1,\"name\":\"a\0b\"}"s, {}, "unexpected NUL byte at line 1 column 18"},
          {"\0"s, {}, "unexpected NUL byte at line 1 column 1"},
      },
      kShape);
  // The parser reads one byte past a number at the top.
  check<double>({
      {"5", 5.0, ""},
      {"5 ", 5.0, ""},
      {"5x", {}, "trailing characters at line 1 column 2"},
      {"5\0"s, {}, "trailing characters at line 1 column 2"},
      {"00", {}, "trailing characters at line 1 column 2"},
      {"1e400\0"s, {}, "number overflow parsing '1e400' at line 1 column 5"},
      {"\xEF\xBB\xBF-5", {}, "unexpected byte order mark at line 1 column 1"},
  });
  check<std::vector<double>>({
      {"[5]x", {}, "trailing characters at line 1 column 4"},
      // An unexpected number is placed at its last byte, like any other token.
      {"[1 23]",
       {},
       "syntax error while parsing array - unexpected number literal; expected ']' at line 1 "
       "column 5"},
  });
}

TEST(JsonDecode, NestingHasALimit) {
  // Arrays in objects in arrays...
  const auto nested = [](std::size_t depth) {
    std::string open;
    std::string close;
    for (std::size_t level = 1; level <= depth; ++level) {
      open += level % 2 == 1 ? "[" : level < depth ? "{\"k\":" : "{";
      close.insert(0, level % 2 == 1 ? "]" : "}");
    }
    return open + close;
  };
  EXPECT_TRUE(decode_json<nlohmann::json>(nested(128)).has_value());
  check<nlohmann::json>({{nested(129), {}, "nesting deeper than 128 levels at line 1 column 385"}});
  // Skipped values count as well: the record is the first level.
  check<Shape>({{"{\"id\":1,\"x\":" + nested(128) + "}",
                 {},
                 "nesting deeper than 128 levels at line 1 column 392"}},
               kShape);
}

TEST(JsonDecode, SyntaxErrorsStayValidText) {
  const auto got = decode_json<Shape>("{\"name\":\"\xff\"}", kShape);
  ASSERT_FALSE(got.has_value());
  EXPECT_TRUE(is_utf8(got.error())) << got.error();
  EXPECT_NE(got.error().find("ill-formed UTF-8 byte"), std::string::npos) << got.error();
  EXPECT_TRUE(got.error().ends_with(" at line 1 column 10")) << got.error();
}

// Keeps the shapes with an even id, and counts the shapes it is shown.
struct EvenIds {
  int shown = 0;
  bool operator()(Shape& s) {
    ++shown;
    return s.id % 2 == 0;
  }
};

template <class Shapes>
struct Drawing {
  Shapes shapes;
  nlohmann::json note = nullptr;
};

template <class Shapes>
constexpr auto kDrawing = record<Drawing<Shapes>>(
    "Drawing", Form::object, field<&Drawing<Shapes>::shapes>("shapes", defaulted, kShape),
    field<&Drawing<Shapes>::note>("note", defaulted));

TEST(JsonDecode, SievedListsKeepWhatTheSievePasses) {
  using Sieved = Drawing<SievedList<Shape, EvenIds>>;
  using Plain = Drawing<std::vector<Shape>>;
  const std::vector<std::string> texts = {
      R"({"shapes":[{"id":1},{"id":3,"points":[[1,2]]},[4,"four",null],{"id":2}]})",
      R"({"shapes":[]})",
      R"({"note":1})",
      // The quick pass gives up on the long integer after the sieve has
      // seen both shapes; the careful reader starts it afresh.
      R"({"shapes":[{"id":3},{"id":2}],"note":123456789012345678901234567890})",
      R"({"shapes":[{"id":2},{"id":"x"}]})",
      R"({"shapes":[{"id":2}],"shapes":[]})",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const auto plain = decode_json<Plain>(text, kDrawing<std::vector<Shape>>);
    const auto sieved = decode_json<Sieved>(text, kDrawing<SievedList<Shape, EvenIds>>, Sieved{});
    ASSERT_EQ(sieved.has_value(), plain.has_value());
    if (!plain) {
      EXPECT_EQ(sieved.error(), plain.error());
      continue;
    }
    std::vector<Shape> even;
    for (const Shape& shape : plain->shapes) {
      if (shape.id % 2 == 0) even.push_back(shape);
    }
    EXPECT_EQ(sieved->shapes.kept, even);
    EXPECT_EQ(sieved->shapes.sieve.shown, static_cast<int>(plain->shapes.size()));
    EXPECT_EQ(sieved->note, plain->note);
  }
}

}  // namespace
}  // namespace vt::base::json
