#include "cli/timestamp_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "base/fd.h"

namespace vt::cli {

void touch_timestamp_file(const std::string& path) {
  // O_NONBLOCK: a FIFO in its place must not stall the run.
  base::Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
  fd.reset();
  ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
}

}  // namespace vt::cli
