#include "core/kob_support.h"

#include "base/text.h"
#include "plugins/plexa.h"

namespace vt::core {
namespace {

std::string notice() {
  return "Command is skipped as KOB feature is not supported in current environment\n"
         "Refer to " +
         std::string(kEditionsPage) + " for more info\n";
}

}  // namespace

bool panel_feature_enabled(std::string_view answer) {
  return base::trim(answer) == "true";
}

std::optional<std::string> kob_support_notice(const std::string& helper) {
  const auto answer = plugins::query_panel_feature(helper, "KOB");
  if (answer && panel_feature_enabled(*answer)) return std::nullopt;
  return notice();
}

}  // namespace vt::core
