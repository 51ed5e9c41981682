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
  std::string_view title;        ///< the live view's column title
  std::string_view batch_name;   ///< in the live view's batch tables, and NAME_LIMIT
  /// A MySQL figure: left out with --hide-mysql, and shown as its usage
  /// where the tessel service sets no limit.
  bool mysql;
  /// When a narrow terminal leaves the column out of the live view: the
  /// lowest rank first (see live::layout); 0 never.
  std::uint8_t drop_rank;
  /// The figure in a usage or a limit block, as the snapshot gives it.
  double (*figure)(const TopUsage&);
};

/// In the order of the enum, which is the live view's, left to right.
inline constexpr std::array<UsageColumn, 8> kUsages = {{
    {Usage::cpu, "cpu", "cpu", "CPU (all processes, MySQL included)", "CPU%", "CPU", false, 0,
     [](const TopUsage& m) { return m.cpu.all; }},
    {Usage::io, "io", "io", "I/O (all processes, MySQL included)", "IO%", "IO", false, 8,
     [](const TopUsage& m) { return m.io.all; }},
    {Usage::iops, "iops", "iops", "I/O operations", "IOPS%", "IOPS", false, 7,
     [](const TopUsage& m) { return m.iops; }},
    {Usage::ep, "ep", "entry_processes", "Entry processes", "EP%", "EP", false, 6,
     [](const TopUsage& m) { return m.ep; }},
    {Usage::nproc, "nproc", "processes", "Processes", "NPROC%", "NPROC", false, 5,
     [](const TopUsage& m) { return m.pno; }},
    {Usage::pmem, "pmem", "memory", "Memory", "MEM%", "MEM", false, 4,
     [](const TopUsage& m) { return m.mem; }},
    {Usage::mysql_cpu, "mysql_cpu", "mysql_cpu", "MySQL CPU", "MYCPU", "MYCPU", true, 1,
     [](const TopUsage& m) { return number_or_nan(m.cpu.mysql); }},
    {Usage::mysql_io, "mysql_io", "mysql_io", "MySQL I/O", "MYIO", "MYIO", true, 1,
     [](const TopUsage& m) { return number_or_nan(m.io.mysql); }},
}};
static_assert([] {
  for (std::size_t i = 0; i < kUsages.size(); ++i) {
    if (static_cast<std::size_t>(kUsages[i].usage) != i) return false;
  }
  return true;
}());

constexpr const UsageColumn& usage_column(Usage usage) {
  return kUsages[static_cast<std::size_t>(usage)];
}

}  // namespace vt::gather
