// The output of the MySQL tessel service's statistics tool, merged over the
// figures of its data file; and the field readers it uses, on the whole text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/tsltop.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = vt::fuzz::as_text(data, size);
  vt::core::DbTslStatsByName stats = {{"alice", {10.0, 100.0, "-", 0}},
                                      {"bob", {0.0, 0.0, "cpu", 1700}}};
  vt::core::merge_tsltop_output(stats, text);
  if (!stats.contains("alice") || !stats.contains("bob")) std::abort();

  (void)vt::core::parse_float(text);
  (void)vt::core::parse_size_value(text);
  const auto token = vt::core::parse_restriction_token(text);
  if (token.cause != "-" && token.cause != "cpu" && token.cause != "read" &&
      token.cause != "write" && token.cause != "unknown") {
    std::abort();
  }
  return 0;
}
