#pragma once
// Errors: a fatal one with the chain of causes behind it, and the system's
// text for a failed call.
#include <string>
#include <vector>

namespace vt::base {

struct Error {
  std::string message;
  std::vector<std::string> causes;
};

/// The system's text for `errnum` followed by " (os error N)".
std::string os_error_text(int errnum);

}  // namespace vt::base
