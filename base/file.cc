#include "base/file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "base/fd.h"

namespace vt::base {

std::expected<std::string, int> read_fd(int fd, std::size_t size_hint) {
  std::string data;
  // procfs and pipes report size 0: read until end of file either way.
  data.resize(size_hint > 0 ? size_hint + 1 : 4096);
  std::size_t used = 0;
  for (;;) {
    if (used == data.size()) data.resize(data.size() * 2);
    const ssize_t n = ::read(fd, data.data() + used, data.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(errno);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  data.resize(used);
  return data;
}

std::expected<std::string, int> read_file(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::unexpected(errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return std::unexpected(errno);
  if (S_ISDIR(st.st_mode)) return std::unexpected(EISDIR);
  return read_fd(fd.get(), st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0);
}

}  // namespace vt::base
