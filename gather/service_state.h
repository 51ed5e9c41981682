#pragma once
// Whether the statistics service that keeps the snapshot current runs.
#include <optional>
#include <string>

namespace vt::gather {

inline constexpr const char* kStatsPidPath = "/var/run/kobstats.pid";

enum class ServiceState { running, stopped, dead };

/// Reads the service's pid file and probes the process it names: stopped
/// when the file cannot be read as UTF-8 text, dead when it names no live
/// process or holds no valid process id, running otherwise. Only reads.
ServiceState check_stats_service(const std::string& pid_file);

/// The "result" text of the status document for a service that does not
/// run; nothing for a running one.
std::optional<std::string> service_state_message(ServiceState state);

}  // namespace vt::gather
