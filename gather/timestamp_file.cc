#include "gather/timestamp_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "base/fd.h"

namespace vt::gather {

void touch_timestamp_file(const std::string& path) {
  // The folder may be writable by others: a symlink there must not lead a
  // privileged run to create or open another file, and a FIFO or device in
  // its place must neither stall the run nor be written to.
  const base::Fd fd(::open(
      path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
  struct stat st {};
  if (fd && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::futimens(fd.get(), nullptr);
    return;
  }
  // Whatever stands there, a directory, a symlink or a failed open, still
  // has its times set, by name and never through a link.
  ::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

}  // namespace vt::gather
