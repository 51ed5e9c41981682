#pragma once
// What the harnesses share: the fuzzer's input as text, and as the content
// of a file for the readers that take a path.
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vt::fuzz {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

/// An anonymous file in memory, reached through "/proc/self/fd/N" like any
/// regular file. Its content is replaced for every input.
class MemoryFile {
 public:
  MemoryFile() : fd_(::memfd_create("vt-fuzz", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile() { ::close(fd_); }

  const std::string& path() const { return path_; }

  void replace(std::string_view text) {
    if (::ftruncate(fd_, 0) != 0) std::abort();
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t n =
          ::pwrite(fd_, text.data() + done, text.size() - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
  std::string path_;
};

}  // namespace vt::fuzz
