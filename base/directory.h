#pragma once
// Directories reached and emptied without following symbolic links, for
// a privileged writer in directories that other users may change.
#include <expected>
#include <string>

#include "base/fd.h"

namespace vt::base {

/// Opens the directory `path` (absolute, or relative to the working
/// directory) read-only, following no symbolic link at any component: the
/// kernel's openat2 with RESOLVE_NO_SYMLINKS where it has one, else
/// `open_directory_by_components`. A link gives ELOOP; otherwise the errno
/// of the failed open.
std::expected<Fd, int> open_directory_no_links(const std::string& path);

/// The same, one component at a time with O_NOFOLLOW: for kernels without
/// openat2, or where a system-call filter refuses it.
std::expected<Fd, int> open_directory_by_components(const std::string& path);

/// Removes the entry `name` of the directory `directory` whatever it is,
/// a directory with its contents too, never following a symbolic link,
/// never opening anything but directories and never entering a mount point
/// (EXDEV). Nested directories deeper than
/// a few levels stay (and so the top one); gives the errno of the first
/// removal that failed, or 0.
int remove_entry(int directory, const char* name);

}  // namespace vt::base
