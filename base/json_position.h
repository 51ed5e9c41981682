#pragma once
// Where in a text an error was found, for error messages.
#include <cstddef>
#include <string>
#include <string_view>

namespace vt::base::json {

/// " at line L column C": the place of the last of the first `consumed` bytes
/// of `text` (the start of the text when `consumed` is 0). Lines are counted
/// from 1 and end with their line feed; columns count bytes from 1, so
/// column 0 stands before a line's first byte.
std::string at_position(std::string_view text, std::size_t consumed);

}  // namespace vt::base::json
