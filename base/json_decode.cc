#include "base/json_decode.h"

#include <algorithm>
#include <cstring>

#include "base/json_reader.h"

namespace vt::base::json::detail {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

std::expected<void, std::string> decode_into(std::string_view text, const Target& target) {
  // A byte order mark is no JSON white space: the text is not JSON.
  if (text.starts_with(kByteOrderMark)) {
    return std::unexpected("unexpected byte order mark" + at_position(text, 1));
  }
  // The parser would take a NUL byte for the end of the text: stop it there
  // and refuse the byte afterwards.
  const void* nul = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size());
  const std::size_t limit =
      nul == nullptr ? text.size()
                     : static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());

  Reader reader(target);
  if (!reader.read(text.substr(0, limit))) {
    if (reader.ran_out() && limit < text.size()) {
      return std::unexpected("unexpected NUL byte" + at_position(text, limit + 1));
    }
    return std::unexpected(reader.error() + at_position(text, reader.error_offset()));
  }
  for (std::size_t i = reader.end(); i < text.size(); ++i) {
    if (!is_json_space(text[i])) {
      return std::unexpected("trailing characters" + at_position(text, i + 1));
    }
  }
  return {};
}

}  // namespace vt::base::json::detail

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
