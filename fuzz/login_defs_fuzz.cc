// "/etc/login.defs": the login id range.
#include <cstddef>
#include <cstdint>

#include "core/identity.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = vt::fuzz::as_text(data, size);
  (void)vt::core::login_defs_value(text, "UID_MIN", vt::core::kDefaultUidMin);
  (void)vt::core::login_defs_value(text, "UID_MAX", vt::core::kDefaultUidMax);
  return 0;
}
