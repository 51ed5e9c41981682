// The careful reader behind decode_json: it receives the JSON parser's
// events and writes each value straight into its place in the target
// records, and it says where a fault was found.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/json_decode.h"
#include "base/utf8.h"

namespace vt::base::json::detail {
namespace {

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
    std::uint32_t index = 0;        // arrays: elements seen
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

// What became of a scalar given to a member.
enum class Stored : std::uint8_t {
  done,
  wrong_type,    // e.g. a string for a float
  out_of_range,  // an integer that the member's type cannot hold
};

constexpr std::size_t kMaxQuotedBytes = 64;

// A number the parser could not hold as a 64-bit integer still counts as an
// integer when it is written as one.
bool integer_fits(const Scalar& value, std::int64_t low, std::uint64_t high) {
  if (value.type == Scalar::Type::integer) {
    return value.integer >= low &&
           (value.integer < 0 || static_cast<std::uint64_t>(value.integer) <= high);
  }
  return value.unsigned_integer <= high;
}

// How an error message names what the member expected.
std::string expected_of(const TypeInfo* type, const RecordInfo* record) {
  switch (type->kind) {
    case Kind::f64:
      return "a float";
    case Kind::u32:
      return "u32";
    case Kind::i64:
      return "i64";
    case Kind::string:
      return "a string";
    case Kind::boolean:
      return "a boolean";
    case Kind::list:
      return "a list";
    case Kind::map:
      return "a map";
    case Kind::nullable:
      return expected_of(type->inner, record) + " or null";
    case Kind::record:
      return std::string(record->name);
    case Kind::any:
    case Kind::skip:
      break;
  }
  return "any value";
}

Stored store_scalar(const Target& target, const Scalar& value) {
  Target t = target;
  while (t.type->kind == Kind::nullable) {
    if (value.type == Scalar::Type::null) {
      t.type->disengage(t.object);
      return Stored::done;
    }
    t = {t.type->inner, t.record, t.type->engage(t.object)};
  }
  using Type = Scalar::Type;
  switch (t.type->kind) {
    case Kind::skip:
      return Stored::done;
    case Kind::f64: {
      double& out = *static_cast<double*>(t.object);
      if (value.type == Type::floating) {
        out = value.floating;
      } else if (value.type == Type::integer) {
        out = static_cast<double>(value.integer);
      } else if (value.type == Type::unsigned_integer) {
        out = static_cast<double>(value.unsigned_integer);
      } else {
        break;
      }
      return Stored::done;
    }
    case Kind::u32:
    case Kind::i64: {
      const bool u32 = t.type->kind == Kind::u32;
      if (value.type == Type::floating) {
        if (written_as_integer(*value.text)) return Stored::out_of_range;
        break;
      }
      if (value.type != Type::integer && value.type != Type::unsigned_integer) break;
      const bool fits = u32 ? integer_fits(value, 0, std::numeric_limits<std::uint32_t>::max())
                            : integer_fits(value, std::numeric_limits<std::int64_t>::min(),
                                           std::numeric_limits<std::int64_t>::max());
      if (!fits) return Stored::out_of_range;
      const std::int64_t number = value.type == Type::integer
                                      ? value.integer
                                      : static_cast<std::int64_t>(value.unsigned_integer);
      if (u32) {
        *static_cast<std::uint32_t*>(t.object) = static_cast<std::uint32_t>(number);
      } else {
        *static_cast<std::int64_t*>(t.object) = number;
      }
      return Stored::done;
    }
    case Kind::string:
      if (value.type != Type::string) break;
      static_cast<std::string*>(t.object)->assign(*value.text);
      return Stored::done;
    case Kind::boolean:
      if (value.type != Type::boolean) break;
      *static_cast<bool*>(t.object) = value.boolean;
      return Stored::done;
    case Kind::any: {
      nlohmann::json& out = *static_cast<nlohmann::json*>(t.object);
      switch (value.type) {
        case Type::null:
          out = nullptr;
          break;
        case Type::boolean:
          out = value.boolean;
          break;
        case Type::integer:
          out = value.integer;
          break;
        case Type::unsigned_integer:
          out = value.unsigned_integer;
          break;
        case Type::floating:
          // An integer past 64 bits keeps its digits, not a float's.
          if (written_as_integer(*value.text)) {
            out = integer_text(*value.text);
          } else {
            out = value.floating;
          }
          break;
        case Type::string:
          out = *value.text;
          break;
      }
      return Stored::done;
    }
    case Kind::list:
    case Kind::map:
    case Kind::record:
    case Kind::nullable:
      break;
  }
  return Stored::wrong_type;
}

// How an error message names the value found.
std::string describe(const Scalar& value) {
  switch (value.type) {
    case Scalar::Type::null:
      return "null";
    case Scalar::Type::boolean:
      return value.boolean ? "boolean true" : "boolean false";
    case Scalar::Type::integer:
      return "integer " + std::to_string(value.integer);
    case Scalar::Type::unsigned_integer:
      return "integer " + std::to_string(value.unsigned_integer);
    case Scalar::Type::floating:
      return (written_as_integer(*value.text) ? "integer " : "floating point ") + *value.text;
    case Scalar::Type::string:
      break;
  }
  const std::string_view shown = cut_utf8(*value.text, kMaxQuotedBytes);
  std::string quoted = nlohmann::json(std::string(shown))
                           .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (shown.size() < value.text->size()) quoted += "...";
  return "string " + quoted;
}

std::string expected_name(const Target& target) {
  return expected_of(target.type, target.record);
}

Reader::Reader(const Target& root) : frames_(1), pending_(root) {}

bool Reader::read(std::string_view text) {
  text_ = text;
  progress_ = text.data();
  return nlohmann::json::sax_parse(TrackingIterator(text.data(), &progress_),
                                   TrackingIterator(text.data() + text.size(), &progress_), this,
                                   nlohmann::json::input_format_t::json, /*strict=*/false);
}

bool Reader::null() {
  return scalar(Scalar{});
}

bool Reader::boolean(bool value) {
  return scalar(Scalar{.type = Scalar::Type::boolean, .boolean = value});
}

bool Reader::number_integer(std::int64_t value) {
  return scalar(Scalar{.type = Scalar::Type::integer, .integer = value});
}

bool Reader::number_unsigned(std::uint64_t value) {
  return scalar(Scalar{.type = Scalar::Type::unsigned_integer, .unsigned_integer = value});
}

bool Reader::number_float(double value, const std::string& text) {
  return scalar(Scalar{.type = Scalar::Type::floating, .floating = value, .text = &text});
}

bool Reader::string(std::string& value) {
  return scalar(Scalar{.type = Scalar::Type::string, .text = &value});
}

bool Reader::binary(nlohmann::json::binary_t&) {
  return fail("unexpected binary value", consumed());
}

bool Reader::start_object(std::size_t) {
  if (!enter()) return false;
  if (skip_depth_ != 0) {
    ++skip_depth_;
    return true;
  }
  Target target;
  return next_target(target) && begin_container(target, true);
}

bool Reader::start_array(std::size_t) {
  if (!enter()) return false;
  if (skip_depth_ != 0) {
    ++skip_depth_;
    return true;
  }
  Target target;
  return next_target(target) && begin_container(target, false);
}

bool Reader::key(std::string& key) {
  if (skip_depth_ != 0) return true;
  Frame& frame = frames_.back();
  switch (frame.kind) {
    case FrameKind::object_record: {
      std::uint32_t i = 0;
      while (i < frame.count && frame.fields[i].key != key) ++i;
      if (i == frame.count) {
        pending_ = {&kSkip, nullptr, nullptr};
        return true;
      }
      const std::uint64_t bit = std::uint64_t{1} << i;
      if ((frame.seen & bit) != 0) {
        return fail("duplicate field \"" + key + "\" in " + std::string(frame.record->name),
                    consumed());
      }
      frame.seen |= bit;
      const Field& field = frame.fields[i];
      pending_ = {field.type, field.record, field.member(frame.object)};
      return true;
    }
    case FrameKind::map:
      pending_ = {frame.type->inner, frame.record, frame.type->insert(frame.object, key)};
      return true;
    case FrameKind::any:
      // A repeated key: the later value wins.
      pending_ = {&Codec<nlohmann::json>::info, nullptr, &(*any_stack_.back())[key]};
      return true;
    case FrameKind::root:
    case FrameKind::array_record:
    case FrameKind::list:
      break;
  }
  return fail("unexpected object key", consumed());
}

bool Reader::end_object() {
  if (--depth_ == 0) end_ = consumed();
  if (skip_depth_ != 0) {
    --skip_depth_;
    return true;
  }
  const Frame& frame = frames_.back();
  if (frame.kind == FrameKind::object_record) {
    const std::uint64_t missing = frame.record->required & ~frame.seen;
    if (missing != 0) {
      const Field& field = frame.fields[std::countr_zero(missing)];
      return fail(
          "missing field \"" + std::string(field.key) + "\" in " + std::string(frame.record->name),
          consumed());
    }
  } else if (frame.kind == FrameKind::any) {
    any_stack_.pop_back();
    if (!any_stack_.empty()) return true;
  }
  frames_.pop_back();
  return true;
}

bool Reader::end_array() {
  if (--depth_ == 0) end_ = consumed();
  if (skip_depth_ != 0) {
    --skip_depth_;
    return true;
  }
  const Frame& frame = frames_.back();
  if (frame.kind == FrameKind::array_record) {
    // Fields past the end of the array keep their defaults, if they have any.
    const std::uint64_t left_out = frame.index >= 64 ? 0 : ~std::uint64_t{0} << frame.index;
    if (frame.index > frame.count || (frame.record->no_default & left_out) != 0) {
      return fail("invalid length " + std::to_string(frame.index) + ", expected " +
                      std::string(frame.record->name) + " with " + std::to_string(frame.count) +
                      (frame.count == 1 ? " field" : " fields"),
                  consumed());
    }
  } else if (frame.kind == FrameKind::any) {
    any_stack_.pop_back();
    if (!any_stack_.empty()) return true;
  }
  frames_.pop_back();
  return true;
}

bool Reader::parse_error(std::size_t position, const std::string&,
                         const nlohmann::json::exception& error) {
  // Keep the parser's description, not the place it writes into it.
  std::string_view text = error.what();
  if (text.starts_with("[json.exception.")) {
    const std::size_t end = text.find("] ");
    if (end != std::string_view::npos) text.remove_prefix(end + 2);
  }
  if (text.starts_with("parse error")) {
    const std::size_t colon = text.find(": ");
    if (colon != std::string_view::npos) text.remove_prefix(colon + 2);
  }
  // The parser counts the end of the text as one more byte read.
  ran_out_ = position > text_.size();
  // The parser quotes raw input, which need not be UTF-8.
  return fail(decode_lossy(text), std::min(position, text_.size()));
}

// Real documents nest a few levels; a fixed limit keeps every later step
// that walks a decoded value (copies, the writer) within a small stack.
bool Reader::enter() {
  if (++depth_ <= kMaxDepth) return true;
  return fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels", consumed());
}

bool Reader::scalar(const Scalar& value) {
  if (skip_depth_ != 0) return true;
  if (depth_ == 0) end_ = value_end(value);
  Target target;
  return next_target(target) && put(target, value);
}

// Where the next value of the innermost open container goes.
bool Reader::next_target(Target& target) {
  Frame& frame = frames_.back();
  switch (frame.kind) {
    case FrameKind::list:
      target = {frame.type->inner, frame.record, frame.type->append(frame.object)};
      return true;
    case FrameKind::array_record:
      if (frame.index < frame.count) {
        const Field& field = frame.fields[frame.index];
        target = {field.type, field.record, field.member(frame.object)};
      } else {
        target = {&kSkip, nullptr, nullptr};  // too long: counted, then refused at its end
      }
      ++frame.index;
      return true;
    case FrameKind::any:
      if (any_stack_.back()->is_array()) {
        target = {&Codec<nlohmann::json>::info, nullptr, &any_stack_.back()->emplace_back()};
        return true;
      }
      break;
    case FrameKind::root:
    case FrameKind::object_record:
    case FrameKind::map:
      break;
  }
  target = pending_;
  return true;
}

bool Reader::put(const Target& target, const Scalar& value) {
  switch (store_scalar(target, value)) {
    case Stored::done:
      return true;
    case Stored::wrong_type:
      return fail("invalid type: " + describe(value) + ", expected " + expected_name(target),
                  value_end(value));
    case Stored::out_of_range:
      break;
  }
  return fail("invalid value: " + describe(value) + ", expected " + expected_name(target),
              value_end(value));
}

bool Reader::begin_container(const Target& target, bool object) {
  Target t = target;
  while (t.type->kind == Kind::nullable) t = {t.type->inner, t.record, t.type->engage(t.object)};
  switch (t.type->kind) {
    case Kind::skip:
      ++skip_depth_;
      return true;
    case Kind::record: {
      if (!object && t.record->form != Form::object_or_array) break;
      const std::span<const Field> fields = t.record->fields();
      frames_.push_back(Frame{.kind = object ? FrameKind::object_record : FrameKind::array_record,
                              .record = t.record,
                              .object = t.object,
                              .fields = fields.data(),
                              .count = static_cast<std::uint32_t>(fields.size())});
      return true;
    }
    case Kind::list:
    case Kind::map:
      if (object != (t.type->kind == Kind::map)) break;
      frames_.push_back(Frame{.kind = object ? FrameKind::map : FrameKind::list,
                              .type = t.type,
                              .record = t.record,
                              .object = t.object});
      return true;
    case Kind::any: {
      nlohmann::json& value = *static_cast<nlohmann::json*>(t.object);
      value = object ? nlohmann::json::object() : nlohmann::json::array();
      if (frames_.back().kind != FrameKind::any) frames_.push_back(Frame{.kind = FrameKind::any});
      any_stack_.push_back(&value);
      return true;
    }
    case Kind::f64:
    case Kind::u32:
    case Kind::i64:
    case Kind::string:
    case Kind::boolean:
    case Kind::nullable:
      break;
  }
  return fail(std::string("invalid type: ") + (object ? "object" : "array") + ", expected " +
                  expected_name(target),
              consumed());
}

bool Reader::fail(std::string message, std::size_t offset) {
  error_ = std::move(message);
  error_offset_ = offset;
  return false;
}

// Where the value just read ends. The parser reads one byte past a number,
// unless the number ends the text: the number, as written, ends either there
// or one byte earlier, and never in both places, as a number is preceded by
// white space, a bracket, a comma or a colon.
std::size_t Reader::value_end(const Scalar& value) const {
  std::string written;
  switch (value.type) {
    case Scalar::Type::integer:
      written = std::to_string(value.integer);  // "0" of "-0" will do
      break;
    case Scalar::Type::unsigned_integer:
      written = std::to_string(value.unsigned_integer);
      break;
    case Scalar::Type::floating:
      written = *value.text;
      break;
    case Scalar::Type::null:
    case Scalar::Type::boolean:
    case Scalar::Type::string:
      return consumed();
  }
  return text_.substr(0, consumed() - 1).ends_with(written) ? consumed() - 1 : consumed();
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

std::expected<void, std::string> decode_into(std::string_view text, const Target& target) {
  // A byte order mark is no JSON white space: the text is not JSON.
  if (text.starts_with(kByteOrderMark)) {
    return std::unexpected("unexpected byte order mark" + at_position(text, 1));
  }
  // The parser would take a NUL byte for the end of the text: stop it there
  // and refuse the byte afterwards.
  const void* nul = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size());
  const std::size_t limit =
      nul == nullptr ? text.size()
                     : static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());

