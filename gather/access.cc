#include "gather/access.h"

#include <unistd.h>

#include "core/identity.h"

namespace vt::gather {

CallerFacts caller_facts() {
  CallerFacts facts;
  facts.uid = ::getuid();
  facts.initial_user_namespace = core::is_initial_user_namespace();
  if (facts.uid != 0 && facts.initial_user_namespace) {
    facts.account_name = core::user_name_for_uid(facts.uid);
  }
  return facts;
}

std::expected<CallerIdentity, AccessRefusal> identify_caller(
    const CallerFacts& facts, const std::optional<std::string>& for_reseller) {
  if (facts.uid == 0 && facts.initial_user_namespace) {
    return CallerIdentity{.name = "root", .is_root = true};
  }
  if (!facts.initial_user_namespace) {
    return std::unexpected(AccessRefusal{
        "Permission denied. Caller identity cannot be verified outside the initial user "
        "namespace."});
  }
  CallerIdentity caller{.name = facts.account_name.value_or("unknown"),
                        .is_root = false,
                        .has_account = facts.account_name.has_value()};
  if (for_reseller && (!caller.has_account || *for_reseller != caller.name)) {
    return std::unexpected(
        AccessRefusal{"Permission denied. Reseller can view information only about himself. "
                      "Option --for-reseller=" +
                      *for_reseller + " is forbidden."});
  }
  return caller;
}

std::optional<std::unordered_set<std::string>> allowed_names(
    const CallerIdentity& caller, const std::optional<std::string>& for_reseller,
    const std::optional<std::vector<std::string>>& reseller_users) {
  if (!for_reseller) {
    if (caller.is_root) return std::nullopt;
    if (!caller.has_account) return std::unordered_set<std::string>{};
    return std::unordered_set<std::string>{caller.name};
  }
  std::unordered_set<std::string> names{*for_reseller};
  if (reseller_users) names.insert(reseller_users->begin(), reseller_users->end());
  return names;
}

std::optional<std::unordered_set<std::string>> names_known_before_the_panel(
    const CallerIdentity& caller, const std::optional<std::string>& for_reseller) {
  if (for_reseller) return std::nullopt;
  return allowed_names(caller, std::nullopt, std::nullopt);
}

bool touches_timestamp(const CallerIdentity& caller,
                       const std::optional<std::string>& for_reseller) {
  return caller.is_root || for_reseller.has_value();
}

}  // namespace vt::gather
