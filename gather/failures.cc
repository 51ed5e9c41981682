#include "gather/failures.h"

#include "base/safe_text.h"

namespace vt::gather {

std::string failure_seen_by(const CallerIdentity& caller, const SourceOutcome& outcome) {
  if (outcome.failure.empty()) return {};
  if (!caller.is_root) return std::string(kFailureHidden);
  return base::safe_text(outcome.failure);
}

}  // namespace vt::gather
