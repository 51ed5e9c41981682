#include "base/json_position.h"

#include <algorithm>

namespace vt::base::json {
namespace {

struct TextPosition {
  std::size_t line = 1;
  std::size_t column = 0;
};

TextPosition position_after(std::string_view text, std::size_t consumed) {
  // A fault found at a line feed belongs to the line that the line feed ends.
  if (consumed > 0 && consumed <= text.size() && text[consumed - 1] == '\n') {
    TextPosition position = position_after(text, consumed - 1);
    ++position.column;
    return position;
  }
  const std::string_view head = text.substr(0, consumed);
  const std::size_t last_break = head.rfind('\n');
  TextPosition position;
  position.line = 1 + static_cast<std::size_t>(std::count(head.begin(), head.end(), '\n'));
  position.column =
      last_break == std::string_view::npos ? head.size() : head.size() - last_break - 1;
  return position;
}

}  // namespace

std::string at_position(std::string_view text, std::size_t consumed) {
  const TextPosition position = position_after(text, consumed);
  return " at line " + std::to_string(position.line) + " column " + std::to_string(position.column);
}

}  // namespace vt::base::json
