// Writes the files of a simulated hosting server into a folder, laid out as
// on the server itself (FOLDER/var/kob/vorlane_top.json and so on), for the
// demo, the end-to-end tests and the benchmarks.
//
//   vt_gen_server FOLDER [--users N] [--seed S] [--compact]
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

struct Options {
  fs::path folder;
  std::uint64_t users = 40;
  std::uint64_t seed = 1;
  int indent = 1;  // the statistics service saves readable files
};

class Server {
 public:
  explicit Server(std::uint64_t seed) : random_(seed) {}

  double uniform(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random_);
  }
  bool chance(double p) { return uniform(0, 1) < p; }
  // Rounded to two decimals, as the statistics service saves its figures.
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
    d["usage"]["cpu"].erase("mysql");
    if (chance(0.8)) d["name"] = "site" + std::to_string(n) + "." + owner + ".example";
    return d;
  }

  json user(std::uint32_t id, const std::string& name, const std::string& reseller) {
    json u = {{"id", id},
              {"username", name},
              {"domain", name + ".example"},
              {"reseller", reseller},
              {"usage", metrics(true, true)},
              {"limit", metrics(false, true)},
              {"restricted", false}};
    if (chance(0.05)) {
      u["restricted"] = true;
      u["restriction"] = {{"time", 1700000000 + static_cast<std::int64_t>(uniform(0, 86400))},
                          {"reason", chance(0.5) ? "cpu" : "io"}};
    }
    if (chance(0.1)) {
      json domains = json::array();
      const int count = 1 + static_cast<int>(uniform(0, 3));
      for (int n = 1; n <= count; ++n) domains.push_back(domain(id * 10 + n, name, n));
      u["domains"] = domains;
    }
    return u;
  }

 private:
  std::mt19937_64 random_;
};

json snapshot(const Options& options) {
  Server server(options.seed);
  json users = json::array();
  // System accounts below the login range, and one container id above 1e9.
  users.push_back(server.user(0, "root", ""));
  users.push_back(server.user(48, "apache", ""));
  users.push_back(server.user(999, "mailman", ""));
  const std::uint64_t accounts = options.users > 4 ? options.users - 4 : 0;
  for (std::uint64_t i = 0; i < accounts; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "user%04llu", static_cast<unsigned long long>(i + 1));
    const char* reseller = i % 5 == 1 ? "res1" : i % 5 == 2 ? "res2" : "";
    users.push_back(server.user(static_cast<std::uint32_t>(1001 + i), name, reseller));
  }
  users.push_back(server.user(1000001501, "", ""));
  return {{"timestamp", 1765000000.0},
          {"users", users},
          {"resellers", json::array({{{"id", 1000000000 + 1002}, {"name", "res1"}},
                                     {{"id", 1003}, {"name", "res2"}}})}};
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--users" || arg == "--seed") && i + 1 < argc) {
      (arg == "--users" ? options.users : options.seed) = std::stoull(argv[++i]);
    } else if (arg == "--compact") {
      options.indent = -1;
    } else if (options.folder.empty() && !arg.starts_with("-")) {
      options.folder = arg;
    } else {
      std::cerr << "usage: vt_gen_server FOLDER [--users N] [--seed S] [--compact]\n";
      return 2;
    }
  }
  if (options.folder.empty()) {
    std::cerr << "usage: vt_gen_server FOLDER [--users N] [--seed S] [--compact]\n";
    return 2;
  }
  const fs::path kob = options.folder / "var/kob";
  fs::create_directories(kob);
  std::ofstream(kob / "vorlane_top.json") << snapshot(options).dump(options.indent) << "\n";
  return 0;
}
