#include "base/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <cerrno>
#include <string_view>
#include <vector>

namespace vt::base {
namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// How deep remove_entry goes: planted trees are no deeper in practice, and
// the bound keeps the descriptors a removal holds open few.
constexpr int kRemovalDepth = 8;

int remove_below(int directory, const char* name, int depth);

// The directory `name` in `directory`, where it is no mount point: a
// mount (a bind mount of the same file system too) gives EXDEV, so that a
// removal never empties another file system's tree. The kernel's openat2
// says so where it has one; else statx's mount-root mark and the device.
int open_same_mount(int directory, const char* name) {
  open_how how{};
  how.flags = kDirectoryFlags;
  how.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
  const long fd = ::syscall(SYS_openat2, directory, name, &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
  struct statx entry {};
  if (::statx(directory, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &entry) != 0) return -1;
  if ((entry.stx_attributes_mask & entry.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0) {
    errno = EXDEV;
    return -1;
  }
  Fd opened(::openat(directory, name, kDirectoryFlags));
  struct stat inside {
  }, outside{};
  if (!opened || ::fstat(opened.get(), &inside) != 0 || ::fstat(directory, &outside) != 0)
    return -1;
  if (inside.st_dev != outside.st_dev) {
    errno = EXDEV;
    return -1;
  }
  return opened.release();
}

// Empties the directory `fd`; the errno of the first removal that failed.
int remove_contents(int fd, int depth) {
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) {
    ::close(fd);
    return errno;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  int failure = 0;
  for (const std::string& name : names) {
    if (const int error = remove_below(::dirfd(listing), name.c_str(), depth); failure == 0) {
      failure = error;
    }
  }
  ::closedir(listing);
  return failure;
}

int remove_below(int directory, const char* name, int depth) {
  if (::unlinkat(directory, name, 0) == 0) return 0;
  // Linux refuses unlink on a directory with EISDIR; anything else is final.
  if (errno != EISDIR && errno != EPERM) return errno;
  if (depth == 0) return ENOTEMPTY;
  const int fd = open_same_mount(directory, name);
  if (fd < 0) return errno;
  const int failure = remove_contents(fd, depth - 1);
  if (::unlinkat(directory, name, AT_REMOVEDIR) != 0) return failure != 0 ? failure : errno;
  return 0;
}

// ELOOP where `name` is a symbolic link, which O_DIRECTORY reports as
// ENOTDIR; `errnum` otherwise.
int link_or(int directory, const char* name, int errnum) {
  struct stat info {};
  const bool link = errnum == ENOTDIR &&
                    ::fstatat(directory, name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISLNK(info.st_mode);
  return link ? ELOOP : errnum;
}

}  // namespace

std::expected<Fd, int> open_directory_no_links(const std::string& path) {
  open_how how{};
  how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS;
  const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
  if (fd >= 0) return Fd(static_cast<int>(fd));
  // ENOSYS: an older kernel; EPERM: a system-call filter that predates it.
  if (errno == ENOSYS || errno == EPERM) return open_directory_by_components(path);
  return std::unexpected(errno);
}

std::expected<Fd, int> open_directory_by_components(const std::string& path) {
  if (path.empty()) return std::unexpected(ENOENT);
  Fd current(::open(path.starts_with('/') ? "/" : ".", kDirectoryFlags));
  if (!current) return std::unexpected(errno);
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      const std::string component = path.substr(start, end - start);
      Fd next(::openat(current.get(), component.c_str(), kDirectoryFlags));
      if (!next) return std::unexpected(link_or(current.get(), component.c_str(), errno));
      current = std::move(next);
    }
    start = end + 1;
  }
  return current;
}

int remove_entry(int directory, const char* name) {
  return remove_below(directory, name, kRemovalDepth);
}

}  // namespace vt::base
