#pragma once
// What a caller may read of why a source failed.
#include <string>

#include "gather/access.h"
#include "gather/sources.h"

namespace vt::gather {

/// What a caller who is not root reads in place of a failure: a helper's
/// answer may hold other accounts' names, domains and figures.
inline constexpr std::string_view kFailureHidden = "unavailable";

/// Why `outcome` failed, as `caller` may read it: root the failure itself,
/// made safe for a terminal; any other caller kFailureHidden. Empty when it
/// did not fail.
std::string failure_seen_by(const CallerIdentity& caller, const SourceOutcome& outcome);

}  // namespace vt::gather
