#pragma once
// The tessel time-stamp file that privileged runs touch.
#include <string>

namespace vt::cli {

inline constexpr const char* kTesselTimestampPath = "/var/kob/tessel.ts";

/// Creates the file if it is missing (mode 0666 less the umask, never
/// truncated) and sets both its times to now. Failures are ignored: the
/// time update is tried even when the open failed.
void touch_timestamp_file(const std::string& path);

}  // namespace vt::cli
