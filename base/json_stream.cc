#include "base/json_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "base/json_nesting.h"
#include "base/json_rules.h"

namespace vt::base::json::detail {
namespace {

// The quick pass reads this far past the end of a text.
constexpr std::size_t kReadPast = 64;

// The elements decoded together: once they are this long, the batch ends.
// The parser's first pass runs over the whole batch before the second reads
// its values, and a batch that stays in the processor's cache between the
// two costs less: against batches as long as the buffer, 0.96 of an end
// user's CPU time at 100,000 accounts (0.98 of root's), and 0.94 of the
// peak, the median of 21 paired rounds.
constexpr std::size_t kBatchBytes = std::size_t{64} << 10;

bool is_json_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The text as it comes, in one buffer: byte 0 is room for the bracket that
// opens a batch, then the bytes not yet consumed, then room for the bracket
// that closes one and the bytes the quick pass reads past it.
class Chunks {
 public:
  Chunks(const ReadSome& read, const StreamLimits& limits)
      : read_(read),
        limits_(limits),
        usual_(1 + 2 * limits.chunk + 1 + kReadPast),
        capacity_(usual_),
        buffer_(new char[capacity_]) {}

  char* data() { return buffer_.get(); }
  std::size_t capacity() const { return capacity_; }
  std::size_t pos = 1;  // the next byte not consumed
  std::size_t end = 1;  // past the last byte read

  // Where byte `at` of the buffer stands in the text.
  std::size_t offset_of(std::size_t at) const { return read_total_ - (end - at); }

  // Whether a read failed or the text was longer than allowed.
  bool failed() const { return failed_; }

  // The next byte, read on where the buffer ends; -1 past the text's end.
  int peek() {
    if (pos == end && !fill()) return -1;
    return static_cast<unsigned char>(buffer_[pos]);
  }

  // Reads the next chunk, keeping the bytes from `pos` on at the front:
  // false at the end of the text. Reads come a whole chunk at a time, so
  // they start at multiples of it in the text; a record longer than a chunk
  // makes the buffer grow, by as many chunks as it already holds, and the
  // next chunk after it makes the buffer shrink back.
  bool fill() {
    if (done_) return false;
    const std::size_t kept = end - pos;
    std::size_t want = kept <= limits_.chunk
                           ? limits_.chunk
                           : (kept + limits_.chunk - 1) / limits_.chunk * limits_.chunk;
    // One byte more than allowed tells that there is more.
    want = std::min(want, limits_.max_size + 1 - read_total_);
    const std::size_t needed = 1 + kept + want + 1 + kReadPast;
    if (needed > capacity_ || (capacity_ > usual_ && needed <= usual_)) {
      const std::size_t size = std::max(needed, usual_);
      std::unique_ptr<char[]> larger(new char[size]);
      std::memcpy(larger.get() + 1, buffer_.get() + pos, kept);
      buffer_ = std::move(larger);
      capacity_ = size;
    } else {
      std::memmove(buffer_.get() + 1, buffer_.get() + pos, kept);
    }
    pos = 1;
    end = 1 + kept;
    std::size_t got = 0;
    while (got < want) {
      const auto n = read_(buffer_.get() + end + got, want - got);
      if (!n) {
        failed_ = true;
        break;
      }
      if (*n == 0) break;
      got += *n;
    }
    end += got;
    read_total_ += got;
    if (read_total_ > limits_.max_size) failed_ = true;
    if (got == 0 || failed_) done_ = true;
    return got > 0 && !failed_;
  }

 private:
  const ReadSome& read_;
  StreamLimits limits_;
  std::size_t usual_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  std::size_t read_total_ = 0;
  bool done_ = false;
  bool failed_ = false;
};

// Walks the root value byte by byte, holding every byte but the list's
// elements as the text of the rest, and decodes the list's elements in
// batches: the complete ones in the buffer, up to kBatchBytes of them.
class Stream {
 public:
  Stream(const ReadSome& read, const Target& root, const Target& list, std::size_t list_index,
         std::string_view list_key, const StreamLimits& limits)
      : in_(read, limits),
        root_(root),
        list_(list),
        list_index_(list_index),
        list_key_(list_key),
        size_hint_(limits.size_hint) {}

  bool decode() {
    skip_space();
    const int c = in_.peek();
    if ((c != '{' && c != '[') || !root(c == '{')) return false;
    // Only white space may follow; what else does is worded by the whole
    // decode.
    skip_space();
    if (in_.peek() != -1 || in_.failed()) return false;
    rest_.reserve(rest_.size() + kReadPast);
    return decode_fast(rest_, root_);
  }

 private:
  void skip() { ++in_.pos; }
  void copy() { rest_ += in_.data()[in_.pos++]; }
  void skip_space() {
    while (is_json_space(in_.peek())) skip();
  }
  void copy_space() {
    while (is_json_space(in_.peek())) copy();
  }

  // The root, an object (the list is the value of its key) or an array of
  // field values (the list is the one at its index).
  bool root(bool object) {
    const char close = object ? '}' : ']';
    copy();
    copy_space();
    if (in_.peek() == close) return copy(), true;
    for (std::size_t index = 0;; ++index) {
      bool listed = index == list_index_;
      if (object) {
        std::string key;
        if (in_.peek() != '"' || !copy_string(&key)) return false;
        copy_space();
        if (in_.peek() != ':') return false;
        copy();
        copy_space();
        listed = key == list_key_;
      }
      if (listed && in_.peek() == '[' ? !list() : !copy_value()) return false;
      copy_space();
      const int c = in_.peek();
      if (c == close) return copy(), true;
      if (c != ',') return false;
      copy();
      copy_space();
    }
  }

