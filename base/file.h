#pragma once
// Reading whole files.
#include <expected>
#include <string>

namespace vt::base {

/// The whole content of the file at `path`, or the errno of the failure.
/// A directory is a failure (EISDIR).
std::expected<std::string, int> read_file(const std::string& path);

}  // namespace vt::base
