#pragma once
// Conversions of single configuration values, shared by the statistics
// service's conventions: flags, level words, database types.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/config.h"

namespace vt::core {

/// True for "Y", "1", "YES" or "TRUE" (upper-cased), false for anything else.
bool true_if_yes(std::string_view value);

/// False for "N", "0", "NO" or "FALSE" (upper-cased), true for anything else.
bool true_unless_no(std::string_view value);

/// False for "0", "F", "N", "NO", "OFF" or "FALSE" (upper-cased), true for
/// anything else.
bool true_unless_off(std::string_view value);

/// Lower-cased "1" or "on" is on, "0" or "off" is off, anything else not set.
std::optional<bool> switch_state(std::string_view value);

/// The lower-cased level word ("trace", "debug", "info", "warn", "error"), or
/// nothing for any other value.
std::optional<std::string> level_word(std::string_view value);

/// Lower-cased "sqlite", "mysql", "postgres" or "postgresql", or nothing.
std::optional<DbType> db_type(std::string_view value);

/// The first `count` characters (code points) of the UTF-8 text `text`.
std::string_view first_characters(std::string_view text, std::size_t count);

}  // namespace vt::core
