#pragma once
// Reading whole files.
#include <cstddef>
#include <expected>
#include <string>

namespace vt::base {

/// Everything left to read from the descriptor `fd`, or the errno of the
/// failure. The descriptor stays open.
std::expected<std::string, int> read_fd(int fd, std::size_t size_hint = 0);

/// The whole content of the file at `path`, or the errno of the failure.
/// A directory is a failure (EISDIR).
std::expected<std::string, int> read_file(const std::string& path);

}  // namespace vt::base
