#include "base/utf8.h"

#include <simdjson.h>

namespace vt::base {
namespace {

// Length of the valid sequence starting at `i`, or 0 with `bad` set to the
// length of the maximal invalid prefix (0 when the input ends inside a
// sequence that could still be completed).
std::size_t sequence_length(std::string_view s, std::size_t i, std::size_t& bad) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return 1;
  std::size_t need = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    bad = 1;
    return 0;
  }
  for (std::size_t k = 1; k < need; ++k) {
    if (i + k >= s.size()) {
      bad = 0;
      return 0;
    }
    const auto b = static_cast<unsigned char>(s[i + k]);
    const unsigned char l = k == 1 ? lo : 0x80, h = k == 1 ? hi : 0xBF;
    if (b < l || b > h) {
      bad = k;
      return 0;
    }
  }
  return need;
}

}  // namespace

std::optional<Utf8Error> check_utf8(std::string_view bytes) {
  // The vectorised check answers for valid text, which nearly all is; the
  // walk below only finds where invalid text goes wrong.
  if (simdjson::validate_utf8(bytes.data(), bytes.size())) return std::nullopt;
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    // Fast path over ASCII, eight bytes at a time.
    while (i + 8 <= n) {
      unsigned long long word;
      __builtin_memcpy(&word, bytes.data() + i, 8);
      if (word & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i >= n) break;
    std::size_t bad = 0;
    const std::size_t len = sequence_length(bytes, i, bad);
    if (len == 0) {
      if (bad == 0) return Utf8Error{i, std::nullopt};
      return Utf8Error{i, bad};
    }
    i += len;
  }
  return std::nullopt;
}

std::string describe(const Utf8Error& error) {
  if (!error.error_len) {
    return "incomplete utf-8 byte sequence from index " + std::to_string(error.valid_up_to);
  }
  return "invalid utf-8 sequence of " + std::to_string(*error.error_len) + " bytes from index " +
         std::to_string(error.valid_up_to);
}

std::string decode_lossy(std::string_view bytes) {
  static constexpr std::string_view replacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t bad = 0;
    const std::size_t len = sequence_length(bytes, i, bad);
    if (len > 0) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      out.append(replacement);
      // An incomplete sequence at the end is one maximal subpart.
      i = bad == 0 ? bytes.size() : i + bad;
    }
  }
  return out;
}

std::string_view cut_utf8(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace vt::base
