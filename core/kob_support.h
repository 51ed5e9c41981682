#pragma once
// Whether the KOB feature is available here, as the control panel reports
// it. The command runs only where it is; elsewhere it prints a notice.
#include <optional>
#include <string>
#include <string_view>

namespace vt::core {

/// The page that compares the editions of the operating system and says
/// which of them offer KOB.
inline constexpr std::string_view kEditionsPage =
    "https://docs.vorlane.com/kob/editions-comparison/";

/// Whether the control panel's answer to "panel-feature" says the feature is
/// there: the answer trims to exactly "true".
bool panel_feature_enabled(std::string_view answer);

/// Nothing when the control-panel helper `helper`, asked "panel-feature"
/// "KOB" under its 30-second limit, answers a text that trims to exactly
/// "true". Otherwise, also when the helper fails, the two-line notice for
/// standard output, each line ended by a line feed.
std::optional<std::string> kob_support_notice(const std::string& helper);

}  // namespace vt::core
