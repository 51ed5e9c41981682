#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/json_write.h"
#include "gather/fill_in.h"
#include "report/document.h"

namespace vt::report {

using namespace vt::gather;
namespace {

using Json = nlohmann::json;

std::vector<std::string> keys_of(const Json& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  return keys;
}

DomainMetrics domain_metrics(double base) {
  DomainMetrics metrics;
  metrics.cpu.all = base + 1;
  metrics.io.all = base + 2;
  metrics.iops = base + 3;
  metrics.ep = base + 4;
  metrics.mem = base + 5;
  metrics.pno = base + 6;
  return metrics;
}

TopUser sample_user() {
  TopUser user;
  user.id = 1001;
  user.username = "alice";
  user.domain = "alice.example";
  user.reseller = "res1";
  user.usage.cpu = {12.5, 3.25};
  user.usage.io = {2048.0, 512.0};
  user.usage.iops = 7.0;
  user.usage.ep = 2.0;
  user.usage.mem = 104857600.0;
  user.usage.pno = 5.0;
  user.limit.cpu = {100.0, 50.0};
  user.limit.io = {1048576.0, 262144.0};
  user.limit.iops = 1024.0;
  user.limit.ep = 20.0;
  user.limit.mem = 1073741824.0;
  user.limit.pno = 100.0;
  return user;
}

// --- user objects: the "mysql" members ----------------------------------------

struct MysqlCase {
  const char* name;
  Json usage_cpu;
  Json usage_io;
  Json limit_cpu;
  Json limit_io;
};
void PrintTo(const MysqlCase& c, std::ostream* os) {
  *os << c.name;
}

class UserObjectMysql : public ::testing::TestWithParam<MysqlCase> {};

void expect_mysql_member(const Json& object, const char* where, const Json& mysql) {
  const Json::json_pointer pointer(std::string(where) + "/mysql");
  if (mysql.is_null()) {
    EXPECT_FALSE(object.contains(pointer)) << where;
  } else {
    ASSERT_TRUE(object.contains(pointer)) << where;
    EXPECT_EQ(object.at(pointer), mysql) << where;
    EXPECT_EQ(object.at(pointer).type(), mysql.type()) << where;
  }
}

TEST_P(UserObjectMysql, KeepsValueOrLeavesOutNull) {
  const MysqlCase& param = GetParam();
  TopUser user = sample_user();
  user.usage.cpu.mysql = param.usage_cpu;
  user.usage.io.mysql = param.usage_io;
  user.limit.cpu.mysql = param.limit_cpu;
  user.limit.io.mysql = param.limit_io;

  const Json object = user_object(user);
  expect_mysql_member(object, "/usage/cpu", param.usage_cpu);
  expect_mysql_member(object, "/usage/io", param.usage_io);
  expect_mysql_member(object, "/limit/cpu", param.limit_cpu);
  expect_mysql_member(object, "/limit/io", param.limit_io);
  EXPECT_EQ(object.at("/usage/cpu/all"_json_pointer), 12.5);
  EXPECT_EQ(object.at("/usage/io/all"_json_pointer), 2048.0);
  EXPECT_EQ(object.at("/limit/cpu/all"_json_pointer), 100.0);
  EXPECT_EQ(object.at("/limit/io/all"_json_pointer), 1048576.0);
}

INSTANTIATE_TEST_SUITE_P(Values, UserObjectMysql,
                         ::testing::Values(MysqlCase{"AllZeroFloat", 0.0, 0.0, 0.0, 0.0},
                                           MysqlCase{"AllNull", nullptr, nullptr, nullptr, nullptr},
                                           MysqlCase{"AllDash", "-", "-", "-", "-"},
                                           MysqlCase{"Mixed", 1.5, "-", nullptr, 0.0},
                                           MysqlCase{"OnlyUsageIoNull", 4.0, nullptr, 6.0, 7.0},
                                           MysqlCase{"OnlyLimitIoNull", 4.0, 5.0, 6.0, nullptr},
                                           MysqlCase{"IntegerAndObject", 7,
                                                     Json::object({{"k", 1}}), Json::array({1, 2}),
                                                     false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UserObjectMysqlText, ZeroFloatIsPrintedWithFractionAndNullIsLeftOut) {
  TopUser user = sample_user();
  user.usage.cpu.mysql = 0.0;
  user.usage.io.mysql = nullptr;
  const Json object = user_object(user);
  const std::string usage = base::write_json(object.at("usage"));
  EXPECT_NE(usage.find("\"cpu\": {\n    \"all\": 12.5,\n    \"mysql\": 0.0\n  }"),
            std::string::npos)
      << usage;
  EXPECT_NE(usage.find("\"io\": {\n    \"all\": 2048.0\n  }"), std::string::npos) << usage;
  const std::string limit = base::write_json(object.at("limit"));
  EXPECT_NE(limit.find("\"mysql\": 50.0"), std::string::npos) << limit;
}

// --- user objects: restriction ------------------------------------------------

struct RestrictionCase {
  const char* name;
  bool restricted;
  std::optional<Restriction> restriction;
};
void PrintTo(const RestrictionCase& c, std::ostream* os) {
  *os << c.name;
}

class UserObjectRestriction : public ::testing::TestWithParam<RestrictionCase> {};

TEST_P(UserObjectRestriction, WritesRestrictionOnlyWhenPresent) {
  const RestrictionCase& param = GetParam();
  TopUser user = sample_user();
  user.restricted = param.restricted;
  user.restriction = param.restriction;

  const Json object = user_object(user);
  ASSERT_TRUE(object.at("restricted").is_boolean());
  EXPECT_EQ(object.at("restricted").get<bool>(), param.restricted);
  if (!param.restriction) {
    EXPECT_FALSE(object.contains("restriction"));
    return;
  }
  const Json& restriction = object.at("restriction");
  EXPECT_EQ(keys_of(restriction), (std::vector<std::string>{"reason", "time"}));
  EXPECT_EQ(restriction.at("reason"), param.restriction->reason);
  ASSERT_TRUE(restriction.at("time").is_number_integer());
  EXPECT_FALSE(restriction.at("time").is_number_float());
  EXPECT_EQ(restriction.at("time").get<std::int64_t>(), param.restriction->time);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserObjectRestriction,
    ::testing::Values(RestrictionCase{"NotRestricted", false, std::nullopt},
                      RestrictionCase{"RestrictedWithoutDetails", true, std::nullopt},
                      RestrictionCase{"RestrictedCpu", true, Restriction{1700000000, "cpu"}},
                      RestrictionCase{"FlagFalseButDetails", false, Restriction{5, "write"}},
                      RestrictionCase{"NegativeTime", true,
                                      Restriction{-9223372036854775807 - 1, "read"}},
                      RestrictionCase{"EmptyReason", true, Restriction{0, ""}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- user objects: domains and members ----------------------------------------

struct DomainsCase {
  const char* name;
  std::vector<TopDomain> domains;
};
void PrintTo(const DomainsCase& c, std::ostream* os) {
  *os << c.name;
}

class UserObjectDomains : public ::testing::TestWithParam<DomainsCase> {};

TEST_P(UserObjectDomains, WritesDomainsInOrder) {
  TopUser user = sample_user();
  user.domains = GetParam().domains;
  const Json object = user_object(user);

  if (user.domains.empty()) {
    EXPECT_FALSE(object.contains("domains"));
    return;
  }
  const Json& domains = object.at("domains");
  ASSERT_TRUE(domains.is_array());
  ASSERT_EQ(domains.size(), user.domains.size());
  for (std::size_t i = 0; i < user.domains.size(); ++i) {
    const TopDomain& domain = user.domains[i];
    const Json& written = domains[i];
    std::vector<std::string> keys = {"docroot", "id", "limit", "usage"};
    if (domain.name) keys.insert(keys.begin() + 3, "name");
    EXPECT_EQ(keys_of(written), keys);
    EXPECT_EQ(written.at("docroot"), domain.docroot);
    ASSERT_TRUE(written.at("id").is_number_unsigned());
    EXPECT_EQ(written.at("id").get<std::uint32_t>(), domain.id);
    if (domain.name) {
      EXPECT_EQ(written.at("name"), *domain.name);
    }
    for (const char* which : {"usage", "limit"}) {
      const DomainMetrics& metrics = which[0] == 'u' ? domain.usage : domain.limit;
      const Json& m = written.at(which);
      EXPECT_EQ(keys_of(m), (std::vector<std::string>{"cpu", "ep", "io", "iops", "mem", "pno"}));
      EXPECT_EQ(m.at("cpu"), Json::object({{"all", metrics.cpu.all}}));
      EXPECT_EQ(m.at("io"), Json::object({{"all", metrics.io.all}}));
      EXPECT_EQ(m.at("iops"), metrics.iops);
      EXPECT_EQ(m.at("ep"), metrics.ep);
      EXPECT_EQ(m.at("mem"), metrics.mem);
      EXPECT_EQ(m.at("pno"), metrics.pno);
      EXPECT_TRUE(m.at("pno").is_number_float());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserObjectDomains,
    ::testing::Values(
        DomainsCase{"None", {}},
        DomainsCase{"OneNamed",
                    {TopDomain{7, "a.example", "/home/a/public_html", domain_metrics(0),
                               domain_metrics(100)}}},
        DomainsCase{"OneUnnamed",
                    {TopDomain{8, std::nullopt, "", domain_metrics(10), domain_metrics(20)}}},
        DomainsCase{
            "SnapshotOrderKept",
            {TopDomain{9, "z.example", "/z", domain_metrics(1), domain_metrics(2)},
             TopDomain{3, std::nullopt, "/b", domain_metrics(3), domain_metrics(4)},
             TopDomain{4294967295u, "a.example", "/a", domain_metrics(5), domain_metrics(6)}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UserObject, MembersAndTypes) {
  TopUser user = sample_user();
  user.id = 4294967295u;
  const Json object = user_object(user);

  EXPECT_EQ(keys_of(object), (std::vector<std::string>{"domain", "id", "limit", "reseller",
                                                       "restricted", "usage", "username"}));
  EXPECT_EQ(object.at("domain"), "alice.example");
  EXPECT_EQ(object.at("reseller"), "res1");
  EXPECT_EQ(object.at("username"), "alice");
  ASSERT_TRUE(object.at("id").is_number_unsigned());
  EXPECT_EQ(object.at("id").get<std::uint64_t>(), 4294967295u);

  const std::vector<std::string> metric_keys = {"cpu", "ep", "io", "iops", "mem", "pno"};
  EXPECT_EQ(keys_of(object.at("usage")), metric_keys);
  EXPECT_EQ(keys_of(object.at("limit")), metric_keys);
  // Each member comes from its own field, and whole numbers stay floats.
  const Json& usage = object.at("usage");
  const Json& limit = object.at("limit");
  EXPECT_EQ(usage.at("iops"), 7.0);
  EXPECT_EQ(usage.at("ep"), 2.0);
  EXPECT_EQ(usage.at("mem"), 104857600.0);
  EXPECT_EQ(usage.at("pno"), 5.0);
  EXPECT_EQ(limit.at("iops"), 1024.0);
  EXPECT_EQ(limit.at("ep"), 20.0);
  EXPECT_EQ(limit.at("mem"), 1073741824.0);
  EXPECT_EQ(limit.at("pno"), 100.0);
  for (const char* key : {"iops", "ep", "mem", "pno"}) {
    EXPECT_TRUE(usage.at(key).is_number_float()) << key;
    EXPECT_TRUE(limit.at(key).is_number_float()) << key;
  }
}

// --- strip_mysql --------------------------------------------------------------

struct StripCase {
  const char* name;
  Json mysql;
  bool restricted;
  std::optional<Restriction> restriction;
};
void PrintTo(const StripCase& c, std::ostream* os) {
  *os << c.name;
}

class StripMysql : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripMysql, RemovesMysqlAndRestrictionOnly) {
  const StripCase& param = GetParam();
  TopUser user = sample_user();
  user.usage.cpu.mysql = param.mysql;
  user.usage.io.mysql = param.mysql;
  user.limit.cpu.mysql = param.mysql;
  user.limit.io.mysql = param.mysql;
  user.restricted = param.restricted;
  user.restriction = param.restriction;
  user.domains = {TopDomain{1, "d.example", "/d", domain_metrics(0), domain_metrics(1)}};
  const TopUser before = user;

  strip_mysql(user);

  EXPECT_TRUE(user.usage.cpu.mysql.is_null());
  EXPECT_TRUE(user.usage.io.mysql.is_null());
  EXPECT_TRUE(user.limit.cpu.mysql.is_null());
  EXPECT_TRUE(user.limit.io.mysql.is_null());
  EXPECT_FALSE(user.restricted);
  EXPECT_FALSE(user.restriction.has_value());
  // Everything else stays.
  EXPECT_EQ(user.id, before.id);
  EXPECT_EQ(user.username, before.username);
  EXPECT_EQ(user.usage.cpu.all, before.usage.cpu.all);
  EXPECT_EQ(user.limit.io.all, before.limit.io.all);
  EXPECT_EQ(user.usage.mem, before.usage.mem);
  EXPECT_EQ(user.domains.size(), before.domains.size());

  const std::string text = base::write_json(user_object(user));
  EXPECT_EQ(text.find("mysql"), std::string::npos) << text;
  EXPECT_EQ(text.find("restriction"), std::string::npos) << text;
  EXPECT_NE(text.find("\"restricted\": false"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StripMysql,
    ::testing::Values(StripCase{"DefaultZero", 0.0, false, std::nullopt},
                      StripCase{"NumbersAndRestriction", 12.0, true, Restriction{1700, "cpu"}},
                      StripCase{"DashRestrictedFlagOnly", "-", true, std::nullopt},
                      StripCase{"AlreadyNull", nullptr, false, Restriction{1, "read"}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the top-level report ------------------------------------------------------

struct TopLevelCase {
  const char* name;
  core::TesselStatus tessel;
  bool has_warning;
  bool has_context;
};
void PrintTo(const TopLevelCase& c, std::ostream* os) {
  *os << c.name;
}

class UsageReportTopLevel : public ::testing::TestWithParam<TopLevelCase> {};

TEST_P(UsageReportTopLevel, WritesMembersForStatus) {
  const TopLevelCase& param = GetParam();
  std::vector<TopUser> users = {sample_user(), sample_user()};
  users[1].id = 1002;
  users[1].username = "bob";
  const std::vector<Json> resellers = {Json::object({{"name", "res1"}, {"id", 5}}), "raw", 3};

  const Json report = usage_report(users, resellers, 1700000000.0, param.tessel, "all");

  std::vector<std::string> keys;
  if (param.has_context) keys.push_back("context");
  for (const char* key : {"mySqlTsl", "mySqlTslMode", "resellers", "result", "timestamp", "users"})
    keys.push_back(key);
  if (param.has_warning) keys.push_back("warning");
  EXPECT_EQ(keys_of(report), keys);

  EXPECT_EQ(report.at("mySqlTsl"), param.tessel.status);
  EXPECT_EQ(report.at("mySqlTslMode"), "all");
  EXPECT_EQ(report.at("result"), "success");
  ASSERT_TRUE(report.at("timestamp").is_number_float());
  EXPECT_EQ(report.at("timestamp").get<double>(), 1700000000.0);
  EXPECT_EQ(report.at("resellers"), Json(resellers));
  ASSERT_EQ(report.at("users").size(), 2u);
  EXPECT_EQ(report.at("users")[0], user_object(users[0]));
  EXPECT_EQ(report.at("users")[1], user_object(users[1]));
  if (param.has_warning) {
    EXPECT_EQ(report.at("warning"), *param.tessel.warning);
  }
  if (param.has_context) {
    EXPECT_EQ(report.at("context"), *param.tessel.context);
    EXPECT_EQ(report.at("context").type(), param.tessel.context->type());
  }
}

const Json kContext = Json::object({{"error", "timeout"}, {"code", 3}});

INSTANTIATE_TEST_SUITE_P(
    Statuses, UsageReportTopLevel,
    ::testing::Values(
        TopLevelCase{"ErrorWithBoth", {"error", "Failed: %(error)s", kContext}, true, true},
        TopLevelCase{"ErrorWarningOnly", {"error", "Failed", std::nullopt}, true, false},
        TopLevelCase{"ErrorContextOnly", {"error", std::nullopt, kContext}, false, true},
        TopLevelCase{"ErrorNullContext", {"error", std::nullopt, Json(nullptr)}, false, true},
        TopLevelCase{"ErrorNeither", {"error", std::nullopt, std::nullopt}, false, false},
        TopLevelCase{"DisabledIgnoresBoth", {"disabled", "w", kContext}, false, false},
        TopLevelCase{"EnabledIgnoresBoth", {"enabled", "w", kContext}, false, false},
        TopLevelCase{"CapitalisedErrorIgnoresBoth", {"Error", "w", kContext}, false, false},
        TopLevelCase{"EnabledPlain", {"enabled", std::nullopt, std::nullopt}, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsageReport, EmptyListsStayArrays) {
  const Json report = usage_report({}, {}, 0.0, core::TesselStatus{}, "");
  EXPECT_EQ(base::write_json(report),
            "{\n"
            "  \"mySqlTsl\": \"disabled\",\n"
            "  \"mySqlTslMode\": \"\",\n"
            "  \"resellers\": [],\n"
            "  \"result\": \"success\",\n"
            "  \"timestamp\": 0.0,\n"
            "  \"users\": []\n"
            "}\n");
}

TEST(UsageReport, SmallReportText) {
  TopUser user;
  user.id = 501;
  user.username = "bob";
  user.domain = "bob.example";
  user.reseller = "N/A";
  user.usage.cpu = {25.0, 0.0};
  user.usage.io = {1.5, "-"};
  user.usage.iops = 3.0;
  user.usage.ep = 1.0;
  user.usage.mem = 0.5;
  user.usage.pno = 2.0;
  user.limit.cpu = {100.0, nullptr};
  user.limit.io = {1e20, nullptr};
  user.limit.iops = 1024.0;
  user.limit.ep = 20.0;
  user.limit.mem = 1e-7;
  user.limit.pno = 100.0;
  user.restricted = true;
  user.restriction = Restriction{1700000000, "cpu"};
  DomainMetrics usage;
  usage.cpu.all = 0.25;
  usage.iops = 1.0;
  DomainMetrics limit;
  limit.cpu.all = 100.0;
  limit.io.all = 2048.0;
  user.domains = {TopDomain{12, "sub.bob.example", "/home/bob/sub", usage, limit}};

  const core::TesselStatus tessel{"error", "Tessel: %(reason)s", Json::object({{"reason", "x"}})};
  const Json report =
      usage_report({user}, {Json::object({{"name", "N/A"}})}, 1700000123.0, tessel, "off");
  EXPECT_EQ(base::write_json(report),
            R"({
  "context": {
    "reason": "x"
  },
  "mySqlTsl": "error",
  "mySqlTslMode": "off",
  "resellers": [
    {
      "name": "N/A"
    }
  ],
  "result": "success",
  "timestamp": 1700000123.0,
  "users": [
    {
      "domain": "bob.example",
      "domains": [
        {
          "docroot": "/home/bob/sub",
          "id": 12,
          "limit": {
            "cpu": {
              "all": 100.0
            },
            "ep": 0.0,
            "io": {
              "all": 2048.0
            },
            "iops": 0.0,
            "mem": 0.0,
            "pno": 0.0
          },
          "name": "sub.bob.example",
          "usage": {
            "cpu": {
              "all": 0.25
            },
            "ep": 0.0,
            "io": {
              "all": 0.0
            },
            "iops": 1.0,
            "mem": 0.0,
            "pno": 0.0
          }
        }
      ],
      "id": 501,
      "limit": {
        "cpu": {
          "all": 100.0
        },
        "ep": 20.0,
        "io": {
          "all": 1e20
        },
        "iops": 1024.0,
        "mem": 1e-7,
        "pno": 100.0
      },
      "reseller": "N/A",
      "restricted": true,
      "restriction": {
        "reason": "cpu",
        "time": 1700000000
      },
      "usage": {
        "cpu": {
          "all": 25.0,
          "mysql": 0.0
        },
        "ep": 1.0,
        "io": {
          "all": 1.5,
          "mysql": "-"
        },
        "iops": 3.0,
        "mem": 0.5,
        "pno": 2.0
      },
      "username": "bob"
    }
  ],
  "warning": "Tessel: %(reason)s"
}
)");
}

// --- status documents -----------------------------------------------------------

struct StatusCase {
  const char* name;
  std::string message;
  StatusContext context;
  double now;
  std::string expected;
};
void PrintTo(const StatusCase& c, std::ostream* os) {
  *os << c.name;
}

class StatusDocumentText : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusDocumentText, WritesDocument) {
  const StatusCase& param = GetParam();
  const Json document = status_document(param.message, param.context, param.now);
  EXPECT_TRUE(document.at("timestamp").is_number_float());
  EXPECT_EQ(base::write_json(document), param.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusDocumentText,
    ::testing::Values(
        StatusCase{"Stopped", "KOB Stats is stopped", StatusContext::omitted, 1700000000.0,
                   "{\n  \"result\": \"KOB Stats is stopped\",\n"
                   "  \"timestamp\": 1700000000.0\n}\n"},
        StatusCase{"DeniedWithContext", "Permission denied", StatusContext::empty_object, 1234.0,
                   "{\n  \"context\": {},\n  \"result\": \"Permission denied\",\n"
                   "  \"timestamp\": 1234.0\n}\n"},
        StatusCase{"EscapedMessage", "say \"no\"\n", StatusContext::omitted, 0.0,
                   "{\n  \"result\": \"say \\\"no\\\"\\n\",\n  \"timestamp\": 0.0\n}\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EpochSecondsNow, IsWholeSecondsOfTheCurrentTime) {
  // The same clock on both sides: time() reads a coarser one, which can
  // still show the last second when the precise clock has passed it.
  const auto seconds = [] {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  const double before = std::floor(seconds());
  const double now = epoch_seconds_now();
  const double after = seconds();
  EXPECT_EQ(now, std::floor(now));
  EXPECT_GE(now, before);
  EXPECT_LE(now, after);
}

}  // namespace
}  // namespace vt::report
