// Writes the files of a simulated hosting server into a folder, laid out as
// on the server itself: the statistics service's snapshot, pid file and
// configuration, the login range and password database, the MySQL tessel
// service's snapshot, and stand-ins for the helper programs and tools that
// answer from generated data. The end-to-end tests, the demo and the
// benchmarks lay it over the real paths in a private mount namespace.
//
//   vt_gen_server FOLDER [--users N] [--seed S] [--compact] [--no-tessel]
//                        [--mode MODE]
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

struct Options {
  fs::path folder;
  std::uint64_t users = 40;
  std::uint64_t seed = 1;
  int indent = 1;  // the statistics service saves readable files
  bool tessel = true;
  std::string mode = "all";
};

struct Account {
  std::uint32_t uid = 0;
  std::string name;
  std::string reseller;  // "" for none
  bool system = false;
};

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : random_(seed) {}

  double uniform(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random_);
  }
  bool chance(double p) { return uniform(0, 1) < p; }
  // Two decimals, as the statistics service saves its figures.
  double figure(double low, double high) { return std::round(uniform(low, high) * 100) / 100; }

  json metrics(bool usage, bool with_mysql) {
    auto part = [&](double high) {
      json value = {{"all", usage ? figure(0, high) : high}};
      if (with_mysql) value["mysql"] = usage ? figure(0, high / 4) : 0.0;
      return value;
    };
    return {{"cpu", part(100)},
            {"io", part(1048576)},
            {"iops", usage ? figure(0, 1024) : 1024.0},
            {"ep", usage ? std::floor(uniform(0, 20)) : 20.0},
            {"mem", usage ? std::floor(uniform(0, 1073741824)) : 1073741824.0},
            {"pno", usage ? std::floor(uniform(0, 100)) : 100.0}};
  }

  json domain(std::uint32_t id, const std::string& owner, int n) {
    json d = {{"id", id},
              {"docroot", "/home/" + owner + "/public_html/site" + std::to_string(n)},
              {"usage", metrics(true, false)},
              {"limit", metrics(false, false)}};
    if (chance(0.8)) d["name"] = "site" + std::to_string(n) + "." + owner + ".example";
    return d;
  }

  // One snapshot record. Some accounts leave domain, reseller or even the
  // name to the other sources, as the statistics service does.
  json user(std::uint32_t id, const Account& account) {
    json u = {{"id", id}, {"usage", metrics(true, true)}, {"limit", metrics(false, true)}};
    if (account.system || chance(0.9)) u["username"] = account.name;
    if (chance(0.5)) u["domain"] = account.name + ".example";
    if (!account.reseller.empty() && chance(0.5)) u["reseller"] = account.reseller;
    if (chance(0.05)) {
      u["restricted"] = true;
      u["restriction"] = {{"time", 1765000000 - static_cast<std::int64_t>(uniform(0, 86400))},
                          {"reason", chance(0.5) ? "cpu" : "io"}};
    }
    if (chance(0.1)) {
      json domains = json::array();
      const int count = 1 + static_cast<int>(uniform(0, 3));
      for (int n = 1; n <= count; ++n) domains.push_back(domain(id * 10 + n, account.name, n));
      u["domains"] = domains;
    }
    return u;
  }

 private:
  std::mt19937_64 random_;
};

void write_file(const fs::path& path, const std::string& text, fs::perms perms = fs::perms(0644)) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  fs::permissions(path, perms);
}

// The admin's and the resellers' uids; the customers' uids go around them.
constexpr std::uint32_t kAdminUid = 1900;
constexpr std::uint32_t kFirstCustomerUid = 1001;

std::vector<Account> accounts(std::uint64_t count) {
  std::vector<Account> list = {
      {0, "root", "", true}, {48, "apache", "", true}, {999, "mailman", "", true}};
  list.push_back({kAdminUid, "admin", ""});
  list.push_back({kAdminUid + 1, "res1", ""});
  list.push_back({kAdminUid + 2, "res2", ""});
  std::uint32_t uid = kFirstCustomerUid;
  for (std::uint64_t i = 0; list.size() < count; ++i, ++uid) {
    if (uid == kAdminUid) uid += 3;
    char name[32];
    std::snprintf(name, sizeof name, "user%04llu", static_cast<unsigned long long>(i + 1));
    const char* reseller = i % 3 == 1 ? "res1" : i % 3 == 2 ? "res2" : "";
    list.push_back({uid, name, reseller});
  }
  return list;
}

// The login range's end: the usual 60000, or the highest uid given out, so
// that no generated account falls outside it.
std::uint32_t uid_max(const std::vector<Account>& list) {
  std::uint32_t highest = 60000;
  for (const Account& a : list) highest = std::max(highest, a.uid);
  return highest;
}

std::string passwd(const std::vector<Account>& list) {
  std::string text =
      "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
      "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n";
  for (const Account& a : list) {
    const std::string home = a.uid == 0 ? "/root" : "/home/" + a.name;
    text += a.name + ":x:" + std::to_string(a.uid) + ":" + std::to_string(a.uid) + "::" + home +
            ":/bin/bash\n";
  }
  return text;
}

