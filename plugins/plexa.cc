#include "plugins/plexa.h"

#include <algorithm>
#include <iterator>

#include "base/json_decode.h"
#include "plugins/parse_failure.h"
#include "plugins/runner.h"

namespace vt::plugins {
namespace {

namespace json = base::json;
using json::Presence::required;

constexpr auto kUserInfo = json::record<UserInfo>(
    "UserInfo", json::Form::object, json::field<&UserInfo::uid>("uid", required),
    json::field<&UserInfo::username>("username", required),
    json::field<&UserInfo::email>("email", required),
    json::field<&UserInfo::domain>("domain", required),
    json::field<&UserInfo::locale>("locale", required),
    json::field<&UserInfo::reseller>("reseller", required),
    json::field<&UserInfo::display_name>("display_name", required));

constexpr auto kUnresolvedUid = json::record<UnresolvedUid>(
    "UnresolvedUid", json::Form::object, json::field<&UnresolvedUid::uid>("uid", required),
    json::field<&UnresolvedUid::reason>("reason", required));

constexpr auto kUserLookupResult = json::record<UserLookupResult>(
    "UserLookupResult", json::Form::object,
    json::field<&UserLookupResult::users>("users", required, kUserInfo),
    json::field<&UserLookupResult::unresolved>("unresolved", required, kUnresolvedUid));

std::expected<std::vector<std::string>, std::string> parse_names(std::string_view answer,
                                                                 const std::string& text) {
  auto names = json::decode_json<std::vector<std::string>>(text);
  if (!names) return std::unexpected(parse_failure(answer, names.error()));
  return names;
}

}  // namespace

std::expected<std::vector<std::string>, std::string> parse_admins(const std::string& text) {
  return parse_names("admins", text);
}

std::expected<std::vector<std::string>, std::string> parse_reseller_users(const std::string& text) {
  return parse_names("reseller-users", text);
}

std::expected<UserLookupResult, std::string> parse_user_lookup(const std::string& text) {
  auto result = json::decode_json<UserLookupResult>(text, kUserLookupResult);
  if (!result) return std::unexpected(parse_failure_quoting("user-info-sys", result.error(), text));
  return result;
}

std::expected<std::vector<std::string>, std::string> list_admins(const std::string& program) {
  const auto text = run_helper_text(program, {"admins"}, kPlexaLimitSeconds);
  if (!text) return std::unexpected(text.error());
  return parse_admins(*text);
}

std::expected<std::vector<std::string>, std::string> list_reseller_users(
    const std::string& program, const std::string& reseller) {
  const auto text = run_helper_text(program, {"reseller-users", reseller}, kPlexaLimitSeconds);
  if (!text) return std::unexpected(text.error());
  return parse_reseller_users(*text);
}

std::expected<UserLookupResult, std::string> lookup_users(const std::string& program,
                                                          std::span<const std::uint32_t> uids) {
  if (uids.empty()) return UserLookupResult{};
  const auto texts = run_helper_texts(
      program, {"user-info-sys"}, uids.size(),
      [&](std::size_t i) { return std::to_string(uids[i]); }, kPlexaLimitSeconds);
  if (!texts) return std::unexpected(texts.error());
  UserLookupResult all;
  for (const std::string& text : *texts) {
    auto part = parse_user_lookup(text);
    if (!part) return std::unexpected(std::move(part.error()));
    std::move(part->users.begin(), part->users.end(), std::back_inserter(all.users));
    std::move(part->unresolved.begin(), part->unresolved.end(), std::back_inserter(all.unresolved));
  }
  return all;
}

std::expected<std::string, std::string> query_panel_feature(const std::string& program,
                                                            const std::string& feature) {
  return run_helper_text(program, {"panel-feature", feature}, kPlexaLimitSeconds);
}

}  // namespace vt::plugins
