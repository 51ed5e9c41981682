#include "base/case.h"

#include <array>

namespace vt::base {
namespace {

// Upper-case forms of U+FB00..U+FB06 (EF AC 80..86 in UTF-8).
constexpr std::array<std::string_view, 7> kLigatures = {"FF", "FI", "FL", "FFI", "FFL", "ST", "ST"};

bool starts_with_at(std::string_view text, std::size_t i, std::string_view prefix) {
  return text.substr(i).starts_with(prefix);
}

}  // namespace

std::string upper_for_compare(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c >= 'a' && c <= 'z') {
      out.push_back(static_cast<char>(c - 'a' + 'A'));
      ++i;
    } else if (starts_with_at(text, i, "\xc5\xbf")) {  // U+017F
      out.push_back('S');
      i += 2;
    } else if (starts_with_at(text, i, "\xc4\xb1")) {  // U+0131
      out.push_back('I');
      i += 2;
    } else if (starts_with_at(text, i, "\xef\xac") && i + 2 < text.size() &&
               static_cast<unsigned char>(text[i + 2]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 2]) <= 0x86) {
      out.append(kLigatures[static_cast<unsigned char>(text[i + 2]) - 0x80]);
      i += 3;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

std::string lower_for_compare(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c >= 'A' && c <= 'Z') {
      out.push_back(static_cast<char>(c - 'A' + 'a'));
      ++i;
    } else if (starts_with_at(text, i, "\xe2\x84\xaa")) {  // U+212A
      out.push_back('k');
      i += 3;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

}  // namespace vt::base
