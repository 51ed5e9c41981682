#include "report/document.h"

#include <utility>

namespace vt::report {

using gather::DomainScalar;
using gather::TopDomain;
using gather::TopUser;

namespace {

using Json = nlohmann::json;

// A user's CPU or I/O: {"all": all, "mysql": mysql}, the "mysql" member left
// out when it is null.
template <typename Share>
Json share_object(const Share& share) {
  Json object = Json::object();
  object["all"] = share.all;
  if (!share.mysql.is_null()) object["mysql"] = share.mysql;
  return object;
}

// A domain's CPU or I/O: {"all": all}.
Json share_object(const DomainScalar& share) {
  Json object = Json::object();
  object["all"] = share.all;
  return object;
}

// A usage or limit block of a user (TopUsage) or of a domain
// (DomainMetrics).
template <typename Block>
Json figures_object(const Block& metrics) {
  Json object = Json::object();
  object["cpu"] = share_object(metrics.cpu);
  object["ep"] = metrics.ep;
  object["io"] = share_object(metrics.io);
  object["iops"] = metrics.iops;
  object["mem"] = metrics.mem;
  object["pno"] = metrics.pno;
  return object;
}

Json domain_object(const TopDomain& domain) {
  Json object = Json::object();
  object["docroot"] = domain.docroot;
  object["id"] = domain.id;
  object["limit"] = figures_object(domain.limit);
  if (domain.name) object["name"] = *domain.name;
  object["usage"] = figures_object(domain.usage);
  return object;
}

}  // namespace

nlohmann::json status_document(const std::string& message, StatusContext context, double now) {
  Json document = Json::object();
  if (context == StatusContext::empty_object) document["context"] = Json::object();
  document["result"] = message;
  document["timestamp"] = now;
  return document;
}

nlohmann::json user_object(const TopUser& user) {
  Json object = Json::object();
  object["domain"] = user.domain;
  if (!user.domains.empty()) {
    Json domains = Json::array();
    domains.get_ref<Json::array_t&>().reserve(user.domains.size());
    for (const TopDomain& domain : user.domains) domains.push_back(domain_object(domain));
    object["domains"] = std::move(domains);
  }
  object["id"] = user.id;
  object["limit"] = figures_object(user.limit);
  object["reseller"] = user.reseller;
  object["restricted"] = user.restricted;
  if (user.restriction) {
    Json restriction = Json::object();
    restriction["reason"] = user.restriction->reason;
    restriction["time"] = user.restriction->time;
    object["restriction"] = std::move(restriction);
  }
  object["usage"] = figures_object(user.usage);
  object["username"] = user.username;
  return object;
}

nlohmann::json usage_report(const std::vector<TopUser>& users,
                            const std::vector<nlohmann::json>& resellers, double timestamp,
                            const core::TesselStatus& tessel, const std::string& tessel_mode) {
  Json report = Json::object();
  report["timestamp"] = timestamp;
  report["result"] = "success";

  Json user_list = Json::array();
  user_list.get_ref<Json::array_t&>().reserve(users.size());
  for (const TopUser& user : users) user_list.push_back(user_object(user));
  report["users"] = std::move(user_list);

  Json reseller_list = Json::array();
  reseller_list.get_ref<Json::array_t&>() = resellers;
  report["resellers"] = std::move(reseller_list);

  report["mySqlTsl"] = tessel.status;
  report["mySqlTslMode"] = tessel_mode;
  if (tessel.status == "error") {
    if (tessel.warning) report["warning"] = *tessel.warning;
    if (tessel.context) report["context"] = *tessel.context;
  }
  return report;
}

}  // namespace vt::report
