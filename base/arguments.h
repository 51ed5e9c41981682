#pragma once
// Fitting long argument lists into the system's limit on what one started
// program may be given.
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace vt::base {

/// How many bytes of arguments a program started from this process may be
/// given: the system's limit less this process's environment, which the
/// program inherits, and a margin for what else the system counts.
std::size_t argument_space();

/// Splits `items` into the fewest consecutive runs that each fit `space`
/// bytes together with `fixed`, the arguments every call carries. An
/// argument costs its bytes, its terminating NUL and a pointer. An item too
/// large to fit even alone gets a run of its own. Everything fits: one run.
std::vector<std::span<const std::string>> argument_runs(std::span<const std::string> fixed,
                                                        std::span<const std::string> items,
                                                        std::size_t space);

}  // namespace vt::base
