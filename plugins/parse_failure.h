#pragma once
// The message for a helper answer that could not be read.
#include <cstddef>
#include <string>
#include <string_view>

namespace vt::plugins {

/// How much of a helper's output a parse failure quotes.
inline constexpr std::size_t kQuotedOutputBytes = 200;

/// "failed to parse {answer} JSON: {error}".
std::string parse_failure(std::string_view answer, std::string_view error);

/// "failed to parse {answer} JSON: {error}: output={start}", where {start} is
/// the first 200 bytes of `output`, cut short rather than inside a character.
std::string parse_failure_quoting(std::string_view answer, std::string_view error,
                                  std::string_view output);

}  // namespace vt::plugins
