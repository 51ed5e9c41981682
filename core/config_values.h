#pragma once
// Conversions of single configuration values, shared by the statistics
// service's conventions: flags, level words, database types.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/config.h"

namespace vt::core {

/// Upper-cased "Y", "1", "YES" or "TRUE" is true, anything else false.
bool yes_flag(std::string_view value);

/// Upper-cased "N", "0", "NO" or "FALSE" is false, anything else true.
bool no_flag(std::string_view value);

/// Upper-cased "0", "F", "N", "NO", "OFF" or "FALSE" is false, anything else true.
bool off_flag(std::string_view value);

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
