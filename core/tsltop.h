#pragma once
// MySQL figures of each account, from the tessel service's statistics.
#include <cstdint>
#include <string>
#include <unordered_map>

namespace vt::core {

struct DbTslStats {
  double cpu = 0.0;
  double io = 0.0;
  std::string cause_of_restrict = "-";
  std::int64_t time_of_restrict = 0;
};

/// Account name to its MySQL figures.
using MysqlStats = std::unordered_map<std::string, DbTslStats>;

}  // namespace vt::core
