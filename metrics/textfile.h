#pragma once
// Writing the metrics file so that a reader sees the old file or the new
// one, whole, and never a part; and so that root writes only into the
// directory it was given, whatever other users do around it.
#include <sys/types.h>

#include <expected>
#include <string>
#include <string_view>

#include "base/error.h"

namespace vt::metrics {

/// Temporary files are named `.vorlane-top-metrics.HEX.tmp`, in the metrics
/// file's directory, with 16 random hexadecimal digits; the collector reads
/// only names ending in ".prom".
inline constexpr std::string_view kTemporaryPrefix = ".vorlane-top-metrics.";
inline constexpr std::string_view kTemporarySuffix = ".tmp";

/// Whether `name` is of the temporary files' pattern: the prefix, 1 to 32
/// lower-case hexadecimal digits, the suffix. Decimal process ids, which
/// earlier versions used, fit it too.
bool is_temporary_name(std::string_view name);

/// The id of the group `name`, which the metrics file is given; "Unknown
/// group NAME" when there is none.
std::expected<gid_t, base::Error> textfile_group(const std::string& name);

/// Writes `text` to `path` through a temporary file in the same directory.
/// The directory is opened without following a symbolic link at any
/// component of `path`, and refused unless root owns it, neither its group
/// nor others may write it and it is not append-only. Entries of the temporary files' pattern that
/// no run holds (a writer locks its own file until the rename) are removed first, whatever they
/// are, without following links. The new temporary file gets an unpredictable name, is created
/// exclusively, written whole, synced, given the group `group`, stripped of any access ACL, given
/// mode 0640, and renamed over `path`; then the directory is synced. On a failure before the rename
/// the temporary file is removed and `path` stays as it was; the error is "Failed to write the
/// metrics file PATH", with the step and the system's error as causes.
std::expected<void, base::Error> write_textfile(const std::string& path, std::string_view text,
                                                gid_t group);

}  // namespace vt::metrics
