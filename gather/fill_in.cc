#include "gather/fill_in.h"

#include <cmath>
#include <limits>

#include "base/json_record.h"

namespace vt::gather {
namespace {

// A "mysql" member holds numbers only while they are finite.
nlohmann::json mysql_number(double value) {
  if (!std::isfinite(value)) return nullptr;
  return value;
}

constexpr std::uint64_t kContainerIdBase = 1000000000;

// The account id a reseller entry stands for: container ids count from
// 1000000000. An id that does not fit a user id names nobody.
std::optional<std::uint32_t> reseller_account_id(std::uint64_t id) {
  if (id >= kContainerIdBase) id -= kContainerIdBase;
  if (id > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return static_cast<std::uint32_t>(id);
}

}  // namespace

void remove_domains(TopUser& user, bool keep_domains) {
  // Its room goes too: a kept record would hold it to the end of the run.
  if (!keep_domains) std::vector<TopDomain>().swap(user.domains);
}

void fill_username(TopUser& user, const LoginNames& login_names) {
  if (!user.username.empty()) return;
  const std::string* name = account_name(user, login_names);
  user.username = name != nullptr ? *name : kNotAvailable;
}

void fill_domain_and_reseller(TopUser& user, const PanelAccounts& panel) {
  if (user.username == kNotAvailable) {
    user.domain = user.reseller = kNotAvailable;
    return;
  }
  const auto account = panel.find(static_cast<std::int64_t>(user.id));
  if (user.domain.empty())
    user.domain = account != panel.end() ? account->second.domain : kNotAvailable;
  if (user.reseller.empty()) {
    user.reseller = account != panel.end() ? account->second.reseller : kNotAvailable;
  }
}

void merge_mysql(TopUser& user, const MysqlMerge& mysql) {
  static const core::DbTslStats kNoFigures;
  const auto found = mysql.stats.find(user.username);
  const core::DbTslStats& record = found != mysql.stats.end() ? found->second : kNoFigures;

  if (mysql.mode == "all") {
    user.limit.cpu.mysql = "-";
    user.limit.io.mysql = "-";
    // fmin takes the other value when one of the two is NaN.
    user.usage.cpu.mysql = mysql_number(std::fmin(user.usage.cpu.all, record.cpu));
    user.usage.io.mysql = mysql_number(std::fmin(user.usage.io.all, record.io));
  } else {
    const auto limits = mysql.limits.find(user.username);
    if (limits != mysql.limits.end() && !limits->second.error) {
      user.limit.cpu.mysql = mysql_number(limits->second.cpu.value_or(0.0));
      user.limit.io.mysql = mysql_number(1024 * limits->second.io.value_or(0.0));
    }
    user.usage.cpu.mysql = mysql_number(record.cpu);
    user.usage.io.mysql = mysql_number(record.io);
  }

  if (record.cause_of_restrict.empty() || record.cause_of_restrict == "-") {
    user.restricted = false;
    user.restriction.reset();
  } else {
    user.restricted = true;
    user.restriction = Restriction{.time = record.time_of_restrict,
                                   .reason = "Violated the " + record.cause_of_restrict + " limit"};
  }
}

std::vector<std::string> mysql_names(const std::vector<std::uint32_t>& ids,
                                     const std::vector<std::string>& usernames,
                                     const LoginNames& login_names) {
  std::vector<std::string> names;
  names.reserve(ids.size());
  for (std::size_t i = 0; i < ids.size() && i < usernames.size(); ++i) {
    const std::string* name =
        !usernames[i].empty() ? &usernames[i] : login_name(login_names, ids[i]);
    if (name != nullptr && !name->empty() && *name != kNotAvailable) names.push_back(*name);
  }
  return names;
}

std::vector<nlohmann::json> reseller_entries(const std::vector<nlohmann::json>& resellers,
                                             const CallerIdentity& caller,
                                             const std::optional<std::string>& for_reseller,
                                             const LoginNames& login_names) {
  std::vector<nlohmann::json> entries;
  if (!caller.is_root) return entries;
  for (nlohmann::json entry : resellers) {
    if (entry.is_object() && !entry.empty()) {
      const auto id = entry.find("id");
      const auto* digits = id != entry.end() ? base::json::as_integer_text(*id) : nullptr;
      if (digits != nullptr && digits->front() != '-') {
        entry["name"] = kNotAvailable;  // a non-negative integer beyond 64 bits
      } else if (id != entry.end() && (id->is_number_unsigned() ||
                                       (id->is_number_integer() && id->get<std::int64_t>() >= 0))) {
        const auto account = reseller_account_id(id->get<std::uint64_t>());
        const std::string* name = account ? login_name(login_names, *account) : nullptr;
        entry["name"] = name != nullptr ? *name : kNotAvailable;
      }
    }
    if (for_reseller) {
      const auto name = entry.is_object() ? entry.find("name") : entry.end();
      if (!entry.is_object() || name == entry.end() || !name->is_string() ||
          name->get_ref<const std::string&>() != *for_reseller) {
        continue;
      }
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

void strip_mysql(TopUser& user) {
  user.usage.cpu.mysql = nullptr;
  user.usage.io.mysql = nullptr;
  user.limit.cpu.mysql = nullptr;
  user.limit.io.mysql = nullptr;
  user.restricted = false;
  user.restriction.reset();
}

}  // namespace vt::gather
