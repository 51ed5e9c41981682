#pragma once
// The documents printed on standard output: the usage report and the short
// status document.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/tessel_status.h"
#include "gather/snapshot.h"

namespace vt::report {

/// Whether a status document carries "context": an access refusal carries an
/// empty object, the statistics service's state none.
enum class StatusContext : bool { omitted, empty_object };

/// {"context": {} (only with StatusContext::empty_object), "result": message,
/// "timestamp": now}. `now` is whole seconds since the epoch, see
/// gather::epoch_seconds_now().
nlohmann::json status_document(const std::string& message, StatusContext context, double now);

/// One user object of the report. "domains" appears only for a non-empty
/// domain list, "restriction" only when there is one, and a "mysql" member
/// only when its value is not null.
nlohmann::json user_object(const gather::TopUser& user);

/// The usage report: "mySqlTsl" (the tessel status text), "mySqlTslMode",
/// "resellers", "result" "success", "timestamp" and "users"; "warning" and
/// "context" only when the tessel status is "error" and carries them.
nlohmann::json usage_report(const std::vector<gather::TopUser>& users,
                            const std::vector<nlohmann::json>& resellers, double timestamp,
                            const core::TesselStatus& tessel, const std::string& tessel_mode);

}  // namespace vt::report
