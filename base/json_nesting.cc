#include "base/json_nesting.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vt::base::json::detail {
namespace {

// The bytes of one 64-byte block that matter, a bit each.
struct Block {
  std::uint64_t quote = 0;
  std::uint64_t backslash = 0;
  std::uint64_t open = 0;   // '{' and '['
  std::uint64_t close = 0;  // '}' and ']'
};

// '{' and '[' differ only in the bit 0x20, as '}' and ']' do.
constexpr char kOpen = '{';
constexpr char kClose = '}';

#if defined(__SSE2__)
Block classify(const char* text) {
  Block b;
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i case_bit = _mm_set1_epi8(0x20);
  const __m128i open = _mm_set1_epi8(kOpen);
  const __m128i close = _mm_set1_epi8(kClose);
  for (int i = 0; i < 4; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16 * i));
    const __m128i folded = _mm_or_si128(v, case_bit);
    const auto bits = [&](__m128i same) {
      return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(same)))
             << (16 * i);
    };
    b.quote |= bits(_mm_cmpeq_epi8(v, quote));
    b.backslash |= bits(_mm_cmpeq_epi8(v, backslash));
    b.open |= bits(_mm_cmpeq_epi8(folded, open));
    b.close |= bits(_mm_cmpeq_epi8(folded, close));
  }
  return b;
}
#else
Block classify(const char* text) {
  Block b;
  for (int i = 0; i < 64; ++i) {
    const char c = text[i];
    const char folded = static_cast<char>(c | 0x20);
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (c == '"') b.quote |= bit;
    if (c == '\\') b.backslash |= bit;
    if (folded == kOpen) b.open |= bit;
    if (folded == kClose) b.close |= bit;
  }
  return b;
}
#endif

// The bytes escaped by a backslash, among the first `valid`; `carry` says
// whether the first is, and then whether the byte after them is. Backslashes
// are rare (escapes in strings): one at a time.
std::uint64_t escaped_bytes(std::uint64_t backslash, bool& carry, unsigned valid) {
  std::uint64_t escaped = carry ? 1 : 0;
  carry = false;
  while (backslash != 0) {
    const unsigned at = static_cast<unsigned>(std::countr_zero(backslash));
    backslash &= backslash - 1;
    if ((escaped >> at) & 1) continue;  // an escaped backslash escapes nothing
    if (at + 1 == valid) {
      carry = true;
    } else {
      escaped |= std::uint64_t{1} << (at + 1);
    }
  }
  return escaped;
}

// Bit i set where an odd count of the bits up to and including i are set.
std::uint64_t prefix_xor(std::uint64_t bits) {
  for (unsigned shift = 1; shift < 64; shift *= 2) bits ^= bits << shift;
  return bits;
}

}  // namespace

std::size_t NestingScan::run(const char* text, std::size_t size) {
  for (std::size_t at = 0; at < size; at += 64) {
    const unsigned valid = size - at >= 64 ? 64 : static_cast<unsigned>(size - at);
    const std::uint64_t in_range =
        valid == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << valid) - 1;
    Block b = classify(text + at);
    b.quote &= in_range;
    b.backslash &= in_range;
    std::uint64_t quotes = b.quote;
    if (b.backslash != 0 || escaped) quotes &= ~escaped_bytes(b.backslash, escaped, valid);
    // Inside a string from its opening quote up to, not including, its
    // closing one.
    const std::uint64_t inside = prefix_xor(quotes) ^ (in_string ? ~std::uint64_t{0} : 0);
    in_string = ((inside >> (valid - 1)) & 1) != 0;
    const std::uint64_t open = b.open & in_range & ~inside;
    const std::uint64_t close = b.close & in_range & ~inside;
    for (std::uint64_t brackets = open | close; brackets != 0; brackets &= brackets - 1) {
      const std::uint64_t bit = brackets & -brackets;
      if ((open & bit) != 0) {
        ++depth;
      } else if (depth == 0 || --depth == 0) {
        return at + static_cast<std::size_t>(std::countr_zero(bit)) + 1;
      }
    }
  }
  return size;
}

}  // namespace vt::base::json::detail
