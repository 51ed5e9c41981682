// The process's uid map, as procfs shows it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/identity.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = vt::fuzz::as_text(data, size);
  if (vt::core::uid_map_is_initial(text) && text.find("4294967295") == text.npos) std::abort();
  return 0;
}
