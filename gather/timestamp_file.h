#pragma once
// The tessel time-stamp file that privileged runs touch.
#include <string>

namespace vt::gather {

inline constexpr const char* kTesselTimestampPath = "/var/kob/tessel.ts";

/// Creates the file if it is missing (mode 0666 less the umask, never
/// truncated) and sets both its times to now. Only a regular file at the
/// path itself is opened; whatever else stands there (a directory, a
/// symlink, a FIFO) gets its own times set, and a link's target is never
/// touched. Failures are ignored.
void touch_timestamp_file(const std::string& path);

}  // namespace vt::gather
