#pragma once
// Who runs the command, whether it may, and which accounts it may see.
#include <sys/types.h>

#include <expected>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace vt::gather {

struct CallerIdentity {
  std::string name;  ///< "root", the account name, or "unknown"
  bool is_root = false;
  /// False for a caller whose user id has no account: it is named "unknown"
  /// but sees no records, so that it cannot pass for an account of that name.
  bool has_account = true;
};

/// The "result" text of the status document of a refused caller.
struct AccessRefusal {
  std::string message;
};

/// What identifies the caller, as the system reports it.
struct CallerFacts {
  uid_t uid = 0;
  bool initial_user_namespace = false;
  std::optional<std::string> account_name;  ///< the password entry's name of `uid`
};

/// The facts of this process: real user id, namespace check, account name.
CallerFacts caller_facts();

/// Identifies the caller and checks --for-reseller against it.
std::expected<CallerIdentity, AccessRefusal> identify_caller(
    const CallerFacts& facts, const std::optional<std::string>& for_reseller);

/// The account names the caller may see; nothing means every account.
/// `reseller_users` is the control panel's list of the reseller's accounts
/// (nothing when it could not be had), asked for only with --for-reseller.
std::optional<std::unordered_set<std::string>> allowed_names(
    const CallerIdentity& caller, const std::optional<std::string>& for_reseller,
    const std::optional<std::vector<std::string>>& reseller_users);

/// The names the caller may see as far as a run knows them before it asks
/// the panel: nothing (every name) for root, and with --for-reseller, whose
/// accounts the panel lists only later in the run.
std::optional<std::unordered_set<std::string>> names_known_before_the_panel(
    const CallerIdentity& caller, const std::optional<std::string>& for_reseller);

/// Whether the run touches the tessel time-stamp file.
bool touches_timestamp(const CallerIdentity& caller,
                       const std::optional<std::string>& for_reseller);

}  // namespace vt::gather
