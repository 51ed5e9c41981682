#pragma once
// Text from customers and the panel as a terminal may show it, measured in
// display cells.
#include <string>
#include <string_view>

namespace vt::live {

/// Whether the locale's characters are UTF-8; when not, only ASCII is shown.
bool utf8_locale();

/// `text` as it may reach a terminal (base::safe_text in the locale's
/// character set), and U+FFFD for any other character the locale cannot
/// show. No escape sequence survives.
std::wstring safe_text(std::string_view text);

/// `text` as one field of a batch table: base::safe_text with every blank
/// replaced too, in the locale's character set; "-" when it is empty.
std::string safe_field(std::string_view text);

/// The display cells that `text` takes (wide characters two).
int cells(std::wstring_view text);

/// `text` in exactly `width` cells: cut with "~" at its end when too long,
/// padded with blanks after it (or before it, `right`) when too short.
std::wstring fit(std::wstring_view text, int width, bool right = false);

/// `text` as UTF-8.
std::string to_utf8(std::wstring_view text);

}  // namespace vt::live
