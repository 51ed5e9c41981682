#pragma once
// A fatal error: a message and the chain of causes behind it, innermost last.
#include <string>
#include <vector>

namespace vt::base {

struct Error {
  std::string message;
  std::vector<std::string> causes;
};

}  // namespace vt::base
