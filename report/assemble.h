#pragma once
// The report from its gathered sources: order, walk, reseller entries and
// the document. No file, program or clock is read here; the sources'
// records are moved into the report's accounts.
#include <nlohmann/json.hpp>

#include "gather/access.h"
#include "gather/scope.h"
#include "gather/sources.h"
#include "report/options.h"

namespace vt::report {

/// What `cli` asks of the gathering.
gather::Scope scope_of(const Cli& cli);

/// The usage report of `caller` for `cli`. It uses `sources` up: the
/// selected records are moved out of `sources.snapshot`, so the sources
/// serve one report only.
nlohmann::json assemble_report(gather::Sources& sources, const Cli& cli,
                               const gather::CallerIdentity& caller);

}  // namespace vt::report
