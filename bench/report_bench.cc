// Cost of building and writing the usage report for a full page of users.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/json_write.h"
#include "report/document.h"

namespace {

using Json = nlohmann::json;
using vt::gather::TopUser;

constexpr int kUsers = 25;
constexpr int kDomainsPerUser = 3;

vt::gather::DomainMetrics domain_metrics(double scale) {
  vt::gather::DomainMetrics metrics;
  metrics.cpu.all = 3.7 * scale;
  metrics.io.all = 40960.0 * scale;
  metrics.iops = 12.0 * scale;
  metrics.ep = 1.0 * scale;
  metrics.mem = 52428800.0 * scale;
  metrics.pno = 4.0 * scale;
  return metrics;
}

std::vector<TopUser> typical_users() {
  std::vector<TopUser> users;
  for (int i = 0; i < kUsers; ++i) {
    TopUser user;
    user.id = 1000 + i;
    user.username = "user" + std::to_string(i);
    user.domain = user.username + ".example.com";
    user.reseller = i % 3 == 0 ? "N/A" : "reseller" + std::to_string(i % 3);
    user.usage.cpu = {17.25 + i * 0.731, 1.2 * i};
    user.usage.io = {102400.0 * i + 0.1, "-"};
    user.usage.iops = 33.0 + i;
    user.usage.ep = 2.0;
    user.usage.mem = 134217728.0 + i * 4096.5;
    user.usage.pno = 7.0;
    user.limit.cpu = {100.0, 0.0};
    user.limit.io = {1048576.0, 0.0};
    user.limit.iops = 1024.0;
    user.limit.ep = 20.0;
    user.limit.mem = 1073741824.0;
    user.limit.pno = 100.0;
    if (i % 5 == 0) {
      user.restricted = true;
      user.restriction = vt::gather::Restriction{1700000000 + i, "cpu"};
    }
    for (int d = 0; d < kDomainsPerUser; ++d) {
      vt::gather::TopDomain domain;
      domain.id = static_cast<std::uint32_t>(i * 10 + d);
      if (d != 2) domain.name = "d" + std::to_string(d) + "." + user.domain;
      domain.docroot = "/home/" + user.username + "/public_html/d" + std::to_string(d);
      domain.usage = domain_metrics(0.1 * (d + 1));
      domain.limit = domain_metrics(10.0);
      user.domains.push_back(std::move(domain));
    }
    users.push_back(std::move(user));
  }
  return users;
}

std::vector<Json> typical_resellers() {
  std::vector<Json> resellers;
  for (int r = 1; r <= 3; ++r) {
    Json entry = Json::object();
    entry["name"] = "reseller" + std::to_string(r);
    entry["id"] = 2000 + r;
    entry["usage"] = Json::object({{"cpu", 12.5 * r}, {"mem", 268435456.0}});
    resellers.push_back(std::move(entry));
  }
  return resellers;
}

const vt::core::TesselStatus kTessel{"enabled", std::nullopt, std::nullopt};

void BM_BuildAndWriteReport(benchmark::State& state) {
  const std::vector<TopUser> users = typical_users();
  const std::vector<Json> resellers = typical_resellers();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const Json report = vt::report::usage_report(users, resellers, 1700000000.0, kTessel, "all");
    const std::string text = vt::base::write_json(report);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_BuildAndWriteReport);

void BM_BuildReport(benchmark::State& state) {
  const std::vector<TopUser> users = typical_users();
  const std::vector<Json> resellers = typical_resellers();
  for (auto _ : state) {
    Json report = vt::report::usage_report(users, resellers, 1700000000.0, kTessel, "all");
    benchmark::DoNotOptimize(report);
  }
}
BENCHMARK(BM_BuildReport);

void BM_WriteReport(benchmark::State& state) {
  const Json report =
      vt::report::usage_report(typical_users(), typical_resellers(), 1700000000.0, kTessel, "all");
  for (auto _ : state) {
    std::string text = vt::base::write_json(report);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_WriteReport);

void BM_FormatDouble(benchmark::State& state) {
  const double values[] = {0.0, 2.5, 100000.0, 1073741824.0, 17.981, 1e-7, 1.7976931348623157e308};
  for (auto _ : state) {
    for (double value : values) {
      std::string text = vt::base::write_json(nlohmann::json(value));
      benchmark::DoNotOptimize(text.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * std::size(values));
}
BENCHMARK(BM_FormatDouble);

}  // namespace
