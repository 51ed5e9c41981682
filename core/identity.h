#pragma once
// Identity questions answered through Linux interfaces: whether the process
// runs in the machine's initial user namespace (checked through procfs in a
// way a forged "/proc" cannot fool), the login id range of "/etc/login.defs",
// and account names from the password database.
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt::core {

// --- Initial user namespace ---------------------------------------------

/// Why the namespace check gave up before it could judge the uid map.
struct NamespaceCheckError {
  std::string message;   ///< the failed check, or the system call that failed
  int system_error = 0;  ///< errno of a failed system call; 0 for a failed check

  bool operator==(const NamespaceCheckError&) const = default;
};

/// The whole check: every step works relative to directory handles proven to
/// lie on procfs and to be the entries procfs itself lists. True when the
/// process's uid map is the identity over all ids.
std::expected<bool, NamespaceCheckError> check_initial_user_namespace();

/// `check_initial_user_namespace`, with every failure taken as no.
inline bool is_initial_user_namespace() {
  return check_initial_user_namespace().value_or(false);
}

/// Whether the text of a uid_map describes the initial user namespace:
/// exactly one non-blank line, whose fields are "0", "0" and "4294967295".
bool uid_map_is_initial(std::string_view text);

// --- Login id range -------------------------------------------------------

inline constexpr std::uint32_t kDefaultUidMin = 500;
inline constexpr std::uint32_t kDefaultUidMax = 60000;

/// The value of `name` in login.defs text: the first trimmed line that starts
/// with `name` (a longer word such as UID_MAXIMUM counts too) and whose second
/// white-space separated field is an unsigned 32-bit decimal number.
/// `fallback` when no line gives one.
std::uint32_t login_defs_value(std::string_view text, std::string_view name,
                               std::uint32_t fallback);

/// The login id range.
struct LoginRange {
  std::uint32_t min = kDefaultUidMin;
  std::uint32_t max = kDefaultUidMax;
};

/// UID_MIN and UID_MAX from "/etc/login.defs", read afresh on every call;
/// each falls back to its default (500, 60000) on its own.
LoginRange login_range();

// --- Password database ----------------------------------------------------

/// The account name of `uid`; nothing when there is no entry, the lookup
/// fails, the entry needs more than 1 MiB of scratch space, or the name is
/// not UTF-8.
std::optional<std::string> user_name_for_uid(std::uint32_t uid);

/// Calls `visit` with the id and name of every password entry with an id
/// of at least `uid_min` and a UTF-8 name, in database order (an id listed
/// twice there is visited twice). Reading stops at the end of the database,
/// at an entry that needs more than 1 MiB of scratch space, or on a lookup
/// error. Uses the process-wide enumeration state: never run two
/// enumerations at once.
void for_each_login_user(std::uint32_t uid_min,
                         const std::function<void(std::uint32_t, std::string_view)>& visit);

}  // namespace vt::core
