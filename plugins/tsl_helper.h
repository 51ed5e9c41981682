#pragma once
// The MySQL limits of accounts, asked of the tessel helper program.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "plugins/tsl_limits.h"

namespace vt::plugins {

inline constexpr const char* kTslHelperPath = "/usr/share/kob-stats3/scripts/kobstats-tsl-helper";
inline constexpr std::uint64_t kTslLimitSeconds = 15;

/// The limits of the accounts `names`, asked of the tessel helper `program`
/// (kTslHelperPath on a server): "limits", then each name as one
/// argument, in order, repeats kept), as the helper lists them: names it
/// leaves out are absent, names it adds are kept. No names: an empty table,
/// and nothing is run. Names too many for one call's arguments are asked in
/// the fewest calls that fit (run_helper_texts); a later answer's entry
/// replaces an earlier one's. Runner failures (plugins/runner.h) pass on
/// unchanged.
std::expected<TslLimitsByName, std::string> query_tsl_limits(const std::string& program,
                                                             const std::vector<std::string>& names);

/// One JSON object from account name to an object with the optional keys
/// "cpu" and "io" (number or null), "error" (string or null) and "absent"
/// (true or false); other keys are skipped, a name given twice keeps its
/// later object. Error: "failed to parse tsl-helper JSON: {error}:
/// output={the first 200 bytes of `text`}".
std::expected<TslLimitsByName, std::string> parse_tsl_limits(const std::string& text);

}  // namespace vt::plugins
