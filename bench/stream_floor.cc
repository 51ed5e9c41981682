// The streaming floor: the least a caller that reads the usage snapshot as a
// stream can pay. Reads the file with read(2) in 1 MiB chunks into one buffer
// that it reuses, finds the elements of the top-level "users" array with a
// scan of 64-byte blocks (quotes, backslashes, brackets and commas as bit
// masks, the bytes inside strings by a prefix xor of the quotes, the nesting
// by counting brackets), and has the vectorised parser's DOM interface check
// each run of whole elements as one array, keeping nothing. The members
// before and after the array are gathered, with the array left empty, into a
// small document that is checked at the end. Exit status 0 when the whole
// file is valid JSON, 1 when it is not. Shares no code with the command.
//
//   vt_stream_floor FILE
//
// The pieces add up to the whole: every run is cut at a comma that separates
// two elements, every run but a lone one must hold an element, and the array
// is parsed one level less deep than it sits in the file, so the file passes
// exactly when it would pass whole.
#include <fcntl.h>
#include <simdjson.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;  // one read(2)
// A run of elements is parsed once it is this long, so that the parser's
// working set stays in the core's caches (runs of 16 to 256 KiB time alike,
// runs of a whole chunk a few per cent slower).
constexpr std::size_t kRun = std::size_t{64} << 10;
// Room after the data: a block of spaces for the scan's last partial block,
// then the padding the parser may read past its input.
constexpr std::size_t kPadding = 64 + simdjson::SIMDJSON_PADDING;
// What the buffer holds normally: a chunk, and what is carried over from the
// chunk before (the run not parsed yet: up to kRun and an unfinished
// element) up to a chunk; it grows past that only for a larger element, and
// shrinks back after it.
constexpr std::size_t kDefaultCapacity = 2 * kChunk + kPadding;

// One 64-byte block as bit masks, bit i for byte i. Its commas are only
// looked for where an element may end (commas()).
struct Block {
  std::uint64_t quote = 0, backslash = 0, open = 0, close = 0;
};

// What every processor of its kind has: SSE2 on x86-64, else byte by byte.
struct Baseline {
#if defined(__SSE2__)
  static void add(Block& b, __m128i v, int shift) {
    const auto bits = [shift](__m128i m) {
      return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))) << shift;
    };
    // '[' and '{', ']' and '}' differ only in bit 5 (0x20).
    const __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));
    b.quote |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
    b.backslash |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
    b.open |= bits(_mm_cmpeq_epi8(folded, _mm_set1_epi8('{')));
    b.close |= bits(_mm_cmpeq_epi8(folded, _mm_set1_epi8('}')));
  }

  static Block classify(const char* p) {
    Block b;
    add(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), 0);
    add(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), 16);
    add(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), 32);
    add(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), 48);
    return b;
  }

  static std::uint64_t commas(const char* p) {
    std::uint64_t found = 0;
    for (int i = 0; i < 64; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const auto bits =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(','))));
      found |= static_cast<std::uint64_t>(bits) << i;
    }
    return found;
  }
#else
  static Block classify(const char* p) {
    Block b;
    for (int i = 0; i < 64; ++i) {
      const std::uint64_t bit = std::uint64_t{1} << i;
      const char folded = static_cast<char>(p[i] | 0x20);
      if (p[i] == '"') b.quote |= bit;
      if (p[i] == '\\') b.backslash |= bit;
      if (folded == '{') b.open |= bit;
      if (folded == '}') b.close |= bit;
    }
    return b;
  }

  static std::uint64_t commas(const char* p) {
    std::uint64_t found = 0;
    for (int i = 0; i < 64; ++i) {
      if (p[i] == ',') found |= std::uint64_t{1} << i;
    }
    return found;
  }
#endif
  // Bit i of the result is the xor of bits 0 to i.
  static std::uint64_t prefix_xor(std::uint64_t x) {
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    x ^= x << 32;
    return x;
  }

  // Without a popcount instruction, std::popcount calls out of line.
  static int popcount(std::uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555ULL;
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<int>((x * 0x0101010101010101ULL) >> 56);
  }
};

