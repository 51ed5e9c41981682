#include "cli/metrics_figures.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vt::cli {

std::optional<double> sample_value(double figure) {
  if (!std::isfinite(figure)) return std::nullopt;
  return figure;
}

std::optional<double> sample_value(const nlohmann::json& figure) {
  if (!figure.is_number()) return std::nullopt;
  return sample_value(figure.get<double>());
}

const std::array<AccountFigure, 8> kAccountFigures = {{
    {"cpu", "CPU (all processes, MySQL included)",
     [](const TopUser& a) { return sample_value(a.usage.cpu.all); },
     [](const TopUser& a) { return sample_value(a.limit.cpu.all); }},
    {"io", "I/O (all processes, MySQL included)",
     [](const TopUser& a) { return sample_value(a.usage.io.all); },
     [](const TopUser& a) { return sample_value(a.limit.io.all); }},
    {"iops", "I/O operations", [](const TopUser& a) { return sample_value(a.usage.iops); },
     [](const TopUser& a) { return sample_value(a.limit.iops); }},
    {"entry_processes", "Entry processes",
     [](const TopUser& a) { return sample_value(a.usage.ep); },
     [](const TopUser& a) { return sample_value(a.limit.ep); }},
    {"processes", "Processes", [](const TopUser& a) { return sample_value(a.usage.pno); },
     [](const TopUser& a) { return sample_value(a.limit.pno); }},
    {"memory", "Memory", [](const TopUser& a) { return sample_value(a.usage.mem); },
     [](const TopUser& a) { return sample_value(a.limit.mem); }},
    {"mysql_cpu", "MySQL CPU", [](const TopUser& a) { return sample_value(a.usage.cpu.mysql); },
     [](const TopUser& a) { return sample_value(a.limit.cpu.mysql); }},
    {"mysql_io", "MySQL I/O", [](const TopUser& a) { return sample_value(a.usage.io.mysql); },
     [](const TopUser& a) { return sample_value(a.limit.io.mysql); }},
}};

bool reaches(std::optional<double> usage, std::optional<double> limit, double fraction) {
  return usage && limit && *limit > 0 && *usage >= fraction * *limit;
}

double closeness(const TopUser& account) {
  double highest = -std::numeric_limits<double>::infinity();
  for (std::size_t f = 0; f < kLimitFigureCount; ++f) {
    const auto usage = kAccountFigures[f].usage(account);
    const auto limit = kAccountFigures[f].limit(account);
    if (usage && limit && *limit > 0) highest = std::max(highest, *usage / *limit);
  }
  return highest;
}

bool near_a_limit(const TopUser& account, double fraction) {
  for (std::size_t f = 0; f < kLimitFigureCount; ++f) {
    if (reaches(kAccountFigures[f].usage(account), kAccountFigures[f].limit(account), fraction)) {
      return true;
    }
  }
  return false;
}

std::array<std::uint64_t, kLimitFigureCount> near_limit_counts(const std::vector<TopUser>& accounts,
                                                               double fraction) {
  std::array<std::uint64_t, kLimitFigureCount> counts{};
  for (const TopUser& account : accounts) {
    for (std::size_t f = 0; f < kLimitFigureCount; ++f) {
      counts[f] +=
          reaches(kAccountFigures[f].usage(account), kAccountFigures[f].limit(account), fraction);
    }
  }
  return counts;
}

}  // namespace vt::cli
