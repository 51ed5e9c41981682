#pragma once
// The careful reader behind decode_json: it receives the JSON parser's
// events and writes each value straight into its place in the target
// records, and it says where a fault was found. Internal to base/json_*.cc.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "base/json_decode.h"

namespace vt::base::json::detail {

// Walks the text for the JSON parser and leaves in `*progress` the end of
// what it has read, so that faults found in the parser's events can say where
// they were found.
class TrackingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TrackingIterator(const char* pos, const char** progress) : pos_(pos), progress_(progress) {}

  reference operator*() const { return *pos_; }
  TrackingIterator& operator++() {
    *progress_ = ++pos_;
    return *this;
  }
  TrackingIterator operator++(int) {
    TrackingIterator before = *this;
    ++*this;
    return before;
  }
  friend bool operator==(const TrackingIterator& a, const TrackingIterator& b) {
    return a.pos_ == b.pos_;
  }

 private:
  const char* pos_;
  const char** progress_;
};

// One scalar event of the parser.
struct Scalar {
  enum class Type : std::uint8_t { null, boolean, integer, unsigned_integer, floating, string };
  Type type = Type::null;
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t unsigned_integer = 0;
  double floating = 0.0;
  const std::string* text = nullptr;  // string value, or the number as written
};

// The deepest nesting of objects and arrays a text may have.
inline constexpr std::size_t kMaxDepth = 128;

// Whether a number, as written (up to the first white space, if any), is
// written as an integer: without a fraction or an exponent.
inline bool written_as_integer(std::string_view number) {
  const std::string_view token = number.substr(0, number.find_first_of(" \t\n\r"));
  return token.find_first_of(".eE") == std::string_view::npos;
}

// The target of a value that is read but not kept.
inline constexpr TypeInfo kSkip{.kind = Kind::skip};

class Reader {
 public:
  explicit Reader(const Target& root);

  // Parses `text` into the root target. False on failure, with error() set.
  bool read(std::string_view text);

  // The parser's event interface.
  bool null();
  bool boolean(bool value);
  bool number_integer(std::int64_t value);
  bool number_unsigned(std::uint64_t value);
  bool number_float(double value, const std::string& text);
  bool string(std::string& value);
  bool binary(nlohmann::json::binary_t& value);
  bool start_object(std::size_t elements);
  bool key(std::string& key);
  bool end_object();
  bool start_array(std::size_t elements);
  bool end_array();
  bool parse_error(std::size_t position, const std::string& last_token,
                   const nlohmann::json::exception& error);

  // After a success: how many bytes of the text the value took, with the
  // white space before it.
  std::size_t end() const { return end_; }

  // After a failure: what went wrong, how many bytes had been read up to the
  // fault, and whether the parser's complaint was that the text ended.
  const std::string& error() const { return error_; }
  std::size_t error_offset() const { return error_offset_; }
  bool ran_out() const { return ran_out_; }

 private:
  enum class FrameKind : std::uint8_t { root, object_record, array_record, list, map, any };

  // An open container being filled.
  struct Frame {
    FrameKind kind = FrameKind::root;
    const TypeInfo* type = nullptr;      // list and map: the container's type
    const RecordInfo* record = nullptr;  // the record table in use below
    void* object = nullptr;
    const Field* fields = nullptr;  // records: the field table
    std::uint32_t count = 0;        // records: number of fields
    std::uint32_t index = 0;        // arrays: elements seen; objects: next field to try
    std::uint64_t seen = 0;         // objects: bit i set once field i was given
  };

  bool enter();
  bool scalar(const Scalar& value);
  bool next_target(Target& target);
  bool put(const Target& target, const Scalar& value);
  bool begin_container(const Target& target, bool object);

  bool fail(std::string message, std::size_t offset);
  std::size_t consumed() const { return static_cast<std::size_t>(progress_ - text_.data()); }
  std::size_t value_end(const Scalar& value) const;

  std::string_view text_;
  const char* progress_ = nullptr;  // the end of what the parser has read
  std::vector<Frame> frames_;
  std::vector<nlohmann::json*> any_stack_;  // open containers of an untyped value
  Target pending_;                          // where the value after a key goes
  std::size_t skip_depth_ = 0;              // > 0 while skipping an unknown value
  std::size_t depth_ = 0;                   // open objects and arrays

  std::size_t end_ = 0;

  std::string error_;
  std::size_t error_offset_ = 0;
  bool ran_out_ = false;
};

}  // namespace vt::base::json::detail
