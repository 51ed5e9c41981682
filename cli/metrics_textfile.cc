#include "cli/metrics_textfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/fd.h"
#include "base/process.h"
#include "cli/output.h"

namespace vt::cli {
namespace {

// The failure of `step` ("Cannot create") on `object`, with the errno it
// left. Nothing is allocated before the call, so that errno is still the
// step's when the arguments are read.
base::Error failure(const std::string& path, std::string_view step, const std::string& object,
                    int errnum) {
  return {"Failed to write the metrics file " + path,
          {std::string(step) + " " + object, base::os_error_text(errnum)}};
}

// Whether no run holds the temporary file `name` any more: a writer keeps
// its file locked until the rename, and the lock goes with its process.
bool abandoned(int directory, const char* name) {
  const base::Fd file(::openat(directory, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return file && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0;
}

// Removes what killed runs left in the directory; the file of a run still
// writing stays, and so does what cannot be removed. The write goes on.
void remove_leftovers(int directory) {
  const int listing = ::dup(directory);
  if (listing < 0) return;
  DIR* dir = ::fdopendir(listing);
  if (dir == nullptr) {
    ::close(listing);
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (is_temporary_name(entry->d_name) && abandoned(directory, entry->d_name)) {
      (void)::unlinkat(directory, entry->d_name, 0);
    }
  }
  ::closedir(dir);
}

}  // namespace

bool is_temporary_name(std::string_view name) {
  if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return false;
  const std::string_view pid = name.substr(
      kTemporaryPrefix.size(), name.size() - kTemporaryPrefix.size() - kTemporarySuffix.size());
  return !pid.empty() && std::ranges::all_of(pid, [](char c) { return c >= '0' && c <= '9'; });
}

std::expected<void, base::Error> write_textfile(const std::string& path, std::string_view text) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    return std::unexpected(failure(path, "Cannot write to", path, EISDIR));
  }

  const base::Fd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) return std::unexpected(failure(path, "Cannot open the directory", directory, errno));
  remove_leftovers(dir.get());

  const std::string temporary =
      std::string(kTemporaryPrefix) + std::to_string(::getpid()) + std::string(kTemporarySuffix);
  const std::string temporary_path = (directory == "/" ? "" : directory) + "/" + temporary;
  const base::Fd file(::openat(dir.get(), temporary.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file) return std::unexpected(failure(path, "Cannot create", temporary_path, errno));

  // Each step in turn; the first that fails names itself and its errno.
  // The lock, held until the rename, tells other runs that the file is in
  // use; fsync has reported any write error before the file is closed.
  std::string_view step;
  int errnum = 0;
  if (::flock(file.get(), LOCK_EX) != 0) {
    step = "Cannot lock", errnum = errno;
  } else if (const auto written = write_all(file.get(), text); !written) {
    step = "Cannot write", errnum = written.error();
  } else if (::fsync(file.get()) != 0) {
    step = "Cannot sync", errnum = errno;
  } else if (::fchmod(file.get(), 0644) != 0) {
    step = "Cannot set the mode of", errnum = errno;
  } else if (::renameat(dir.get(), temporary.c_str(), dir.get(), name.c_str()) != 0) {
    step = "Cannot rename", errnum = errno;
  }
  if (!step.empty()) {
    (void)::unlinkat(dir.get(), temporary.c_str(), 0);
    return std::unexpected(failure(path, step, temporary_path, errnum));
  }
  return {};
}

}  // namespace vt::cli
