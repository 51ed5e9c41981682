#include "command/output.h"

#include <unistd.h>

#include <cerrno>

namespace vt::command {

std::string format_fatal(const base::Error& error) {
  std::string text = "Error: " + error.message + "\n";
  if (!error.causes.empty()) {
    text += "\nCaused by:\n";
    const bool numbered = error.causes.size() > 1;
    for (std::size_t i = 0; i < error.causes.size(); ++i) {
      text += "    ";
      if (numbered) text += std::to_string(i) + ": ";
      text += error.causes[i] + "\n";
    }
  }
  return text;
}

std::expected<void, int> write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(errno);
    }
    // A write that takes nothing would never end the loop.
    if (n == 0) return std::unexpected(EIO);
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

}  // namespace vt::command
