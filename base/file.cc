#include "base/file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "base/fd.h"

namespace vt::base {

std::expected<std::string, int> read_file(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::unexpected(errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return std::unexpected(errno);
  if (S_ISDIR(st.st_mode)) return std::unexpected(EISDIR);
  std::string data;
  // procfs and pipes report size 0: read until end of file either way.
  std::size_t capacity = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096;
  data.resize(capacity);
  std::size_t used = 0;
  for (;;) {
    if (used == data.size()) data.resize(data.size() * 2);
    const ssize_t n = ::read(fd.get(), data.data() + used, data.size() - used);
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

}  // namespace vt::base
