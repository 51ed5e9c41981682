#pragma once
// Where in a text an error was found, for error messages.
#include <cstddef>
#include <string>
#include <string_view>

namespace vt::base::json {

/// A place in a text: lines are counted from 1 and end with their line feed;
/// columns count bytes from 1, so column 0 stands before a line's first byte.
struct TextPosition {
  std::size_t line = 1;
  std::size_t column = 0;
};

/// The position of the last of the first `consumed` bytes of `text` (the
/// start of the text when `consumed` is 0).
TextPosition position_after(std::string_view text, std::size_t consumed);

/// " at line L column C" for `position_after(text, consumed)`.
std::string at_position(std::string_view text, std::size_t consumed);

}  // namespace vt::base::json
