#pragma once
// Case mapping for comparing a text with fixed ASCII words whatever its
// letter case: configuration values, sort names, "inf" and "nan".
//
// A caller upper- or lower-cases the text with full Unicode case mapping and
// then compares it with a handful of ASCII words ("YES", "off", "postgresql",
// "mysql_cpu", "infinity"). Only results made entirely of ASCII can match, so
// these helpers map ASCII letters and the few other characters whose full
// mapping is all ASCII letters; every other byte is copied unchanged, which
// can never produce a match either way.
#include <string>
#include <string_view>

namespace vt::base {

/// `text` upper-cased: ASCII letters, and U+017F long s -> "S",
/// U+0131 dotless i -> "I", the ligatures U+FB00..U+FB06 -> "FF", "FI",
/// "FL", "FFI", "FFL", "ST", "ST".
std::string upper_for_compare(std::string_view text);

/// `text` lower-cased: ASCII letters, and U+212A KELVIN SIGN -> "k".
std::string lower_for_compare(std::string_view text);

}  // namespace vt::base
