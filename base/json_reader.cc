// The careful reader behind decode_json: it receives the JSON parser's
// events and writes each value straight into its place in the target
// records, following the rules of base/json_rules.h, and it says where a
// fault was found.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/json_decode.h"
#include "base/json_rules.h"
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
  enum class Type : std::uint8_t { null, boolean, number, string };
  Type type = Type::null;
  bool boolean = false;
  Number number{};
  const std::string* text = nullptr;  // string value
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
  enum class FrameKind : std::uint8_t { root, object_record, array_record, list, map };

  // An open container being filled.
  struct Frame {
    FrameKind kind = FrameKind::root;
    // list and map (untyped values too): the container's type, the table of
    // its records and the container
    const TypeInfo* type = nullptr;
    const RecordInfo* record = nullptr;
    void* object = nullptr;
    RecordFields fields{};  // records: the fields given
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
  Target pending_;              // where the value after a key goes
  std::size_t skip_depth_ = 0;  // > 0 while skipping an unknown value
  std::size_t depth_ = 0;       // open objects and arrays

  std::size_t end_ = 0;

  std::string error_;
  std::size_t error_offset_ = 0;
  bool ran_out_ = false;
};

constexpr std::size_t kMaxQuotedBytes = 64;

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
  if (null_empties(t, value.type == Scalar::Type::null)) return Stored::done;
  switch (value.type) {
    case Scalar::Type::null:
      return store_null(t);
    case Scalar::Type::boolean:
      return store_boolean(t, value.boolean);
    case Scalar::Type::number:
      return store_number(t, value.number);
    case Scalar::Type::string:
      break;
  }
  return store_string(t, *value.text);
}

// How an error message names the value found.
std::string describe(const Number& n) {
  switch (n.type) {
    case Number::Type::integer:
      return "integer " + std::to_string(n.integer);
    case Number::Type::unsigned_integer:
      return "integer " + std::to_string(n.unsigned_integer);
    case Number::Type::big_integer:
      return "integer " + std::string(n.written);
    case Number::Type::floating:
      break;
  }
  return "floating point " + std::string(n.written);
}

std::string describe(const Scalar& value) {
  switch (value.type) {
    case Scalar::Type::null:
      return "null";
    case Scalar::Type::boolean:
      return value.boolean ? "boolean true" : "boolean false";
    case Scalar::Type::number:
      return describe(value.number);
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
  return scalar(Scalar{.type = Scalar::Type::number,
                       .number = {.type = Number::Type::integer, .integer = value}});
}

bool Reader::number_unsigned(std::uint64_t value) {
  return scalar(
      Scalar{.type = Scalar::Type::number,
             .number = {.type = Number::Type::unsigned_integer, .unsigned_integer = value}});
}

bool Reader::number_float(double value, const std::string& text) {
  return scalar(Scalar{.type = Scalar::Type::number, .number = float_number(value, text)});
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
    case FrameKind::object_record:
      switch (frame.fields.key([&key](std::string_view name) { return name == key; }, pending_)) {
        case RecordFields::Key::field:
        case RecordFields::Key::unknown:
          return true;
        case RecordFields::Key::repeated:
          break;
      }
      return fail("duplicate field \"" + key + "\" in " + std::string(frame.fields.record().name),
                  consumed());
    case FrameKind::map:
      pending_ = {frame.type->inner, frame.record, frame.type->insert(frame.object, key)};
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
    if (const Field* missing = frame.fields.missing()) {
      return fail("missing field \"" + std::string(missing->key) + "\" in " +
                      std::string(frame.fields.record().name),
                  consumed());
    }
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
    if (!frame.fields.length_fits()) {
      const std::size_t count = frame.fields.count();
      return fail("invalid length " + std::to_string(frame.fields.length()) + ", expected " +
                      std::string(frame.fields.record().name) + " with " + std::to_string(count) +
                      (count == 1 ? " field" : " fields"),
                  consumed());
    }
  } else if (frame.kind == FrameKind::list && frame.type->close != nullptr) {
    frame.type->close(frame.object);
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
  if (open_level(depth_)) return true;
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
      target = frame.fields.element();
      return true;
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
  const Target t = engaged(target);
  if (!open_container(t, object)) {
    return fail(std::string("invalid type: ") + (object ? "object" : "array") + ", expected " +
                    expected_name(target),
                consumed());
  }
  switch (t.type->kind) {
    case Kind::skip:
      ++skip_depth_;
      break;
    case Kind::record:
      frames_.push_back(Frame{.kind = object ? FrameKind::object_record : FrameKind::array_record,
                              .fields = RecordFields(*t.record, t.object)});
      break;
    default:  // a list, a map or an untyped value
      frames_.push_back(Frame{.kind = object ? FrameKind::map : FrameKind::list,
                              .type = t.type,
                              .record = t.record,
                              .object = t.object});
      break;
  }
  return true;
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
  if (value.type != Scalar::Type::number) return consumed();
  std::string written;
  switch (value.number.type) {
    case Number::Type::integer:
      written = std::to_string(value.number.integer);  // "0" of "-0" will do
      break;
    case Number::Type::unsigned_integer:
      written = std::to_string(value.number.unsigned_integer);
      break;
    case Number::Type::big_integer:
    case Number::Type::floating:
      written = value.number.written;
      break;
  }
  return text_.substr(0, consumed() - 1).ends_with(written) ? consumed() - 1 : consumed();
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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
  if (const std::size_t trailing = trailing_byte(text, reader.end());
      trailing != std::string_view::npos) {
    return std::unexpected("trailing characters" + at_position(text, trailing + 1));
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
