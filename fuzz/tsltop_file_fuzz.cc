// The MySQL tessel service's data file, as the statistics service saves it.
// Its reader takes a path, so the input is laid into a file in memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/utf8.h"
#include "core/tsltop.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vt::fuzz::MemoryFile file;
  const auto text = vt::fuzz::as_text(data, size);
  file.replace(text);
  const auto stats = vt::core::load_tsltop_file(file.path());
  if (stats && !vt::base::is_utf8(text)) std::abort();
  return 0;
}
