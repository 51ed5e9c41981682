#include "plugins/parse_failure.h"

#include "base/utf8.h"

namespace vt::plugins {

std::string parse_failure(std::string_view answer, std::string_view error) {
  std::string message = "failed to parse ";
  message += answer;
  message += " JSON: ";
  message += error;
  return message;
}

std::string parse_failure_quoting(std::string_view answer, std::string_view error,
                                  std::string_view output) {
  std::string message = parse_failure(answer, error);
  message += ": output=";
  message += base::cut_utf8(output, kQuotedOutputBytes);
  return message;
}

}  // namespace vt::plugins
