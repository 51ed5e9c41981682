#pragma once
// Text helpers: Unicode white space, line splitting, strict decimal integers.
#include <charconv>
#include <concepts>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt::base {

/// Whether `c` is a Unicode White_Space character.
bool is_white_space(char32_t c);

/// `text` without leading and trailing Unicode White_Space characters.
std::string_view trim(std::string_view text);

/// The lines of `text`: each ends at a line feed, a carriage return right
/// before it belongs to the line ending; a last line without a line feed
/// counts, an empty piece after a final line feed does not.
std::vector<std::string_view> split_lines(std::string_view text);

/// The non-empty pieces of `text` between runs of Unicode White_Space.
std::vector<std::string_view> split_whitespace(std::string_view text);

/// Why a text is no decimal integer of the type asked for.
enum class DecimalFault {
  empty,          ///< no digits (nothing, or a sign alone)
  invalid_digit,  ///< a character that is no ASCII digit
  out_of_range,   ///< digits only, but beyond the type's range
};

/// A decimal integer of type T: an optional "+" (and "-" for signed T), then
/// one or more ASCII digits and nothing else, within T's range.
template <std::integral T>
std::expected<T, DecimalFault> parse_decimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  } else if (std::signed_integral<T> && !text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::unexpected(DecimalFault::empty);
  for (char c : text) {
    if (c < '0' || c > '9') return std::unexpected(DecimalFault::invalid_digit);
  }
  // from_chars takes the "-" itself; give it back for negative values.
  std::string buffer;
  if (negative) {
    buffer.reserve(text.size() + 1);
    buffer.push_back('-');
    buffer.append(text);
    text = buffer;
  }
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) {
    return std::unexpected(DecimalFault::out_of_range);
  }
  return value;
}

}  // namespace vt::base
