#pragma once
// The MySQL tessel service's status, as the report shows it.
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace vt::core {

struct TesselStatus {
  std::string status = "disabled";        ///< "disabled", "enabled" or "error"
  std::optional<std::string> warning;     ///< with %(name)s placeholders
  std::optional<nlohmann::json> context;  ///< the placeholders' values
};

}  // namespace vt::core
