#pragma once
// UTF-8 validation and lossy decoding.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vt::base {

/// Where and how a byte sequence stops being UTF-8.
struct Utf8Error {
  std::size_t valid_up_to = 0;  ///< bytes before the first bad sequence
  /// Length (1 to 3) of the maximal invalid prefix; empty when the input ends
  /// inside a sequence that could still have been completed.
  std::optional<std::size_t> error_len;
};

/// The first invalid sequence of `bytes`, or nothing when all of it is UTF-8.
std::optional<Utf8Error> check_utf8(std::string_view bytes);

inline bool is_utf8(std::string_view bytes) {
  return !check_utf8(bytes).has_value();
}

/// "invalid utf-8 sequence of N bytes from index I" or
/// "incomplete utf-8 byte sequence from index I".
std::string describe(const Utf8Error& error);

/// `bytes` with every maximal invalid subpart replaced by U+FFFD.
std::string decode_lossy(std::string_view bytes);

/// The longest prefix of the UTF-8 text `text` of at most `max_bytes` bytes
/// that does not end inside a character.
std::string_view cut_utf8(std::string_view text, std::size_t max_bytes);

}  // namespace vt::base
