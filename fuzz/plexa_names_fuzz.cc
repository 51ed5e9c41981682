// The control-panel helper's answers to "admins" and "reseller-users": both
// a JSON array of user names, read alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "plugins/plexa.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(vt::fuzz::as_text(data, size));
  const auto admins = vt::plugins::parse_admins(text);
  const auto users = vt::plugins::parse_reseller_users(text);
  if (admins.has_value() != users.has_value()) std::abort();
  if (admins && *admins != *users) std::abort();
  if (!admins && !admins.error().starts_with("failed to parse admins JSON: ")) std::abort();
  if (!users && !users.error().starts_with("failed to parse reseller-users JSON: ")) std::abort();
  return 0;
}
