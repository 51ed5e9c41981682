#include "base/text.h"

namespace vt::base {
namespace {

// Length of the White_Space character that starts at `i`, or 0.
std::size_t space_at(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c == ' ' || (c >= 0x09 && c <= 0x0D)) return 1;
  if (c < 0xC2) return 0;
  auto byte = [&](std::size_t k) {
    return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
  };
  if (c == 0xC2) return (byte(1) == 0x85 || byte(1) == 0xA0) ? 2 : 0;
  if (c == 0xE1) return (byte(1) == 0x9A && byte(2) == 0x80) ? 3 : 0;  // U+1680
  if (c == 0xE2 && byte(1) == 0x80) {
    const auto b = byte(2);
    // U+2000..U+200A, U+2028, U+2029, U+202F
    return ((b >= 0x80 && b <= 0x8A) || b == 0xA8 || b == 0xA9 || b == 0xAF) ? 3 : 0;
  }
  if (c == 0xE2 && byte(1) == 0x81) return byte(2) == 0x9F ? 3 : 0;  // U+205F
  if (c == 0xE3 && byte(1) == 0x80) return byte(2) == 0x80 ? 3 : 0;  // U+3000
  return 0;
}

// Length of the White_Space character that ends right before `end`, or 0.
std::size_t space_before(std::string_view s, std::size_t end) {
  for (std::size_t len = 1; len <= 3 && len <= end; ++len) {
    if (space_at(s, end - len) == len) return len;
  }
  return 0;
}

}  // namespace

bool is_white_space(char32_t c) {
  return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string_view trim(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t len = space_at(text, begin);
    if (len == 0) break;
    begin += len;
  }
  std::size_t end = text.size();
  while (end > begin) {
    const std::size_t len = space_before(text, end);
    if (len == 0) break;
    end -= len;
  }
  return text.substr(begin, end - begin);
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
  return lines;
}

std::vector<std::string_view> split_whitespace(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t len = space_at(text, i);
    if (len > 0) {
      i += len;
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && space_at(text, i) == 0) ++i;
    fields.push_back(text.substr(start, i - start));
  }
  return fields;
}

}  // namespace vt::base
