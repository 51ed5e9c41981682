#include "base/json_write.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <system_error>
#include <type_traits>

#include "base/json_record.h"

namespace vt::base {
namespace {

using Json = nlohmann::json;

// Plain notation covers the decimal exponents kMinPlainExponent..kMaxPlainExponent,
// that is 1e-5 <= |x| < 1e16; everything outside is written with an exponent.
constexpr int kMinPlainExponent = -5;
constexpr int kMaxPlainExponent = 15;

// Room for the longest text format_into produces: a sign, "0.0000" and 17
// digits in plain notation, or a sign, 17 digits, a point and "e-324".
constexpr std::size_t kDoubleBufferSize = 32;

// Object members must come out in ascending byte order of their keys. The
// generic value keeps its members in a map ordered by std::less on
// std::string, whose comparison is an unsigned byte-wise memcmp; the static
// check keeps that assumption from changing silently.
static_assert(std::is_same_v<Json::object_comparator_t, std::less<>> ||
                  std::is_same_v<Json::object_comparator_t, std::less<std::string>>,
              "object members must be kept in byte order of their keys");

void append_integer(std::string& out, auto value) {
  std::array<char, 24> buffer;
  auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  (void)ec;  // 24 characters hold every 64-bit integer
  out.append(buffer.data(), end);
}

// Writes the shortest round-trip text of a finite `value` into `buffer` and
// returns the end. The digits and the exponent come from the library's
// shortest scientific form ("d.ddde+XX"); the layout is ours.
char* format_into(char* buffer, double value) {
  std::array<char, kDoubleBufferSize> sci;
  auto [sci_end, ec] =
      std::to_chars(sci.data(), sci.data() + sci.size(), value, std::chars_format::scientific);
  (void)ec;  // 32 characters hold every double in scientific form

  const char* p = sci.data();
  char* out = buffer;
  if (*p == '-') {
    *out++ = '-';
    ++p;
  }
  // Mantissa digits without the point.
  char digits[20];
  int count = 0;
  while (p != sci_end && *p != 'e') {
    if (*p != '.') digits[count++] = *p;
    ++p;
  }
  // Exponent: "e", a sign, at least two digits.
  int exponent = 0;
  if (p != sci_end) {
    ++p;  // 'e'
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    for (; p != sci_end; ++p) exponent = exponent * 10 + (*p - '0');
    if (negative) exponent = -exponent;
  }

  if (exponent < kMinPlainExponent || exponent > kMaxPlainExponent) {
    *out++ = digits[0];
    if (count > 1) {
      *out++ = '.';
      std::memcpy(out, digits + 1, count - 1);
      out += count - 1;
    }
    *out++ = 'e';
    if (exponent < 0) {
      *out++ = '-';
      exponent = -exponent;
    }
    auto [exp_end, exp_ec] = std::to_chars(out, buffer + kDoubleBufferSize, exponent);
    (void)exp_ec;
    return exp_end;
  }

  if (exponent < 0) {
    // 0.000ddd
    *out++ = '0';
    *out++ = '.';
    for (int i = -1; i > exponent; --i) *out++ = '0';
    std::memcpy(out, digits, count);
    return out + count;
  }

  // The integer part takes exponent + 1 digits, padded with zeros; the rest
  // is the fraction, or "0" for a whole number.
  const int whole = exponent + 1;
  if (count <= whole) {
    std::memcpy(out, digits, count);
    out += count;
    for (int i = count; i < whole; ++i) *out++ = '0';
    *out++ = '.';
    *out++ = '0';
    return out;
  }
  std::memcpy(out, digits, whole);
  out += whole;
  *out++ = '.';
  std::memcpy(out, digits + whole, count - whole);
  return out + (count - whole);
}

void append_double(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buffer[kDoubleBufferSize];
  out.append(buffer, format_into(buffer, value));
}

void append_string(std::string& out, const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  const char* run = text.data();
  const char* const end = text.data() + text.size();
  for (const char* p = run; p != end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(run, p);
    run = p + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        out.append(escape, sizeof escape);
      }
    }
  }
  out.append(run, end);
  out += '"';
}

void append_indent(std::string& out, int level) {
  out.append(static_cast<std::size_t>(level) * 2, ' ');
}

void append_value(std::string& out, const Json& value, int level) {
  switch (value.type()) {
    case Json::value_t::object: {
      const auto& members = value.get_ref<const Json::object_t&>();
      if (members.empty()) {
        out += "{}";
        return;
      }
      out += "{\n";
      bool first = true;
      for (const auto& [key, member] : members) {
        if (!first) out += ",\n";
        first = false;
        append_indent(out, level + 1);
        append_string(out, key);
        out += ": ";
        append_value(out, member, level + 1);
      }
      out += '\n';
      append_indent(out, level);
      out += '}';
      return;
    }
    case Json::value_t::array: {
      const auto& elements = value.get_ref<const Json::array_t&>();
      if (elements.empty()) {
        out += "[]";
        return;
      }
      out += "[\n";
      bool first = true;
      for (const auto& element : elements) {
        if (!first) out += ",\n";
        first = false;
        append_indent(out, level + 1);
        append_value(out, element, level + 1);
      }
      out += '\n';
      append_indent(out, level);
      out += ']';
      return;
    }
    case Json::value_t::string:
      append_string(out, value.get_ref<const std::string&>());
      return;
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      return;
    case Json::value_t::number_integer:
      append_integer(out, value.get<std::int64_t>());
      return;
    case Json::value_t::number_unsigned:
      append_integer(out, value.get<std::uint64_t>());
      return;
    case Json::value_t::number_float:
      append_double(out, value.get<double>());
      return;
    case Json::value_t::binary: {
      if (const auto* digits = json::as_integer_text(value)) {
        out.append(digits->begin(), digits->end());
        return;
      }
      // Not produced by this program; written as the array of its bytes so
      // that the document stays valid JSON.
      Json bytes = Json::array();
      for (std::uint8_t byte : value.get_binary()) bytes.push_back(byte);
      append_value(out, bytes, level);
      return;
    }
    case Json::value_t::null:
    case Json::value_t::discarded:
      out += "null";
      return;
  }
}

}  // namespace

std::string write_json(const nlohmann::json& value) {
  std::string out;
  out.reserve(256);
  append_value(out, value, 0);
  out += '\n';
  return out;
}

}  // namespace vt::base
