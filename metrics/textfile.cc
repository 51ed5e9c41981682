#include "metrics/textfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <vector>

#include "base/directory.h"
#include "base/error.h"
#include "base/fd.h"
#include "command/output.h"

namespace vt::metrics {
namespace {

// New names to try when one is taken: a run that meets this many taken
// random names in a row has met something other than chance.
constexpr int kNameAttempts = 16;

// The failure of `step` ("Cannot create") on `object`, with the errno it
// left. Nothing is allocated before the call, so that errno is still the
// step's when the arguments are read.
base::Error failure(const std::string& path, std::string_view step, const std::string& object,
                    int errnum) {
  return {"Failed to write the metrics file " + path,
          {std::string(step) + " " + object, base::os_error_text(errnum)}};
}

// Whether a run still writes the regular file `name`: a writer keeps its
// file locked until the rename, and the lock goes with its process. A file
// that cannot be opened is taken for held.
bool held(int directory, const char* name) {
  const base::Fd file(::openat(directory, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return !file || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0;
}

// Removes the entries of the temporary pattern that killed runs left in the
// directory, or that somebody else put there; the file of a run still
// writing stays, and so does what cannot be removed. Nothing but a regular
// file is ever opened. The write goes on.
void remove_leftovers(int directory) {
  const int listing = ::dup(directory);
  if (listing < 0) return;
  DIR* dir = ::fdopendir(listing);
  if (dir == nullptr) {
    ::close(listing);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (is_temporary_name(entry->d_name)) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& name : names) {
    struct stat info {};
    if (::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(info.st_mode) && held(directory, name.c_str())) continue;
    (void)base::remove_entry(directory, name.c_str());
  }
}

// The user `uid`, by name where it has one: "prometheus (uid 108)".
std::string user_named(uid_t uid) {
  std::vector<char> buffer(4096);
  passwd entry{};
  passwd* found = nullptr;
  const bool named =
      ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr;
  return (named ? std::string(entry.pw_name) + " " : "") + "(uid " + std::to_string(uid) + ")";
}

// Why root may not write in the directory `fd`, if it may not: root's
// file must not land where another user can read, replace or remove it.
// A directory of another owner, or one that its group or others may
// write, gives them that; so does an append-only one, where a failed
// run could not remove its temporary file.
std::optional<std::string> unfit_directory(int fd, const std::string& directory) {
  struct stat info {};
  if (::fstat(fd, &info) != 0)
    return "Cannot examine " + directory + ": " + base::os_error_text(errno);
  if (info.st_uid != 0) {
    return "The directory " + directory + " belongs to " + user_named(info.st_uid) +
           ", not to root";
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return "The directory " + directory + " may be written by its group or others (mode " + mode +
           ")";
  }
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0) {
    return "The directory " + directory + " is append-only";
  }
  return std::nullopt;
}

// A temporary name nobody can guess: 64 bits from the kernel's generator,
// which blocks only until it is first seeded, early at boot.
std::expected<std::string, int> random_temporary_name() {
  unsigned char bytes[8] = {};
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno != EINTR) return std::unexpected(errno);
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  constexpr char kHex[] = "0123456789abcdef";
  std::string name(kTemporaryPrefix);
  for (const unsigned char b : bytes) {
    name += kHex[b >> 4];
    name += kHex[b & 0xf];
  }
  name += kTemporarySuffix;
  return name;
}

// A new temporary file in the directory, created by this run and no other.
struct Temporary {
  base::Fd file;
  std::string name;
};

std::expected<Temporary, int> create_temporary(int directory) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    auto name = random_temporary_name();
    if (!name) return std::unexpected(name.error());
    base::Fd file(::openat(directory, name->c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file) return Temporary{std::move(file), std::move(*name)};
    if (errno != EEXIST) return std::unexpected(errno);
  }
  return std::unexpected(EEXIST);
}

}  // namespace

bool is_temporary_name(std::string_view name) {
  if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return false;
  const std::string_view digits = name.substr(
      kTemporaryPrefix.size(), name.size() - kTemporaryPrefix.size() - kTemporarySuffix.size());
  return !digits.empty() && digits.size() <= 32 && std::ranges::all_of(digits, [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
  });
}

std::expected<gid_t, base::Error> textfile_group(const std::string& name) {
  std::vector<char> buffer(1024);
  group entry{};
  group* found = nullptr;
  int error = 0;
  while ((error = ::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found)) ==
             ERANGE &&
         buffer.size() < (std::size_t{1} << 24)) {
    buffer.resize(buffer.size() * 2);
  }
  if (found != nullptr) return found->gr_gid;
  if (error != 0) {
    return std::unexpected(
        base::Error{"Cannot look up the group " + name, {base::os_error_text(error)}});
  }
  return std::unexpected(base::Error{"Unknown group " + name, {}});
}

std::expected<void, base::Error> write_textfile(const std::string& path, std::string_view text,
                                                gid_t group) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    return std::unexpected(failure(path, "Cannot write to", path, EISDIR));
  }

  auto dir = base::open_directory_no_links(directory);
  if (!dir && dir.error() == ELOOP) {
    return std::unexpected(base::Error{
        "Failed to write the metrics file " + path,
        {"The path " + directory + " leads through a symbolic link, which is not followed"}});
  }
  if (!dir)
    return std::unexpected(failure(path, "Cannot open the directory", directory, dir.error()));
  if (auto unfit = unfit_directory(dir->get(), directory)) {
    return std::unexpected(base::Error{"Failed to write the metrics file " + path, {*unfit}});
  }
  remove_leftovers(dir->get());

  auto temporary = create_temporary(dir->get());
  const std::string prefix = directory == "/" ? "" : directory;
  if (!temporary) {
    return std::unexpected(
        failure(path, "Cannot create a temporary file in", directory, temporary.error()));
  }
  const int file = temporary->file.get();
  const char* temporary_name = temporary->name.c_str();

  // Each step in turn; the first that fails names itself and its errno.
  // The lock, held until the rename, tells other runs that the file is in
  // use; fsync has reported any write error before the file is closed.
  std::string_view step;
  int errnum = 0;
  if (::flock(file, LOCK_EX) != 0) {
    step = "Cannot lock", errnum = errno;
  } else if (const auto written = command::write_all(file, text); !written) {
    step = "Cannot write", errnum = written.error();
  } else if (::fsync(file) != 0) {
    step = "Cannot sync", errnum = errno;
  } else if (::fchown(file, static_cast<uid_t>(-1), group) != 0) {
    step = "Cannot set the group of", errnum = errno;
  } else if (::fremovexattr(file, "system.posix_acl_access") != 0 && errno != ENODATA &&
             errno != EOPNOTSUPP) {
    // A default ACL of the directory gave the file one: its named users
    // would read it whatever the mode.
    step = "Cannot remove the access ACL of", errnum = errno;
  } else if (::fchmod(file, 0640) != 0) {
    step = "Cannot set the mode of", errnum = errno;
  } else if (::renameat(dir->get(), temporary_name, dir->get(), name.c_str()) != 0) {
    step = "Cannot rename", errnum = errno;
  }
  if (!step.empty()) {
    (void)::unlinkat(dir->get(), temporary_name, 0);
    return std::unexpected(failure(path, step, prefix + "/" + temporary->name, errnum));
  }
  // The rename is durable only once the directory is.
  if (::fsync(dir->get()) != 0) {
    return std::unexpected(failure(path, "Cannot sync the directory", directory, errno));
  }
  return {};
}

}  // namespace vt::metrics
