#include "live/frame.h"

#include <algorithm>

#include "gather/figures.h"
#include "gather/fill_in.h"
#include "gather/selection.h"
#include "gather/walk.h"

namespace vt::live {

Frame frame_of(gather::Sources& sources, const gather::Scope& scope,
               const gather::CallerIdentity& caller, bool hide_mysql) {
  auto order = gather::order_users(sources.snapshot.users, scope.order, sources.mysql_stats,
                                   sources.login_names, scope.max);
  Frame frame;
  frame.snapshot_time = sources.snapshot.timestamp;
  for (const gather::SourceOutcome& outcome : sources.consulted) {
    if (outcome.source == gather::Source::snapshot) frame.snapshot_read = outcome.failure.empty();
  }
  frame.tessel_status = sources.tessel.status;
  frame.tessel_mode = sources.tessel_mode;
  frame.accounts = gather::accepted_accounts(sources, scope, caller, order);
  for (gather::TopUser& account : frame.accounts) {
    if (hide_mysql) gather::strip_mysql(account);
    const auto reached = gather::limits_reached(gather::figure_values(account), kNearLimit);
    frame.near_limit += std::ranges::any_of(reached, std::identity{});
    frame.restricted += account.restricted;
  }
  return frame;
}

}  // namespace vt::live