#if defined(__x86_64__)
// Processors since 2013 or so: two 32-byte halves, and the prefix xor as one
// carry-less multiplication by all ones. Only called from code built for
// these processors (scan_avx2), into which it is inlined.
struct Avx2 {
  [[gnu::target("avx2")]] static std::uint64_t bits(__m256i low, __m256i high, char c) {
    const __m256i wanted = _mm256_set1_epi8(c);
    const auto l = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted)));
    const auto h =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted)));
    return std::uint64_t{l} | std::uint64_t{h} << 32;
  }

  [[gnu::target("avx2")]] static Block classify(const char* p) {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const __m256i bit5 = _mm256_set1_epi8(0x20);
    const __m256i folded_low = _mm256_or_si256(low, bit5);
    const __m256i folded_high = _mm256_or_si256(high, bit5);
    Block b;
    b.quote = bits(low, high, '"');
    b.backslash = bits(low, high, '\\');
    b.open = bits(folded_low, folded_high, '{');
    b.close = bits(folded_low, folded_high, '}');
    return b;
  }

  [[gnu::target("avx2")]] static std::uint64_t commas(const char* p) {
    return bits(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), ',');
  }

  [[gnu::target("pclmul")]] static std::uint64_t prefix_xor(std::uint64_t x) {
    const __m128i product =
        _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(x)), _mm_set1_epi8(-1), 0);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
  }

  [[gnu::target("popcnt")]] static int popcount(std::uint64_t x) { return std::popcount(x); }
};
#endif

// Follows the inside of one array block by block: which bytes are escaped,
// which are inside strings, and how deep the brackets nest (0 between the
// array's elements).
class ArrayScan {
 public:
  struct Found {
    int comma = -1;  // the block's last comma between two elements, when asked for
    int end = -1;    // the bracket that closes the array
  };

  template <class Simd>
  [[gnu::always_inline]] inline Found block(const char* p, bool want_comma) {
    const Block b = Simd::classify(p);
    const std::uint64_t quotes = b.quote & ~escaped(b.backslash);
    const std::uint64_t in_string = Simd::prefix_xor(quotes) ^ in_string_;
    in_string_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(in_string) >> 63);
    const std::uint64_t open = b.open & ~in_string;
    const std::uint64_t close = b.close & ~in_string;
    const int closes = Simd::popcount(close);
    Found found;
    // Unless the block has as many closing brackets as its start is deep, it
    // stays inside an element throughout; mostly it does.
    if (depth_ > closes || (depth_ == closes && !want_comma)) {
      depth_ += Simd::popcount(open) - closes;
      return found;
    }
    const std::uint64_t comma = want_comma ? Simd::commas(p) & ~in_string : 0;
    for (std::uint64_t left = open | close | comma; left != 0; left &= left - 1) {
      const std::uint64_t bit = left & -left;
      if ((open & bit) != 0) {
        ++depth_;
      } else if ((close & bit) != 0) {
        if (depth_ == 0) {
          found.end = std::countr_zero(left);
          return found;
        }
        --depth_;
      } else if (depth_ == 0) {
        found.comma = std::countr_zero(left);
      }
    }
    return found;
  }

 private:
  // The bytes that a backslash escapes: each run of backslashes escapes every
  // second one of its own, starting with its second, and the byte after it
  // when the run is odd.
  std::uint64_t escaped(std::uint64_t backslash) {
    constexpr std::uint64_t kOdd = 0xAAAAAAAAAAAAAAAAULL;
    if (backslash == 0) {
      const std::uint64_t first = escape_next_;
      escape_next_ = 0;
      return first;
    }
    const std::uint64_t escapes = backslash & ~escape_next_;  // the ones that escape something
    const std::uint64_t code = (((escapes << 1) | kOdd) - escapes) ^ kOdd;
    const std::uint64_t result = code ^ (backslash | escape_next_);
    escape_next_ = (code & backslash) >> 63;
    return result;
  }

  std::uint64_t escape_next_ = 0;  // 1 when the next block's first byte is escaped
  std::uint64_t in_string_ = 0;    // all ones when the next block starts inside a string
  int depth_ = 0;
};