void write_server(const Options& options) {
  Generator gen(options.seed);
  const std::vector<Account> list = accounts(options.users > 6 ? options.users - 1 : 6);
  const fs::path root = options.folder;
  const fs::path data = root / "usr/share/kob-stats3/scripts/data";

  json users = json::array();
  json panel = json::array();
  json dbtsl = json::object();
  json limits = json::object();
  std::string tsltop = "USER CPU READ WRITE RESTRICTED\n";
  std::map<std::string, json> reseller_users;
  for (const Account& a : list) {
    users.push_back(gen.user(a.uid, a));
    if (a.system) continue;
    panel.push_back({{"uid", a.uid},
                     {"username", a.name},
                     {"email", a.name + "@mail.example"},
                     {"domain", gen.chance(0.9) ? a.name + ".example" : ""},
                     {"locale", "en_US"},
                     {"reseller", a.reseller},
                     {"display_name", "Account " + a.name}});
    if (!a.reseller.empty()) reseller_users[a.reseller].push_back(a.name);
    if (gen.chance(0.6)) {
      dbtsl[a.name] = {{"cpu", gen.figure(0, 30)},
                       {"io", gen.figure(0, 262144)},
                       {"cause_of_restrict", "-"},
                       {"time_of_restrict", 0}};
    }
    if (gen.chance(0.3)) {
      const bool restricted = gen.chance(0.2);
      tsltop += a.name + " " + std::to_string(gen.figure(0, 40)) + "/0 " +
                std::to_string(static_cast<int>(gen.uniform(0, 900))) + "K/0 " +
                std::to_string(static_cast<int>(gen.uniform(0, 9))) + "M " +
                (restricted ? std::string("cpu/1765000100") : std::string("-")) + "\n";
    }
    json entry = {{"cpu", std::floor(gen.uniform(50, 200))},
                  {"io", std::floor(gen.uniform(1, 64))}};
    if (gen.chance(0.05)) entry = {{"error", "no such user in the tessel service"}};
    limits[a.name] = entry;
  }
  // The container of res1, as the statistics service numbers it.
  users.push_back(gen.user(1000001901, {1000001901, "", "", false}));

  const json snapshot = {{"timestamp", 1765000000.0},
                         {"users", users},
                         {"resellers", json::array({{{"id", 1000001901}, {"users", 14}},
                                                    {{"id", 1902}, {"users", 13}}})}};
  write_file(root / "var/kob/vorlane_top.json", snapshot.dump(options.indent) + "\n");
  write_file(root / "var/kob/vorlane_tsltop.json", json{{"dbtsl_data", dbtsl}}.dump(1) + "\n");
  write_file(root / "run/kobstats.pid", "1\n");  // the namespace's first process
  write_file(root / "etc/sysconfig/kobstats2",
             "# statistics service\n[main]\ninterval=5\ntimeout=5\nlog_level=info\n"
             "hide_kob_more_than_maxuid=on\nuse_big_uids=no\n");
  write_file(root / "etc/login.defs",
             "UID_MIN 1000\nUID_MAX " + std::to_string(uid_max(list)) + "\n");
  write_file(root / "etc/passwd", passwd(list));

  write_file(data / "panel-feature-KOB", "true\n");
  write_file(data / "admins.json", json::array({"admin"}).dump() + "\n");
  for (const auto& [reseller, names] : reseller_users) {
    write_file(data / "reseller-users" / (reseller + ".json"), names.dump() + "\n");
  }
  write_file(data / "user-info-sys.json",
             json{{"users", panel}, {"unresolved", json::array()}}.dump(1) + "\n");
  write_file(data / "tessel-mode", "\"" + options.mode + "\"\n");
  write_file(data / "limits.json", limits.dump(1) + "\n");
  write_file(data / "tsltop.txt", tsltop);
  fs::create_directories(data / "behaviour");
  fs::create_directories(root / "var/log/vt-calls");
  fs::permissions(root / "var/log/vt-calls", fs::perms(01777));

  const fs::path fakes = VT_FAKES_DIR;
  const fs::path scripts = root / "usr/share/kob-stats3/scripts";
  for (const char* name : {"kobstats-plexa-helper", "kobstats-tsl-helper", "behave.sh"}) {
    fs::copy_file(fakes / name, scripts / name, fs::copy_options::overwrite_existing);
  }
  fs::create_directories(root / "usr/sbin");
  for (const char* name : {"tslctl", "tsltop"}) {
    if (!options.tessel) break;
    fs::copy_file(fakes / name, root / "usr/sbin" / name, fs::copy_options::overwrite_existing);
  }
}

int usage() {
  std::cerr << "usage: vt_gen_server FOLDER [--users N] [--seed S] [--compact] [--no-tessel] "
               "[--mode MODE]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--users" || arg == "--seed") && i + 1 < argc) {
      (arg == "--users" ? options.users : options.seed) = std::stoull(argv[++i]);
    } else if (arg == "--mode" && i + 1 < argc) {
      options.mode = argv[++i];
    } else if (arg == "--compact") {
      options.indent = -1;
    } else if (arg == "--no-tessel") {
      options.tessel = false;
    } else if (options.folder.empty() && !arg.starts_with("-")) {
      options.folder = arg;
    } else {
      return usage();
    }
  }
  if (options.folder.empty()) return usage();
  ::umask(022);
  write_server(options);
  return 0;
}
