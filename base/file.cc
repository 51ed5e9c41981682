#include "base/file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "base/fd.h"

namespace vt::base {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// A large buffer is backed by huge pages where the system offers them: a
// 2 MiB page costs one fault where 512 small ones cost 512.
void prefer_huge_pages(std::string& data) {
  if (data.capacity() < 2 * kHugePage) return;
  const auto start = reinterpret_cast<std::uintptr_t>(data.data());
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (start + data.capacity()) & ~(kHugePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// Reads at most `max_size` bytes; one byte more tells that there is more.
// The buffer grows without being zero-filled first: every byte kept is read.
std::expected<std::string, int> read_up_to(int fd, std::size_t size_hint, std::size_t max_size) {
  std::string data;
  // procfs and pipes report size 0: read until end of file either way.
  std::size_t room = std::min(size_hint > 0 ? size_hint + 1 : 4096, max_size + 1);
  for (;;) {
    if (data.size() == room) {
      if (room > max_size) break;
      room = std::min(room * 2, max_size + 1);
    }
    const std::size_t used = data.size();
    if (data.capacity() < room + kSpareCapacity) {
      data.reserve(room + kSpareCapacity);
      prefer_huge_pages(data);
    }
    ssize_t n = 0;
    data.resize_and_overwrite(room, [&](char* buffer, std::size_t) {
      n = ::read(fd, buffer + used, room - used);
      return used + static_cast<std::size_t>(std::max<ssize_t>(n, 0));
    });
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(errno);
    }
    if (n == 0) break;
  }
  return data;
}

}  // namespace

std::expected<std::string, int> read_fd(int fd, std::size_t size_hint) {
  return read_up_to(fd, size_hint, std::string().max_size() - 1);
}

std::expected<OpenFile, FileError> open_file(const std::string& path, std::size_t max_size) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return std::unexpected(FileError{errno});
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return std::unexpected(FileError{errno});
  if (S_ISDIR(st.st_mode)) return std::unexpected(FileError{EISDIR});
  if (!S_ISREG(st.st_mode)) return std::unexpected(FileError{EINVAL});
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size > max_size) return std::unexpected(FileError{EFBIG, size});
  return OpenFile{std::move(fd), size};
}

std::expected<std::string, FileError> read_from_start(const OpenFile& file, std::size_t max_size) {
  if (::lseek(file.fd.get(), 0, SEEK_SET) != 0) return std::unexpected(FileError{errno});
  auto data = read_up_to(file.fd.get(), static_cast<std::size_t>(file.size), max_size);
  if (!data) return std::unexpected(FileError{data.error()});
  if (data->size() > max_size) return std::unexpected(FileError{EFBIG, data->size()});
  return std::move(*data);
}

std::expected<std::string, FileError> read_file(const std::string& path, std::size_t max_size) {
  auto file = open_file(path, max_size);
  if (!file) return std::unexpected(file.error());
  return read_from_start(*file, max_size);
}

std::expected<std::size_t, int> read_some(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return std::unexpected(errno);
  }
}

}  // namespace vt::base