  // A string, its quotes included; its content in `key` when given, and
  // then false for one written with an escape: only the whole decode reads
  // such a key.
  bool copy_string(std::string* key) {
    copy();
    for (;;) {
      const int c = in_.peek();
      if (c == -1) return false;
      copy();
      if (c == '"') return true;
      if (c == '\\') {
        if (key != nullptr || in_.peek() == -1) return false;
        copy();
      } else if (key != nullptr) {
        *key += static_cast<char>(c);
      }
    }
  }

  // Any other value, as written: the decode of the rest checks it.
  bool copy_value() {
    const int c = in_.peek();
    if (c == '"') return copy_string(nullptr);
    if (c != '{' && c != '[') {
      for (int b = c; b != -1 && !is_json_space(b) && b != ',' && b != ']' && b != '}';
           b = in_.peek()) {
        copy();
      }
      return true;
    }
    NestingScan scan;
    for (;;) {
      const std::size_t n = scan.run(in_.data() + in_.pos, in_.end - in_.pos);
      rest_.append(in_.data() + in_.pos, n);
      in_.pos += n;
      if (scan.depth == 0) return true;
      if (!in_.fill()) return false;
    }
  }

  // The list: the rest holds it empty, its elements go to the list target.
  bool list() {
    copy();
    skip_space();
    int c = in_.peek();
    if (c == ']') return copy(), true;
    for (;;) {
      if ((c != '{' && c != '[') || !batch()) return false;
      skip_space();
      c = in_.peek();
      if (c == ']') return copy(), true;
      if (c != ',') return false;
      skip();
      skip_space();
      c = in_.peek();
    }
  }

  // Past the white space from `at` within the buffer.
  std::size_t space_from(std::size_t at) {
    while (at < in_.end && is_json_space(in_.data()[at])) ++at;
    return at;
  }

  // Decodes the elements that lie whole in the buffer from the one that
  // starts at `pos`, reading on until there is one; `pos` then stands past
  // the last of them. What lies between two of them is checked by the
  // parser; what follows the last, by the caller.
  bool batch() {
    for (;;) {
      char* data = in_.data();
      const std::size_t start = in_.pos;
      std::size_t at = start;
      std::size_t last = 0;
      std::size_t count = 0;
      for (;;) {
        NestingScan scan;
        const std::size_t n = scan.run(data + at, in_.end - at);
        if (scan.depth != 0) break;
        last = at + n;
        ++count;
        if (last - start >= kBatchBytes) break;
        at = space_from(last);
        if (at == in_.end || data[at] != ',') break;
        at = space_from(at + 1);
        if (at == in_.end || (data[at] != '{' && data[at] != '[')) break;
      }
      if (count == 0) {
        if (!in_.fill()) return false;
        continue;
      }
      // The elements as one array, between brackets laid over the bytes
      // around them for the time of the decode.
      const char before = data[start - 1];
      const char after = data[last];
      data[start - 1] = '[';
      data[last] = ']';
      const bool done = batches_.decode(data + start - 1, last - start + 2,
                                        in_.capacity() - (start - 1), list_, 1);
      data[start - 1] = before;
      data[last] = after;
      if (!done) return false;
      in_.pos = last;
      if (!sized_) make_room(count, in_.offset_of(last));
      return true;
    }
  }

  // Room in a list that keeps most elements, for as many as the text holds
  // at the rate of the first `count` in its first `bytes`, and a quarter
  // more: records are large to move when the list grows, and room never
  // used is never touched. Where the estimate is more than can be had, the
  // list grows as it fills.
  void make_room(std::size_t count, std::size_t bytes) {
    sized_ = true;
    const TypeInfo& type = *list_.type;
    if (size_hint_ <= bytes || type.reserve == nullptr ||
        (type.wants_room != nullptr && !type.wants_room(list_.object))) {
      return;
    }
    const double estimate = static_cast<double>(count) * static_cast<double>(size_hint_) /
                            static_cast<double>(bytes) * 1.25;
    try {
      type.reserve(list_.object, static_cast<std::size_t>(estimate) + 16);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
  }

  Chunks in_;
  Target root_;
  Target list_;
  std::size_t list_index_;
  std::string_view list_key_;
  std::size_t size_hint_;
  std::string rest_;
  ElementBatches batches_;
  bool sized_ = false;
};

}  // namespace

bool decode_stream(const ReadSome& read, const Target& root, std::string_view list_key,
                   const StreamLimits& limits) {
  if (root.type->kind != Kind::record || limits.chunk == 0) return false;
  const auto fields = root.record->fields();
  const auto field = std::ranges::find(fields, list_key, &Field::key);
  if (field == fields.end() || field->type->kind != Kind::list) return false;
  const Target list{field->type, field->record, field->member(root.object)};
  Stream stream(read, root, list, static_cast<std::size_t>(field - fields.begin()), list_key,
                limits);
  return stream.decode();
}

}  // namespace vt::base::json::detail

namespace vt::base::json {

ReadSome text_reader(std::string_view text) {
  return [text, at = std::size_t{0}](char* buffer,
                                     std::size_t size) mutable -> std::expected<std::size_t, int> {
    const std::size_t n = std::min(size, text.size() - at);
    std::memcpy(buffer, text.data() + at, n);
    at += n;
    return n;
  };
}

}  // namespace vt::base::json
