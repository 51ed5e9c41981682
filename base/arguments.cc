#include "base/arguments.h"

#include <unistd.h>

#include <cstring>

namespace vt::base {
namespace {

// What the system counts besides the arguments and the environment: the
// program's path, the pointer arrays' ends, auxiliary data.
constexpr std::size_t kMargin = 64 * 1024;

std::size_t cost(const std::string& argument) {
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

std::vector<std::span<const std::string>> argument_runs(std::span<const std::string> fixed,
                                                        std::span<const std::string> items,
                                                        std::size_t space) {
  std::size_t fixed_cost = 0;
  for (const std::string& argument : fixed) fixed_cost += cost(argument);
  std::vector<std::span<const std::string>> runs;
  std::size_t start = 0;
  std::size_t used = fixed_cost;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::size_t next = cost(items[i]);
    if (i > start && used + next > space) {
      runs.push_back(items.subspan(start, i - start));
      start = i;
      used = fixed_cost;
    }
    used += next;
  }
  if (start < items.size() || runs.empty()) runs.push_back(items.subspan(start));
  return runs;
}

}  // namespace vt::base
