#include "live/text.h"

#include <langinfo.h>

#include <cwchar>

#include "base/safe_text.h"

namespace vt::live {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

int width_of(wchar_t c) {
  const int width = ::wcwidth(c);
  return width < 0 ? 1 : width;
}

}  // namespace

bool utf8_locale() {
  const std::string_view codeset = ::nl_langinfo(CODESET);
  return codeset == "UTF-8" || codeset == "utf8";
}

std::wstring safe_text(std::string_view text) {
  const bool unicode = utf8_locale();
  std::wstring out;
  for (const char32_t c : base::code_points(base::safe_text(text, {.utf8 = unicode}))) {
    const auto w = static_cast<wchar_t>(c);
    out += unicode && ::wcwidth(w) < 0 ? kReplacement : w;
  }
  return out;
}

std::string safe_field(std::string_view text) {
  if (text.empty()) return "-";
  return base::safe_text(text, {.utf8 = utf8_locale(), .one_field = true});
}

int cells(std::wstring_view text) {
  int total = 0;
  for (const wchar_t c : text) total += width_of(c);
  return total;
}

std::wstring fit(std::wstring_view text, int width, bool right) {
  if (width <= 0) return {};
  std::wstring out;
  int used = 0;
  if (cells(text) <= width) {
    out = text;
    used = cells(text);
  } else {
    for (const wchar_t c : text) {
      if (used + width_of(c) > width - 1) break;
      out += c;
      used += width_of(c);
    }
    out += L'~';
    ++used;
  }
  const std::wstring blanks(static_cast<std::size_t>(width - used), L' ');
  return right ? blanks + out : out + blanks;
}

std::string to_utf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (const wchar_t w : text) base::append_utf8(out, static_cast<char32_t>(w));
  return out;
}

}  // namespace vt::live
