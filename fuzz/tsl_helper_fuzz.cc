// The tessel helper's answer to "limits": account names to their MySQL limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "plugins/tsl_helper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto limits = vt::plugins::parse_tsl_limits(std::string(vt::fuzz::as_text(data, size)));
  if (!limits && !limits.error().starts_with("failed to parse tsl-helper JSON: ")) std::abort();
  return 0;
}
