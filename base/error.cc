#include "base/error.h"

#include <cstring>

namespace vt::base {

std::string os_error_text(int errnum) {
  char buffer[256];
  // The GNU strerror_r: returns the text, in `buffer` or a static string.
  const char* text = ::strerror_r(errnum, buffer, sizeof buffer);
  return std::string(text) + " (os error " + std::to_string(errnum) + ")";
}

}  // namespace vt::base