// Where a scan of the array stopped.
struct Stop {
  enum Kind { kNone, kComma, kEnd } kind = kNone;
  std::size_t at = 0;       // the comma between elements, or the closing bracket
  std::size_t scanned = 0;  // the end of the blocks scanned
};

// Scans the blocks of `data` that start from `from` to before `to`, until the
// array closes or, in a block that starts at `want` or later, a comma between
// elements turns up.
template <class Simd>
[[gnu::always_inline]] inline Stop scan_blocks(ArrayScan& scan, const char* data, std::size_t from,
                                               std::size_t to, std::size_t want) {
  for (std::size_t at = from; at < to; at += 64) {
    const ArrayScan::Found found = scan.block<Simd>(data + at, at >= want);
    if (found.end >= 0) return {Stop::kEnd, at + static_cast<std::size_t>(found.end), at + 64};
    if (found.comma >= 0)
      return {Stop::kComma, at + static_cast<std::size_t>(found.comma), at + 64};
  }
  return {Stop::kNone, 0, std::max(from, to)};
}

using Scanner = Stop (*)(ArrayScan&, const char*, std::size_t, std::size_t, std::size_t);

Stop scan_baseline(ArrayScan& scan, const char* data, std::size_t from, std::size_t to,
                   std::size_t want) {
  return scan_blocks<Baseline>(scan, data, from, to, want);
}

#if defined(__x86_64__)
[[gnu::target("avx2,bmi,popcnt,pclmul")]] Stop scan_avx2(ArrayScan& scan, const char* data,
                                                         std::size_t from, std::size_t to,
                                                         std::size_t want) {
  return scan_blocks<Avx2>(scan, data, from, to, want);
}
#endif

Scanner best_scanner() {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
      __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("pclmul")) {
    return scan_avx2;
  }
#endif
  return scan_baseline;
}

