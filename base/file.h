#pragma once
// Reading whole files.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>

#include "base/fd.h"

namespace vt::base {

/// Every text read here has at least this many bytes of spare capacity past
/// its end, so that a vectorised reader may load whole blocks from it.
inline constexpr std::size_t kSpareCapacity = 64;

/// Everything left to read from the descriptor `fd`, or the errno of the
/// failure. The descriptor stays open.
std::expected<std::string, int> read_fd(int fd, std::size_t size_hint = 0);

/// Why a file could not be read.
struct FileError {
  int errnum = 0;          ///< errno; EFBIG when the file is larger than allowed
  std::uint64_t size = 0;  ///< with EFBIG: the file's size, or how much of it was read
};

/// The whole content of the regular file at `path`, at most `max_size` bytes,
/// or why it could not be read. The file is opened without blocking and
/// without becoming a controlling terminal, so a FIFO or a device there
/// cannot stall or flood the run; anything but a regular file is a failure
/// (EISDIR for a directory, EINVAL otherwise), and so is a file larger than
/// `max_size` (EFBIG), also one that grows past it while being read.
std::expected<std::string, FileError> read_file(const std::string& path, std::size_t max_size);

/// A regular file opened as read_file opens it, and its size then.
struct OpenFile {
  Fd fd;
  std::uint64_t size = 0;
};

/// Opens the regular file at `path` for reading, failing as read_file does
/// before it reads.
std::expected<OpenFile, FileError> open_file(const std::string& path, std::size_t max_size);

/// The whole content of an open file, read from its start again, failing
/// as read_file does.
std::expected<std::string, FileError> read_from_start(const OpenFile& file, std::size_t max_size);

/// Reads at most `size` bytes of `fd` into `buffer`, a read that a signal
/// interrupts being made again: how many, 0 at the end, or the errno.
std::expected<std::size_t, int> read_some(int fd, char* buffer, std::size_t size);

/// `max_size` for the small text files the command reads: configuration,
/// login definitions, pid files.
inline constexpr std::size_t kSmallFileMaxBytes = std::size_t{16} << 20;

}  // namespace vt::base
