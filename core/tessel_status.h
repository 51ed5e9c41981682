#pragma once
// The MySQL tessel service's status, as the report shows it, and the mode in
// which the service limits MySQL usage.
#include <cstdint>
#include <expected>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace vt::core {

inline constexpr const char* kTslctlProgram = "/usr/sbin/tslctl";

struct TesselStatus {
  std::string status = "disabled";                       ///< "disabled", "enabled" or "error"
  std::optional<std::string> warning = std::nullopt;     ///< with %(name)s placeholders
  std::optional<nlohmann::json> context = std::nullopt;  ///< the placeholders' values
};

/// The status of the service whose control tool is `tool`, asked by root of
/// the machine itself (`machine_root`: real user id 0 in the initial user
/// namespace, which the caller check has already found out) or not:
/// - "disabled" when `tool` is not a regular file (links followed);
/// - "enabled", without running anything, unless `machine_root`;
/// - otherwise the outcome of running `tool list` (no time limit): "error"
///   with the system's error text when it cannot be started, "error" with
///   the socket warning when its standard output says it cannot connect to
///   the service's socket, "enabled" when it exits with 0 and writes nothing
///   to standard error, and "error" with "tslctl error: %(output)s" and its
///   trimmed standard error as "output" in every other case.
TesselStatus tessel_service_status(const std::string& tool, bool machine_root);

/// The mode in the tessel helper's answer to "tessel-mode": the answer,
/// decoded lossily and trimmed, unquoted when that is one JSON string.
std::string tessel_mode_from_answer(std::string_view answer);

/// `tessel_mode_from_answer` of what `helper` prints for "tessel-mode" (no
/// time limit), or why it gave none: the system's error when it cannot be
/// started, its wait status when it does not exit with 0.
std::expected<std::string, std::string> ask_tessel_mode(const std::string& helper);

/// `ask_tessel_mode`, "none" when the helper gave no mode.
std::string query_tessel_mode(const std::string& helper);

}  // namespace vt::core
