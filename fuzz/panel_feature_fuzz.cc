// The control-panel helper's answer to "panel-feature".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/kob_support.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view answer = vt::fuzz::as_text(data, size);
  // Only "true" with white space around it says yes.
  if (vt::core::panel_feature_enabled(answer) && answer.find("true") == std::string_view::npos) {
    std::abort();
  }
  return 0;
}
