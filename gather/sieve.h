#pragma once
// Which snapshot records a run keeps, decided as each one is decoded: a
// record that cannot reach the caller's report is checked but never stored,
// ordered or completed.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "gather/selection.h"
#include "gather/snapshot.h"

namespace vt::gather {

struct AccountSieve {
  Visibility visibility;
  /// The names the caller may see; nullptr means every name.
  const std::unordered_set<std::string>* allowed = nullptr;
  /// The login names of the allowed names at least; unused where every name
  /// is allowed.
  const LoginNames* login_names = nullptr;
  bool keep_domains = false;
  bool note_usernames = false;

  /// Of every visible record, kept or not, in snapshot order: its id, and
  /// (with `note_usernames`) its username as the snapshot gives it.
  std::vector<std::uint32_t> visible_ids;
  std::vector<std::string> visible_usernames;

  /// Notes `user` if it is visible, and says whether it is kept: visible,
  /// and named (as the walk names it) as the caller may see. A kept
  /// record loses its domain list unless `keep_domains`.
  bool operator()(TopUser& user);
};

/// The names whose login names decide which of the snapshot's accounts
/// the caller, allowed to see `allowed`, may see: those names, or, where an
/// account without a login name ("N/A") may be seen, all (nullptr).
const std::unordered_set<std::string>* login_names_for_scope(
    const std::unordered_set<std::string>& allowed);

}  // namespace vt::gather
