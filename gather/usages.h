#pragma once
// The eight usages of an account, each with its names in the commands and
// the figure it reads, side by side.
#include <array>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "gather/snapshot.h"

namespace vt::gather {

/// In the order the metrics export them.
enum class Usage : std::uint8_t { cpu, io, iops, ep, nproc, pmem, mysql_cpu, mysql_io };

/// A MySQL part of a figure ("cpu" or "io" "mysql"), which the snapshot may
/// hold as a number, null or a text: the number, or NaN.
double number_or_nan(const nlohmann::json& figure);

struct UsageColumn {
  Usage usage;
  std::string_view sort_name;    ///< its name in vorlane-top's --order-by
  std::string_view metric_name;  ///< in vorlane_account_NAME_usage and _limit
  std::string_view what;         ///< what is measured, for the metrics' HELP texts
  /// The figure in a usage or a limit block, as the snapshot gives it.
  double (*figure)(const TopUsage&);
};

inline constexpr std::array<UsageColumn, 8> kUsages = {{
    {Usage::cpu, "cpu", "cpu", "CPU (all processes, MySQL included)",
     [](const TopUsage& m) { return m.cpu.all; }},
    {Usage::io, "io", "io", "I/O (all processes, MySQL included)",
     [](const TopUsage& m) { return m.io.all; }},
    {Usage::iops, "iops", "iops", "I/O operations", [](const TopUsage& m) { return m.iops; }},
    {Usage::ep, "ep", "entry_processes", "Entry processes", [](const TopUsage& m) { return m.ep; }},
    {Usage::nproc, "nproc", "processes", "Processes", [](const TopUsage& m) { return m.pno; }},
    {Usage::pmem, "pmem", "memory", "Memory", [](const TopUsage& m) { return m.mem; }},
    {Usage::mysql_cpu, "mysql_cpu", "mysql_cpu", "MySQL CPU",
     [](const TopUsage& m) { return number_or_nan(m.cpu.mysql); }},
    {Usage::mysql_io, "mysql_io", "mysql_io", "MySQL I/O",
     [](const TopUsage& m) { return number_or_nan(m.io.mysql); }},
}};

constexpr const UsageColumn& usage_column(Usage usage) {
  return kUsages[static_cast<std::size_t>(usage)];
}

}  // namespace vt::gather
