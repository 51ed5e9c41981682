#pragma once
// The report from its gathered sources: scope, order, walk, reseller
// entries and the document. No file, program or clock is read here.
#include <nlohmann/json.hpp>

#include "cli/access.h"
#include "cli/options.h"
#include "cli/sources.h"

namespace vt::cli {

/// The usage report of `caller` for `cli`. Takes the selected records out
/// of `sources.snapshot`.
nlohmann::json assemble_report(Sources& sources, const Cli& cli, const CallerIdentity& caller);

}  // namespace vt::cli
