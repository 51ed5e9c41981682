#pragma once
// Text from customers, the panel and helpers as it may reach a terminal, a
// metrics label or a field of a plain text table.
#include <string>
#include <string_view>

namespace vt::base {

struct SafeTextRules {
  /// The terminal's character set is UTF-8; when not, only printable ASCII
  /// is shown as it is.
  bool utf8 = true;
  /// The ASCII blank is replaced too (the others always are), so that the
  /// text is one field of a line split at blanks.
  bool one_field = false;
};

/// Whether the code point `c` is never shown as it is: C0 and C1 controls
/// and DEL (so no escape sequence), the bidirectional controls (which make
/// a name read like another), zero-width and other format characters, the
/// byte-order mark, line and paragraph separators, surrogates and
/// noncharacters.
bool unsafe_code_point(char32_t c);

/// `text` with every unsafe code point, every blank but U+0020 (U+00A0,
/// U+3000 and the other Unicode White_Space, which pass for another
/// name's blank or for nothing), every byte that is not UTF-8 and, by
/// `rules`, U+0020 and every non-ASCII character replaced: by U+FFFD in a
/// UTF-8 character set, by "?" in any other. The result is UTF-8 (ASCII
/// outside a UTF-8 character set).
std::string safe_text(std::string_view text, SafeTextRules rules = {});

/// Appends the code point `c` to `out` in UTF-8.
void append_utf8(std::string& out, char32_t c);

/// The code points of the UTF-8 text `text`, bytes that are not UTF-8 each
/// read as U+FFFD.
std::u32string code_points(std::string_view text);

}  // namespace vt::base
