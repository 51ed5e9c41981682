#pragma once
// Fitting long argument lists into the system's limit on what one started
// program may be given.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace vt::base {

/// How many bytes of arguments a program started from this process may be
/// given: the system's limit less this process's environment, which the
/// program inherits, and a margin for what else the system counts.
std::size_t argument_space();

/// Splits items, taken one at a time in order, into the fewest consecutive
/// runs that each fit `space` bytes together with `fixed`, the arguments
/// every call carries: a run ends only where the next item no longer fits.
/// An argument costs its bytes, its terminating NUL and a pointer. An item
/// too large to fit even alone gets a run of its own.
class ArgumentRuns {
 public:
  ArgumentRuns(std::span<const std::string> fixed, std::size_t space);

  /// Takes the next item, and says whether it starts a new run: the run
  /// so far, which is never empty then, is complete without it.
  bool starts_run(std::string_view item);

 private:
  std::size_t fixed_cost_ = 0;
  std::size_t space_;
  std::size_t used_;  // by the current run, `fixed` included
};

}  // namespace vt::base
