#include "base/safe_text.h"

#include "base/text.h"
#include "base/utf8.h"

namespace vt::base {
namespace {

// The format characters (general category Cf) and the separators that move
// or hide text without showing a glyph of their own.
constexpr char32_t kInvisible[][2] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},
    {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
    {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

// The code point that starts at `at` of the UTF-8 text `text`, and its
// length in bytes.
char32_t code_point_at(std::string_view text, std::size_t at, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    c = (c << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  }
  return c;
}

bool noncharacter(char32_t c) {
  return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

}  // namespace

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool unsafe_code_point(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return true;
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF || noncharacter(c)) return true;
  for (const auto& [first, last] : kInvisible) {
    if (c < first) break;  // the ranges ascend
    if (c <= last) return true;
  }
  return false;
}

std::u32string code_points(std::string_view text) {
  const std::string lossy = is_utf8(text) ? std::string() : decode_lossy(text);
  const std::string_view valid = lossy.empty() ? text : std::string_view(lossy);
  std::u32string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size();) {
    std::size_t length = 0;
    out += code_point_at(valid, i, length);
    i += length;
  }
  return out;
}

std::string safe_text(std::string_view text, SafeTextRules rules) {
  std::string lossy;
  if (!is_utf8(text)) {
    lossy = decode_lossy(text);
    text = lossy;
  }
  const auto replace = [&](std::string& out) {
    if (rules.utf8) {
      append_utf8(out, 0xFFFD);
    } else {
      out += '?';
    }
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead > 0x20 && lead < 0x7F) {  // printable ASCII but the blank, the most of any name
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    std::size_t length = 0;
    const char32_t c = code_point_at(text, i, length);
    if (unsafe_code_point(c) || (is_white_space(c) && (rules.one_field || c >= 0x80)) ||
        (!rules.utf8 && c >= 0x80)) {
      replace(out);
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

}  // namespace vt::base
