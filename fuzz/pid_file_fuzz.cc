// The statistics service's pid file. Its reader takes a path, so the input is
// laid into a file in memory. The process it names is only asked whether it
// exists (signal 0), which harms nobody.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/utf8.h"
#include "fuzz/fuzz_input.h"
#include "gather/service_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vt::fuzz::MemoryFile file;
  const auto text = vt::fuzz::as_text(data, size);
  file.replace(text);
  const vt::gather::ServiceState state = vt::gather::check_stats_service(file.path());
  // A readable file is stopped exactly when it is not UTF-8.
  if ((state == vt::gather::ServiceState::stopped) == vt::base::is_utf8(text)) std::abort();
  if (vt::gather::service_state_message(state).has_value() !=
      (state != vt::gather::ServiceState::running)) {
    std::abort();
  }
  return 0;
}
