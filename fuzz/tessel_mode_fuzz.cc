// The tessel helper's answer to "tessel-mode": plain text or one JSON string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/utf8.h"
#include "core/tessel_status.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The mode goes into the report as a JSON string: it must be valid UTF-8.
  const std::string mode = vt::core::tessel_mode_from_answer(vt::fuzz::as_text(data, size));
  if (!vt::base::is_utf8(mode)) std::abort();
  return 0;
}
