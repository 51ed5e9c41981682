// Account names from the password database through the reentrant calls,
// with a scratch buffer that grows from 4 KiB to at most 1 MiB.
#include <pwd.h>

#include <cerrno>
#include <cstddef>
#include <vector>

#include "base/utf8.h"
#include "core/identity.h"

namespace vt::core {
namespace {

constexpr std::size_t kFirstBufferSize = 4096;
constexpr std::size_t kLastBufferSize = 1048576;

}  // namespace

std::optional<std::string> user_name_for_uid(std::uint32_t uid) {
  std::vector<char> buffer;
  for (std::size_t size = kFirstBufferSize; size <= kLastBufferSize; size *= 2) {
    buffer.resize(size);
    passwd entry{};
    passwd* found = nullptr;
    const int error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE) continue;
    if (error != 0 || found == nullptr || found->pw_name == nullptr) return std::nullopt;
    const std::string_view name = found->pw_name;
    if (!base::is_utf8(name)) return std::nullopt;
    return std::string(name);
  }
  return std::nullopt;
}

void for_each_login_user(std::uint32_t uid_min,
                         const std::function<void(std::uint32_t, std::string_view)>& visit) {
  std::vector<char> buffer(kFirstBufferSize);
  ::setpwent();
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = ::getpwent_r(&entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < kLastBufferSize) {
      // The reader keeps its place: the next call returns the same entry.
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr) break;  // ENOENT is the end of the database
    if (found->pw_uid < uid_min || found->pw_name == nullptr) continue;
    const std::string_view name = found->pw_name;
    if (!base::is_utf8(name)) continue;
    visit(found->pw_uid, name);
  }
  ::endpwent();
}

}  // namespace vt::core
