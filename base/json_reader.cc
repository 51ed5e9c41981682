#include "base/json_reader.h"

#include <bit>
#include <utility>

#include "base/utf8.h"

namespace vt::base::json::detail {
namespace {

// Keys are short: a plain loop beats a call to memcmp.
bool same_key(std::string_view a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

Reader::Reader(Cursor& cursor, const Target& root) : cursor_(cursor), pending_(root) {
  frames_.reserve(32);
  frames_.push_back(Frame{});
}

// The parser is instantiated here, next to the handler, so that the handler's
// small event functions can be inlined into its loop.
bool Reader::read(std::string_view text) {
  return nlohmann::json::sax_parse(TrackingIterator(text.data(), &cursor_),
                                   TrackingIterator(text.data() + text.size(), &cursor_), this,
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

// Floats into float members and strings into string members make up most of
// a document: they take a short way.
bool Reader::number_float(double value, const std::string& text) {
  if (skip_depth_ != 0) return true;
  Target target;
  if (!next_target(target)) return false;
  if (target.type->kind == Kind::f64) {
    *static_cast<double*>(target.object) = value;
    return true;
  }
  return put(target, Scalar{.type = Scalar::Type::floating, .floating = value, .text = &text});
}

bool Reader::string(std::string& value) {
  if (skip_depth_ != 0) return true;
  Target target;
  if (!next_target(target)) return false;
  if (target.type->kind == Kind::string) {
    static_cast<std::string*>(target.object)->assign(value);
    return true;
  }
  return put(target, Scalar{.type = Scalar::Type::string, .text = &value});
}

bool Reader::binary(nlohmann::json::binary_t&) {
  return fail("unexpected binary value", cursor_.consumed());
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
      // Keys mostly come in table order: start after the last match.
      std::uint32_t i = frame.index;
      std::uint32_t tried = 0;
      for (; tried < frame.count; ++tried, ++i) {
        if (i == frame.count) i = 0;
        if (same_key(frame.fields[i].key, key)) break;
      }
      if (tried == frame.count) {
        pending_ = {&kSkip, nullptr, nullptr};
        return true;
      }
      const std::uint64_t bit = std::uint64_t{1} << i;
      if ((frame.seen & bit) != 0) {
        return fail("duplicate field \"" + key + "\" in " + std::string(frame.record->name),
                    cursor_.consumed());
      }
      frame.seen |= bit;
      frame.index = i + 1;
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
  return fail("unexpected object key", cursor_.consumed());
}

bool Reader::end_object() {
  --depth_;
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
          cursor_.consumed());
    }
  } else if (frame.kind == FrameKind::any) {
    any_stack_.pop_back();
    if (!any_stack_.empty()) return true;
  }
  frames_.pop_back();
  return true;
}

bool Reader::end_array() {
  --depth_;
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
                  cursor_.consumed());
    }
  } else if (frame.kind == FrameKind::any) {
    any_stack_.pop_back();
    if (!any_stack_.empty()) return true;
  }
  frames_.pop_back();
  return true;
}

bool Reader::parse_error(std::size_t, const std::string&, const nlohmann::json::exception& error) {
  // Keep the parser's description, not its own idea of the position.
  std::string_view text = error.what();
  if (text.starts_with("[json.exception.")) {
    const std::size_t end = text.find("] ");
    if (end != std::string_view::npos) text.remove_prefix(end + 2);
  }
  if (text.starts_with("parse error")) {
    const std::size_t colon = text.find(": ");
    if (colon != std::string_view::npos) text.remove_prefix(colon + 2);
  }
  syntax_error_ = true;
  // A number too large for a double is refused after the byte that ends it.
  constexpr int kNumberOverflow = 406;
  const std::size_t offset =
      cursor_.consumed() - (error.id == kNumberOverflow && !cursor_.at_end ? 1 : 0);
  // The parser quotes raw input, which need not be UTF-8.
  return fail(decode_lossy(text), offset);
}

// Real documents nest a few levels; a fixed limit keeps every later step
// that walks a decoded value (copies, the writer) within a small stack.
bool Reader::enter() {
  if (++depth_ <= kMaxDepth) return true;
  return fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels", cursor_.consumed());
}

bool Reader::scalar(const Scalar& value) {
  if (skip_depth_ != 0) return true;
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
              cursor_.consumed());
}

bool Reader::fail(std::string message, std::size_t offset) {
  error_ = std::move(message);
  error_offset_ = offset;
  return false;
}

// The parser reads one byte past a number (unless the text ends there).
std::size_t Reader::value_end(const Scalar& value) const {
  const bool number = value.type >= Scalar::Type::integer && value.type <= Scalar::Type::floating;
  return cursor_.consumed() - (number && !cursor_.at_end ? 1 : 0);
}

}  // namespace vt::base::json::detail
