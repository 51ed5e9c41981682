#include "gather/service_state.h"

#include <signal.h>

#include <cerrno>
#include <cstdint>

#include "base/file.h"
#include "base/text.h"
#include "base/utf8.h"

namespace vt::gather {

ServiceState check_stats_service(const std::string& pid_file) {
  const auto text = base::read_file(pid_file, base::kSmallFileMaxBytes);
  if (!text || !base::is_utf8(*text)) return ServiceState::stopped;
  const auto pid = base::parse_decimal<std::int32_t>(base::trim(*text));
  if (!pid || *pid <= 0) return ServiceState::dead;
  // Signal 0 only asks whether the process exists; a process of another
  // user answers EPERM, and it exists all the same.
  if (::kill(*pid, 0) == 0 || errno != ESRCH) return ServiceState::running;
  return ServiceState::dead;
}

std::optional<std::string> service_state_message(ServiceState state) {
  switch (state) {
    case ServiceState::stopped:
      return "KOB Stats is stopped";
    case ServiceState::dead:
      return "KOB Stats is dead but subsys locked";
    case ServiceState::running:
      break;
  }
  return std::nullopt;
}

}  // namespace vt::gather
