#pragma once
// Account data of the hosting control panel, asked of the control-panel
// helper program: the panel's admins, a reseller's users, the accounts behind
// system user ids, and whether a panel feature is present.
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vt::plugins {

inline constexpr const char* kPlexaHelperPath =
    "/usr/share/kob-stats3/scripts/kobstats-plexa-helper";
inline constexpr std::uint64_t kPlexaLimitSeconds = 30;

/// One account the control panel knows.
struct UserInfo {
  std::int64_t uid = 0;
  std::string username;
  std::string email;
  std::string domain;  ///< main domain; may be empty
  std::string locale;
  std::string reseller;  ///< owning reseller; may be empty
  std::string display_name;

  bool operator==(const UserInfo&) const = default;
};

/// A user id the control panel has no account for.
struct UnresolvedUid {
  std::int64_t uid = 0;
  std::string reason;

  bool operator==(const UnresolvedUid&) const = default;
};

struct UserLookupResult {
  std::vector<UserInfo> users;
  std::vector<UnresolvedUid> unresolved;

  bool operator==(const UserLookupResult&) const = default;
};

// Every call runs the control-panel helper `program` (kPlexaHelperPath on
// a server) under a 30-second limit, so each may also fail with the
// runner's messages (plugins/runner.h), passed on unchanged.

/// The admins' user names ("admins"), in the helper's order, repeats kept.
std::expected<std::vector<std::string>, std::string> list_admins(const std::string& program);

/// The user names owned by `reseller` ("reseller-users", then the name as one
/// unchanged argument).
std::expected<std::vector<std::string>, std::string> list_reseller_users(
    const std::string& program, const std::string& reseller);

/// The accounts behind `uids` ("user-info-sys", then each uid in decimal, in
/// order, repeats kept). No uids: an empty result, and nothing is run. Uids
/// too many for one call's arguments are asked in the fewest calls that fit
/// (run_helper_texts), and their answers joined in order.
std::expected<UserLookupResult, std::string> lookup_users(const std::string& program,
                                                          std::span<const std::uint32_t> uids);

/// The helper's answer to "panel-feature" `feature`, as printed.
std::expected<std::string, std::string> query_panel_feature(const std::string& program,
                                                            const std::string& feature);

// --- Reading the answers --------------------------------------------------
// Each answer is exactly one JSON value, white space around it allowed.

/// A JSON array of strings. Error: "failed to parse admins JSON: {error}".
std::expected<std::vector<std::string>, std::string> parse_admins(const std::string& text);

/// As parse_admins. Error: "failed to parse reseller-users JSON: {error}".
std::expected<std::vector<std::string>, std::string> parse_reseller_users(const std::string& text);

/// An object {"users": [...], "unresolved": [...]}; every key of every record
/// is required and null is refused. Error: "failed to parse user-info-sys
/// JSON: {error}: output={the first 200 bytes of `text`}".
std::expected<UserLookupResult, std::string> parse_user_lookup(const std::string& text);

}  // namespace vt::plugins
