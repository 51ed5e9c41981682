// The statistics configuration: key=value lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/config.h"
#include "core/diagnostics.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Diagnostics are formatted and looked at, not printed.
  static const bool receiver_installed = [] {
    vt::core::set_diagnostic_receiver([](const vt::core::Diagnostic& event) {
      if (event.target.empty() && event.message.empty()) std::abort();
    });
    return true;
  }();
  (void)receiver_installed;

  const auto config = vt::core::parse_stats_config(vt::fuzz::as_text(data, size));
  if (config) {
    if (config->interval == 0 || config->timeout == 0 || config->aggregation_period == 0) {
      std::abort();
    }
  } else if (config.error().message.empty()) {
    std::abort();
  }
  return 0;
}
