#include "base/arguments.h"

#include <unistd.h>

#include <cstring>

namespace vt::base {
namespace {

// What the system counts besides the arguments and the environment: the
// program's path, the pointer arrays' ends, auxiliary data.
constexpr std::size_t kMargin = 64 * 1024;

std::size_t cost(std::string_view argument) {
  return argument.size() + 1 + sizeof(char*);
}

}  // namespace

std::size_t argument_space() {
  const long limit = ::sysconf(_SC_ARG_MAX);
  std::size_t used = kMargin;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    used += std::strlen(*entry) + 1 + sizeof(char*);
  }
  const auto total = limit > 0 ? static_cast<std::size_t>(limit) : std::size_t{0};
  return total > used ? total - used : 0;
}

ArgumentRuns::ArgumentRuns(std::span<const std::string> fixed, std::size_t space) : space_(space) {
  for (const std::string& argument : fixed) fixed_cost_ += cost(argument);
  used_ = fixed_cost_;
}

bool ArgumentRuns::starts_run(std::string_view item) {
  const std::size_t next = cost(item);
  // Every item costs something: the run holds one when it uses more than
  // `fixed`.
  const bool starts = used_ > fixed_cost_ && used_ + next > space_;
  if (starts) used_ = fixed_cost_;
  used_ += next;
  return starts;
}

}  // namespace vt::base