bool is_space(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

class StreamFloor {
 public:
  explicit StreamFloor(int fd) : fd_(fd) {}

  bool valid() {
    // Inside the array, the wrapping bracket of a run stands for the array
    // itself, one level up in the file.
    if (runs_.allocate(2 * kRun, simdjson::DEFAULT_MAX_DEPTH - 1) != simdjson::SUCCESS) {
      return false;
    }
    std::size_t at = 0;
    for (;;) {
      if (at == end_) {
        if (eof_) break;
        if (!fill(end_)) return false;
        at = 0;
        continue;
      }
      const std::size_t array = outside(at);
      if (array == end_) {
        at = end_;
        continue;
      }
      streamed_ = true;
      after_users_ = 0;
      if (!stream(array, at)) return false;
      rest_.push_back(']');
    }
    simdjson::dom::parser parser;
    return parser.parse(rest_).error() == simdjson::SUCCESS;
  }

 private:
  // Copies bytes from `at` into the rest of the document, up to the "users"
  // array's opening bracket; returns its position, or the end of the data.
  std::size_t outside(std::size_t at) {
    for (; at < end_; ++at) {
      const char c = buffer_[at];
      rest_.push_back(c);
      if (in_string_) {
        if (escaped_) {
          escaped_ = false;
        } else if (c == '\\') {
          escaped_ = true;
        } else if (c == '"') {
          in_string_ = false;
          after_users_ =
              depth_ == 1 && rest_.size() - key_ == 7 && rest_.compare(key_, 7, "\"users\"") == 0
                  ? 1
                  : 0;
        }
        continue;
      }
      switch (c) {
        case '"':
          in_string_ = true;
          key_ = rest_.size() - 1;
          break;
        case ':':
          after_users_ = after_users_ == 1 ? 2 : 0;
          break;
        case ' ':
        case '\n':
        case '\r':
        case '\t':
          break;
        case '[':
          if (after_users_ == 2 && depth_ == 1 && !streamed_) return at;
          [[fallthrough]];
        case '{':
          ++depth_;
          after_users_ = 0;
          break;
        case '}':
        case ']':
          --depth_;
          after_users_ = 0;
          break;
        default:
          after_users_ = 0;
      }
    }
    return end_;
  }

  // Checks the array whose opening bracket is at `array`, and sets `after`
  // to the byte after its closing bracket. A run ends at the first comma
  // between elements found once it is kRun long.
  bool stream(std::size_t array, std::size_t& after) {
    ArrayScan scan;
    std::size_t start = array;  // the bracket or comma before the current run
    bool first = true;          // `start` is the array's opening bracket
    std::size_t scanned = array + 1;
    for (;;) {
      // Whole blocks only, but for the last one of the file, which the
      // padding fills up with spaces.
      const std::size_t to = eof_ ? end_ : end_ - (end_ - scanned) % 64;
      for (;;) {
        const Stop stop = scanner_(scan, buffer_.get(), scanned, to, start + kRun);
        scanned = stop.scanned;
        if (stop.kind == Stop::kEnd) {
          if (buffer_[stop.at] != ']' || !run(start, stop.at, first)) return false;
          after = stop.at + 1;
          return true;
        }
        if (stop.kind == Stop::kNone) break;
        if (!run(start, stop.at, false)) return false;
        start = stop.at;
        first = false;
      }
      if (eof_) return false;  // the array never closes
      const std::size_t moved = start;
      if (!fill(start)) return false;
      start = 0;
      scanned -= moved;
    }
  }

  // Parses the elements between the bracket or comma at `from` and the comma
  // or bracket at `to` as one array. Only a run that is the whole array may
  // be empty.
  bool run(std::size_t from, std::size_t to, bool whole) {
    if (!whole && std::all_of(&buffer_[from + 1], &buffer_[to], is_space)) return false;
    buffer_[from] = '[';
    buffer_[to] = ']';
    const std::size_t length = to - from + 1;
    const bool ok = runs_.parse(&buffer_[from], length, false).error() == simdjson::SUCCESS;
    if (length > 4 * kRun) {  // an outsized element: give its memory back
      runs_ = simdjson::dom::parser();
      if (runs_.allocate(2 * kRun, simdjson::DEFAULT_MAX_DEPTH - 1) != simdjson::SUCCESS) {
        return false;
      }
    }
    return ok;
  }

  // Moves the bytes from `keep` on to the front of the buffer and reads up to
  // one chunk after them.
  bool fill(std::size_t keep) {
    const std::size_t carried = end_ - keep;
    const std::size_t needed = carried + kChunk + kPadding;
    if (needed > capacity_ || (capacity_ > kDefaultCapacity && needed <= kDefaultCapacity)) {
      const std::size_t capacity =
          needed <= kDefaultCapacity ? kDefaultCapacity : std::max(needed, 2 * capacity_);
      auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
      if (carried > 0) std::memcpy(buffer.get(), &buffer_[keep], carried);
      buffer_ = std::move(buffer);
      capacity_ = capacity;
    } else if (carried > 0) {
      std::memmove(buffer_.get(), &buffer_[keep], carried);
    }
    end_ = carried;
    const std::size_t full = carried + kChunk;
    while (end_ < full) {
      const ssize_t n = read(fd_, &buffer_[end_], full - end_);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (n == 0) {
        eof_ = true;
        break;
      }
      end_ += static_cast<std::size_t>(n);
    }
    std::memset(&buffer_[end_], ' ', 64);
    return true;
  }

  int fd_;
  const Scanner scanner_ = best_scanner();
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0, end_ = 0;
  bool eof_ = false;
  simdjson::dom::parser runs_;
  // Outside the "users" array: the document with the array left empty.
  std::string rest_;
  int depth_ = 0;
  bool in_string_ = false, escaped_ = false, streamed_ = false;
  std::size_t key_ = 0;  // where the last string began in rest_
  int after_users_ = 0;  // 1 after the key "users" at the top level, 2 after its colon
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vt_stream_floor FILE\n");
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 1;
  StreamFloor floor(fd);
  const bool valid = floor.valid();
  close(fd);
  return valid ? 0 : 1;
}
