// A yardstick for the command's own cost, sharing no code with it: reads a
// usage snapshot with the vectorised parser's on-demand interface, decodes
// every field of every account exactly into plain records (a value of the
// wrong type ends it), orders the accounts by CPU, greatest first, and prints
// the first 25 as JSON. Roughly the least work the command's main job needs.
//
//   vt_reference_top FILE
#include <simdjson.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace od = simdjson::ondemand;

struct Metrics {
  double cpu = 0, cpu_mysql = 0, io = 0, io_mysql = 0, iops = 0, ep = 0, mem = 0, pno = 0;
};

struct Domain {
  std::uint32_t id = 0;
  std::string name, docroot;
  Metrics usage, limit;
};

struct Account {
  std::uint32_t id = 0;
  std::string username, domain, reseller;
  Metrics usage, limit;
  bool restricted = false;
  std::optional<std::pair<std::int64_t, std::string>> restriction;
  std::vector<Domain> domains;
};

struct Reseller {
  std::uint64_t id = 0;
  std::uint64_t users = 0;
};

// Every error ends the program: the yardstick only runs on good snapshots.
template <class T>
T get(simdjson::simdjson_result<T>&& result) {
  T value;
  if (const auto error = std::move(result).get(value)) {
    std::fprintf(stderr, "vt_reference_top: %s\n", simdjson::error_message(error));
    std::exit(1);
  }
  return value;
}

void share(od::object object, double& all, double& mysql) {
  for (auto field : object) {
    od::field f = get(std::move(field));
    const std::string_view key = get(f.unescaped_key());
    if (key == "all") {
      all = get(f.value().get_double());
    } else if (key == "mysql") {
      mysql = get(f.value().get_double());
    }
  }
}

Metrics metrics(od::object object) {
  Metrics m;
  for (auto field : object) {
    od::field f = get(std::move(field));
    const std::string_view key = get(f.unescaped_key());
    if (key == "cpu") {
      share(get(f.value().get_object()), m.cpu, m.cpu_mysql);
    } else if (key == "io") {
      share(get(f.value().get_object()), m.io, m.io_mysql);
    } else if (key == "iops") {
      m.iops = get(f.value().get_double());
    } else if (key == "ep") {
      m.ep = get(f.value().get_double());
    } else if (key == "mem") {
      m.mem = get(f.value().get_double());
    } else if (key == "pno") {
      m.pno = get(f.value().get_double());
    }
  }
  return m;
}

std::uint32_t u32(od::value value) {
  const std::uint64_t n = get(value.get_uint64());
  if (n > UINT32_MAX) {
    std::fprintf(stderr, "vt_reference_top: id out of range\n");
    std::exit(1);
  }
  return static_cast<std::uint32_t>(n);
}

Domain domain(od::object object) {
  Domain d;
  for (auto field : object) {
    od::field f = get(std::move(field));
    const std::string_view key = get(f.unescaped_key());
    if (key == "id") {
      d.id = u32(f.value());
    } else if (key == "name") {
      d.name = get(f.value().get_string());
    } else if (key == "docroot") {
      d.docroot = get(f.value().get_string());
    } else if (key == "usage") {
      d.usage = metrics(get(f.value().get_object()));
    } else if (key == "limit") {
      d.limit = metrics(get(f.value().get_object()));
    }
  }
  return d;
}

Account account(od::object object) {
  Account a;
  for (auto field : object) {
    od::field f = get(std::move(field));
    const std::string_view key = get(f.unescaped_key());
    if (key == "id") {
      a.id = u32(f.value());
    } else if (key == "username") {
      a.username = get(f.value().get_string());
    } else if (key == "domain") {
      a.domain = get(f.value().get_string());
    } else if (key == "reseller") {
      a.reseller = get(f.value().get_string());
    } else if (key == "usage") {
      a.usage = metrics(get(f.value().get_object()));
    } else if (key == "limit") {
      a.limit = metrics(get(f.value().get_object()));
    } else if (key == "restricted") {
      a.restricted = get(f.value().get_bool());
    } else if (key == "restriction") {
      std::pair<std::int64_t, std::string> r;
      for (auto inner : get(f.value().get_object())) {
        od::field g = get(std::move(inner));
        const std::string_view name = get(g.unescaped_key());
        if (name == "time") {
          r.first = get(g.value().get_int64());
        } else if (name == "reason") {
          r.second = get(g.value().get_string());
        }
      }
      a.restriction = std::move(r);
    } else if (key == "domains") {
      for (auto element : get(f.value().get_array())) {
        a.domains.push_back(domain(get(get(std::move(element)).get_object())));
      }
    }
  }
  return a;
}

void print_metrics(const char* name, const Metrics& m) {
  std::printf(
      "   \"%s\": {\"cpu\": {\"all\": %.17g, \"mysql\": %.17g}, \"io\": {\"all\": %.17g, "
      "\"mysql\": %.17g}, \"iops\": %.17g, \"ep\": %.17g, \"mem\": %.17g, \"pno\": %.17g}",
      name, m.cpu, m.cpu_mysql, m.io, m.io_mysql, m.iops, m.ep, m.mem, m.pno);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vt_reference_top FILE\n");
    return 2;
  }
  const simdjson::padded_string text = get(simdjson::padded_string::load(argv[1]));
  od::parser parser;
  od::document doc = get(parser.iterate(text));
  double timestamp = 0;
  std::vector<Account> accounts;
  std::vector<Reseller> resellers;
  for (auto field : get(doc.get_object())) {
    od::field f = get(std::move(field));
    const std::string_view key = get(f.unescaped_key());
    if (key == "timestamp") {
      timestamp = get(f.value().get_double());
    } else if (key == "users") {
      od::array users = get(f.value().get_array());
      for (auto element : users)
        accounts.push_back(account(get(get(std::move(element)).get_object())));
    } else if (key == "resellers") {
      for (auto element : get(f.value().get_array())) {
        Reseller r;
        for (auto inner : get(get(std::move(element)).get_object())) {
          od::field g = get(std::move(inner));
          const std::string_view name = get(g.unescaped_key());
          if (name == "id") {
            r.id = get(g.value().get_uint64());
          } else if (name == "users") {
            r.users = get(g.value().get_uint64());
          }
        }
        resellers.push_back(r);
      }
    }
  }

  std::vector<std::size_t> order(accounts.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return accounts[a].usage.cpu > accounts[b].usage.cpu;
  });
  std::printf("{\n \"timestamp\": %.17g,\n \"resellers\": %zu,\n \"users\": [", timestamp,
              resellers.size());
  for (std::size_t i = 0; i < std::min<std::size_t>(25, order.size()); ++i) {
    const Account& a = accounts[order[i]];
    std::printf("%s\n  {\"id\": %u, \"username\": \"%s\", \"domains\": %zu,\n", i ? "," : "", a.id,
                a.username.c_str(), a.domains.size());
    print_metrics("usage", a.usage);
    std::printf(",\n");
    print_metrics("limit", a.limit);
    std::printf("}");
  }
  std::printf("\n ]\n}\n");
  return 0;
}
