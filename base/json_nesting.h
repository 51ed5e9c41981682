#pragma once
// Follows how deep a JSON text nests by its brackets alone, 64 bytes at a
// time: where a value that opens with a bracket ends, without parsing it. It
// knows strings and their escapes, and nothing else of JSON; a text it walks
// is still to be parsed.
#include <cstddef>
#include <cstdint>

namespace vt::base::json::detail {

struct NestingScan {
  std::uint64_t depth = 0;  ///< brackets open and not yet closed
  bool in_string = false;   ///< the next byte is inside a string
  bool escaped = false;     ///< the next byte follows a backslash that escapes it

  /// Reads the `size` bytes at `text`, 64 readable bytes lying past them,
  /// until a closing bracket outside a string brings the depth back to 0:
  /// the count of bytes read up to and including that bracket, or `size`
  /// with the state kept for the next bytes of the text.
  std::size_t run(const char* text, std::size_t size);
};

}  // namespace vt::base::json::detail
