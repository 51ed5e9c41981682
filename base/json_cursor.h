#pragma once
// How far the JSON parser has read its text, for error positions. Internal
// to the JSON reader (base/json_reader.cc).
#include <cstddef>
#include <iterator>

namespace vt::base::json::detail {

// How far the parser has read: the input iterator updates it on every step.
struct Cursor {
  const char* begin = nullptr;
  const char* pos = nullptr;
  bool at_end = false;  // the parser has looked for a byte past the end

  std::size_t consumed() const { return static_cast<std::size_t>(pos - begin); }
};

// Walks the text for the JSON parser and leaves in the shared cursor how far
// it has got, so that errors can say where they were found.
class TrackingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TrackingIterator(const char* pos, Cursor* cursor) : pos_(pos), cursor_(cursor) {}

  reference operator*() const { return *pos_; }
  TrackingIterator& operator++() {
    cursor_->pos = ++pos_;
    return *this;
  }
  TrackingIterator operator++(int) {
    TrackingIterator before = *this;
    ++*this;
    return before;
  }
  // The parser compares with the end before every byte it takes, so equality
  // means it has looked past the last byte.
  friend bool operator==(const TrackingIterator& a, const TrackingIterator& b) {
    if (a.pos_ != b.pos_) return false;
    a.cursor_->at_end = true;
    return true;
  }

 private:
  const char* pos_;
  Cursor* cursor_;
};

}  // namespace vt::base::json::detail
