#pragma once
// The report from its gathered sources: scope, order, walk, reseller
// entries and the document. No file, program or clock is read here; the
// sources' records are moved into the report's accounts.
#include <cstddef>
#include <nlohmann/json.hpp>
#include <vector>

#include "cli/access.h"
#include "cli/options.h"
#include "cli/snapshot.h"
#include "cli/sources.h"

namespace vt::cli {

/// The accounts of `caller`'s scope that the filters of `cli` accept, taken
/// in `order` (positions in `sources.snapshot.users`, whose records are
/// moved out) until `cli.max` are taken, and completed: the panel's admins
/// left out, names, domains and resellers filled in, the MySQL figures
/// merged when `sources.mysql_in_report` is set. Accounts missing from
/// `order` (the hidden ones, when it lists `sources.visible`) are not looked
/// at. Where `order` ascends, the result takes over the storage of
/// `sources.snapshot.users`, which is left empty.
std::vector<TopUser> accepted_accounts(Sources& sources, const Cli& cli,
                                       const CallerIdentity& caller,
                                       const std::vector<std::size_t>& order);

/// The usage report of `caller` for `cli`. It uses `sources` up: the
/// selected records are moved out of `sources.snapshot`, so the sources
/// serve one report only.
nlohmann::json assemble_report(Sources&& sources, const Cli& cli, const CallerIdentity& caller);

}  // namespace vt::cli
