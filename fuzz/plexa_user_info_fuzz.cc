// The control-panel helper's answer to "user-info-sys": the accounts behind
// a list of user ids, and the ids it could not resolve.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "plugins/plexa.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto result = vt::plugins::parse_user_lookup(std::string(vt::fuzz::as_text(data, size)));
  if (!result && !result.error().starts_with("failed to parse user-info-sys JSON: ")) {
    std::abort();
  }
  return 0;
}
