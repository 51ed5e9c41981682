#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "base/case.h"
#include "base/text.h"
#include "base/utf8.h"
#include "core/tsltop.h"

namespace vt::core {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool is_ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// inf, infinity and nan in any case.
std::optional<double> parse_word(std::string_view text) {
  const std::string word = base::lower_for_compare(text);
  if (word == "inf" || word == "infinity") return std::numeric_limits<double>::infinity();
  if (word == "nan") return std::numeric_limits<double>::quiet_NaN();
  return std::nullopt;
}

// Digits with an optional fraction and exponent, no sign.
std::optional<double> parse_unsigned_number(std::string_view text) {
  if (!is_digit(text.front()) && text.front() != '.') return std::nullopt;
  const char* const end = text.data() + text.size();
  double value = 0.0;
  const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (stop != end) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    // The text is a well-formed number too large or too small for a double;
    // strtod rounds it to infinity or zero.
    const std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
  }
  if (error != std::errc{}) return std::nullopt;
  return value;
}

// A field's first part and, when it has a "/", the part after it up to the
// next "/".
struct SlashParts {
  std::string_view first;
  std::optional<std::string_view> second;
};

SlashParts split_at_slash(std::string_view field) {
  const std::size_t slash = field.find('/');
  if (slash == std::string_view::npos) return {field, std::nullopt};
  const std::string_view rest = field.substr(slash + 1);
  return {field.substr(0, slash), rest.substr(0, rest.find('/'))};
}

// "used/limit"-style CPU field: the first figure when above 0, else the second.
double cpu_figure(std::string_view field) {
  const SlashParts parts = split_at_slash(field);
  const double first = parse_float(parts.first).value_or(0.0);
  if (first > 0.0) return first;
  return parts.second ? parse_float(*parts.second).value_or(0.0) : 0.0;
}

// A read or write field: sizes with units, the first when above 0.
double size_figure(std::string_view field) {
  const SlashParts parts = split_at_slash(field);
  const double first = parse_size_value(parts.first);
  if (first > 0.0) return first;
  return parse_size_value(parts.second.value_or("0"));
}

}  // namespace

std::optional<double> parse_float(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  const auto value = is_ascii_letter(text.front()) ? parse_word(text) : parse_unsigned_number(text);
  if (!value) return std::nullopt;
  return negative ? -*value : *value;
}

double parse_size_value(std::string_view text) {
  if (const auto value = parse_float(text)) return *value;
  if (text.empty()) return 0.0;
  // A unit that is not one ASCII byte is no known unit, so looking at the
  // last byte only gives the same result as looking at the last character.
  const char unit = text.back();
  const double number = parse_float(text.substr(0, text.size() - 1)).value_or(0.0);
  switch (unit) {
    case 'K':
    case 'k':
      return number * 1024.0;
    case 'M':
    case 'm':
      return number * 1048576.0;
    case 'G':
    case 'g':
      return number * 1073741824.0;
    default:
      return 0.0;
  }
}

RestrictionToken parse_restriction_token(std::string_view text) {
  if (text == "-") return {};
  RestrictionToken token;
  if (text.contains("cpu")) {
    token.cause = "cpu";
  } else if (text.contains("read")) {
    token.cause = "read";
  } else if (text.contains("write")) {
    token.cause = "write";
  } else {
    token.cause = "unknown";
  }
  const std::size_t slash = text.rfind('/');
  const std::string_view time = slash == std::string_view::npos ? text : text.substr(slash + 1);
  token.time = base::parse_decimal<std::int64_t>(time).value_or(0);
  return token;
}

void merge_tsltop_output(DbTslStatsByName& stats, std::string_view output) {
  const std::string text = base::decode_lossy(output);
  const std::vector<std::string_view> lines = base::split_lines(text);
  // The first line is the tool's header.
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string_view> fields = base::split_whitespace(lines[i]);
    if (fields.size() < 5) continue;
    RestrictionToken restriction = parse_restriction_token(fields[4]);
    const DbTslStats figures{.cpu = cpu_figure(fields[1]),
                             .io = size_figure(fields[2]) + size_figure(fields[3]),
                             .cause_of_restrict = std::move(restriction.cause),
                             .time_of_restrict = restriction.time};
    DbTslStats& entry = stats[std::string(fields[0])];
    // The larger figures win and bring their restriction with them; NaN is
    // never larger.
    if (figures.cpu > entry.cpu || figures.io > entry.io) entry = figures;
  }
}

}  // namespace vt::core
