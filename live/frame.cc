#include "live/frame.h"

#include <algorithm>

#include "gather/figures.h"
#include "gather/fill_in.h"
#include "gather/selection.h"
#include "gather/walk.h"

namespace vt::live {

Frame frame_of(gather::Sources& sources, const gather::Scope& scope,
               const gather::CallerIdentity& caller, bool hide_mysql) {
  const auto order = gather::order_users(sources.snapshot.users, sources.visible, scope.order,
                                         sources.mysql_stats, sources.login_names);
  Frame frame;
  frame.snapshot_time = sources.snapshot.timestamp;
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