  Reader reader(target);
  if (!reader.read(text.substr(0, limit))) {
    if (reader.ran_out() && limit < text.size()) {
      return std::unexpected("unexpected NUL byte" + at_position(text, limit + 1));
    }
    return std::unexpected(reader.error() + at_position(text, reader.error_offset()));
  }
  for (std::size_t i = reader.end(); i < text.size(); ++i) {
    if (!is_json_space(text[i])) {
      return std::unexpected("trailing characters" + at_position(text, i + 1));
    }
  }
  return {};
}

}  // namespace vt::base::json::detail

namespace vt::base::json {
namespace {

struct TextPosition {
  std::size_t line = 1;
  std::size_t column = 0;
};

TextPosition position_after(std::string_view text, std::size_t consumed) {
  // A fault found at a line feed belongs to the line that the line feed ends.
  if (consumed > 0 && consumed <= text.size() && text[consumed - 1] == '\n') {
    TextPosition position = position_after(text, consumed - 1);
    ++position.column;
    return position;
  }
  const std::string_view head = text.substr(0, consumed);
  const std::size_t last_break = head.rfind('\n');
  TextPosition position;
  position.line = 1 + static_cast<std::size_t>(std::count(head.begin(), head.end(), '\n'));
  position.column =
      last_break == std::string_view::npos ? head.size() : head.size() - last_break - 1;
  return position;
}

}  // namespace

std::string at_position(std::string_view text, std::size_t consumed) {
  const TextPosition position = position_after(text, consumed);
  return " at line " + std::to_string(position.line) + " column " + std::to_string(position.column);
}

}  // namespace vt::base::json
