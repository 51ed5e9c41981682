#pragma once
// The fatal-error text, and writing all of a text to a descriptor: the
// drivers write the standard streams with it, the metrics file writer its
// temporary file.
#include <expected>
#include <string>
#include <string_view>

#include "base/error.h"

namespace vt::command {

/// "Error: " and the message; with causes, a blank line, "Caused by:" and
/// each cause indented by four blanks (numbered when there are several).
std::string format_fatal(const base::Error& error);

/// Writes all of `text` to the descriptor, or gives the errno of the write
/// that failed.
std::expected<void, int> write_all(int fd, std::string_view text);

}  // namespace vt::command
