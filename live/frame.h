#pragma once
// One refresh of the live view: the accounts of the caller's scope and
// what the header says of the server.
#include <cstdint>
#include <string>
#include <vector>

#include "gather/access.h"
#include "gather/scope.h"
#include "gather/snapshot.h"
#include "gather/sources.h"

namespace vt::live {

/// A share of a limit at which an account is near it.
inline constexpr double kNearLimit = 0.9;

struct Frame {
  /// The scope's accounts, filled in and in the order of `--order-by`, with
  /// their domains; the MySQL figures left out with --hide-mysql.
  std::vector<gather::TopUser> accounts;
  std::uint64_t near_limit = 0;  ///< accounts at kNearLimit or more of any limit
  std::uint64_t restricted = 0;  ///< accounts restricted in MySQL
  double snapshot_time = 0.0;    ///< "timestamp" of the snapshot
  bool snapshot_read = true;     ///< false: the snapshot could not be read, and counts as empty
  std::string tessel_status;     ///< "enabled", "disabled" or "error"
  std::string tessel_mode;
};

/// The frame of `sources` for `caller`: the walk of every account of
/// `scope` (its `max` unbounded) in the order of `scope.order`. Uses the
/// sources up, as the JSON report does.
Frame frame_of(gather::Sources& sources, const gather::Scope& scope,
               const gather::CallerIdentity& caller, bool hide_mysql);

}  // namespace vt::live
