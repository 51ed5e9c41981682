// The initial-user-namespace check. Only "/proc" itself is opened by path;
// everything after that is reached through handles, and each handle is
// proven to lie on procfs and to be the very inode procfs lists under that
// name, so bind mounts or another file system over "/proc" or any part of it
// give no.
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>

#include "base/fd.h"
#include "base/file.h"
#include "base/text.h"
#include "base/utf8.h"
#include "core/identity.h"

namespace vt::core {
namespace {

template <class T>
using Checked = std::expected<T, NamespaceCheckError>;

std::unexpected<NamespaceCheckError> check_failed(const char* message) {
  return std::unexpected(NamespaceCheckError{message, 0});
}

std::unexpected<NamespaceCheckError> call_failed(const char* call) {
  return std::unexpected(NamespaceCheckError{call, errno});
}

Checked<base::Fd> open_at(int dir, const char* name, int flags, const char* call) {
  base::Fd fd(::openat(dir, name, flags | O_CLOEXEC));
  if (!fd) return call_failed(call);
  return fd;
}

Checked<void> require_procfs(int fd, const char* failure) {
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return call_failed("fstatfs");
  if (fs.f_type != PROC_SUPER_MAGIC) return check_failed(failure);
  return {};
}

// The inode number that the directory `dir` lists for `name`, read from the
// start of the directory through a duplicate handle so `dir` stays usable.
Checked<std::optional<ino_t>> listed_inode(int dir, std::string_view name) {
  base::Fd copy(::fcntl(dir, F_DUPFD_CLOEXEC, 0));
  if (!copy) return call_failed("dup");
  DIR* stream = ::fdopendir(copy.get());
  if (stream == nullptr) return call_failed("fdopendir");
  copy.release();  // closedir closes the duplicate from here on
  const std::unique_ptr<DIR, int (*)(DIR*)> owner(stream, ::closedir);
  ::rewinddir(stream);
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream);
    if (entry == nullptr) {
      if (errno != 0) return call_failed("readdir");
      return std::nullopt;
    }
    if (name == entry->d_name) return entry->d_ino;
  }
}

// `handle` must be the inode that `dir` lists as `name`.
Checked<void> require_listed(int dir, std::string_view name, int handle, const char* failure) {
  struct stat st {};
  if (::fstat(handle, &st) != 0) return call_failed("fstat");
  const auto listed = listed_inode(dir, name);
  if (!listed) return std::unexpected(listed.error());
  if (!*listed || **listed != st.st_ino) return check_failed(failure);
  return {};
}

}  // namespace

bool uid_map_is_initial(std::string_view text) {
  std::optional<std::string_view> mapping;
  for (const std::string_view line : base::split_lines(text)) {
    const std::string_view trimmed = base::trim(line);
    if (trimmed.empty()) continue;
    if (mapping) return false;  // a second mapping line
    mapping = trimmed;
  }
  if (!mapping) return false;
  const auto fields = base::split_whitespace(*mapping);
  return fields.size() == 3 && fields[0] == "0" && fields[1] == "0" && fields[2] == "4294967295";
}

std::expected<bool, NamespaceCheckError> check_initial_user_namespace() {
  base::Fd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!proc) return call_failed("open /proc");
  if (auto ok = require_procfs(proc.get(), "/proc is not on procfs"); !ok) {
    return std::unexpected(ok.error());
  }

  char target_buffer[32];
  const ssize_t length = ::readlinkat(proc.get(), "self", target_buffer, sizeof target_buffer);
  if (length < 0) return call_failed("readlinkat self");
  if (static_cast<std::size_t>(length) >= sizeof target_buffer) {
    return check_failed("link target too long");
  }
  const std::string target(target_buffer, static_cast<std::size_t>(length));
  if (!base::is_utf8(target)) return check_failed("link target is not UTF-8");

  auto self = open_at(proc.get(), target.c_str(), O_RDONLY | O_DIRECTORY, "openat self");
  if (!self) return std::unexpected(self.error());
  if (auto ok = require_procfs(self->get(), "/proc/self is not on procfs"); !ok) {
    return std::unexpected(ok.error());
  }
  if (auto ok = require_listed(proc.get(), target, self->get(),
                               "/proc/self is not the directory procfs lists");
      !ok) {
    return std::unexpected(ok.error());
  }

  auto map = open_at(self->get(), "uid_map", O_RDONLY, "openat uid_map");
  if (!map) return std::unexpected(map.error());
  if (auto ok = require_procfs(map->get(), "/proc/self/uid_map is not on procfs"); !ok) {
    return std::unexpected(ok.error());
  }
  if (auto ok = require_listed(self->get(), "uid_map", map->get(),
                               "/proc/self/uid_map is not the inode procfs lists");
      !ok) {
    return std::unexpected(ok.error());
  }

  const auto text = base::read_fd(map->get());
  if (!text) {
    errno = text.error();
    return call_failed("read uid_map");
  }
  if (!base::is_utf8(*text)) return check_failed("/proc/self/uid_map is not UTF-8");
  return uid_map_is_initial(*text);
}

}  // namespace vt::core
