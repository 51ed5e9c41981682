#pragma once
// The rules of typed JSON decoding that both passes share: the quick pass
// (base/json_fast.cc) and the careful reader (base/json_reader.cc) each parse
// the text their own way, then hand every value, key, container and length
// to the functions here. Where a value goes, what a member takes, which
// containers a target takes, which keys and lengths a record takes, how deep
// a text nests and what may follow its value are decided here only. Each pass
// still decides for itself which texts are JSON and which numbers and keys it
// reads (the quick pass declines some, see there).
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>

#include "base/json_record.h"

namespace vt::base::json::detail {

// Where a decoded value goes: its type, the table of the records inside it
// (if any) and the object itself.
struct Target {
  const TypeInfo* type = nullptr;
  const RecordInfo* record = nullptr;
  void* object = nullptr;
};

// The target of a value that is read but not kept.
inline constexpr TypeInfo kSkip{.kind = Kind::skip};
inline constexpr Target kSkipped{&kSkip, nullptr, nullptr};

// The deepest nesting of objects and arrays a text may have.
inline constexpr std::size_t kMaxDepth = 128;

// Counts one more open object or array: false when that is one too deep.
inline bool open_level(std::size_t& depth) {
  return ++depth <= kMaxDepth;
}

// JSON's white space.
inline constexpr std::string_view kJsonSpace = " \t\n\r";

// Where the first byte after a value that ends `end` bytes into `text` stands
// that is not white space (a byte that trails the value, and fails the text),
// or npos.
inline std::size_t trailing_byte(std::string_view text, std::size_t end) {
  return text.find_first_not_of(kJsonSpace, end);
}

// Whether a number, as written (white space may follow), is written as an
// integer: without a fraction or an exponent. A plain loop: find_first_of
// calls memchr for every byte (a third of BM_DecodeSnapshot).
inline bool written_as_integer(std::string_view number) {
  for (const char c : number) {
    if (c == '.' || c == 'e' || c == 'E') return false;
  }
  return true;
}

// What became of a value given to a member.
enum class Stored : std::uint8_t {
  done,
  wrong_type,    // e.g. a string for a float
  out_of_range,  // an integer that the member's type cannot hold
};

// `target` past its nullables, each engaged: where a value that is not null
// goes. An object or an array is never null.
inline Target engaged(Target target) {
  while (target.type->kind == Kind::nullable) {
    target = {target.type->inner, target.record, target.type->engage(target.object)};
  }
  return target;
}

// A nullable target takes null by being emptied: true, and nothing is left to
// store. Otherwise `target` becomes the place of the value: false.
inline bool null_empties(Target& target, bool null) {
  if (null && target.type->kind == Kind::nullable) {
    target.type->disengage(target.object);
    return true;
  }
  target = engaged(target);
  return false;
}

// A number as both parsers give it: an integer written with a minus sign
// ("-0" too), another integer within 64 bits, an integer given as a float
// (see float_number), or a float.
struct Number {
  enum class Type : std::uint8_t { integer, unsigned_integer, big_integer, floating };
  Type type = Type::integer;
  std::int64_t integer = 0;
  std::uint64_t unsigned_integer = 0;
  double floating = 0.0;       // big integers and floats
  std::string_view written{};  // big integers, and the careful reader's floats: as written
};

// The float of a number that a parser gives as a float, `read` from the text
// `written`: an integer's is that of the integer, so "-0" gives a zero
// without a sign (the careful reader's parser gives "-0" as the integer 0).
inline double float_value(double read, std::string_view written) {
  return read == 0 && written_as_integer(written) ? 0.0 : read;
}

// A number that a parser gives as a float. Written as an integer, it is one
// beyond 64 bits to the careful reader's parser.
inline Number float_number(double read, std::string_view written) {
  return {.type = written_as_integer(written) ? Number::Type::big_integer : Number::Type::floating,
          .floating = float_value(read, written),
          .written = written};
}

// Stores an integer in a member of type I (std::uint32_t or std::int64_t).
template <class I>
Stored store_integer(void* out, const Number& n) {
  constexpr std::int64_t low = std::numeric_limits<I>::min();
  constexpr std::uint64_t high = std::numeric_limits<I>::max();
  bool fits = false;
  switch (n.type) {
    case Number::Type::integer:
      fits = n.integer >= low && (n.integer < 0 || static_cast<std::uint64_t>(n.integer) <= high);
      break;
    case Number::Type::unsigned_integer:
      fits = n.unsigned_integer <= high;
      break;
    case Number::Type::big_integer:
      break;
    case Number::Type::floating:
      return Stored::wrong_type;
  }
  if (!fits) return Stored::out_of_range;
  *static_cast<I*>(out) = static_cast<I>(
      n.type == Number::Type::integer ? n.integer : static_cast<std::int64_t>(n.unsigned_integer));
  return Stored::done;
}

// An untyped value keeps a number as it was written: an integer past 64 bits
// keeps its digits, not a float's.
inline void store_any(nlohmann::json& out, const Number& n) {
  switch (n.type) {
    case Number::Type::integer:
      out = n.integer;
      break;
    case Number::Type::unsigned_integer:
      out = n.unsigned_integer;
      break;
    case Number::Type::big_integer:
      out = integer_text(n.written);
      break;
    case Number::Type::floating:
      out = n.floating;
      break;
  }
}

// The scalars, each stored in a target past its nullables.
inline Stored store_number(const Target& t, const Number& n) {
  switch (t.type->kind) {
    case Kind::skip:
      return Stored::done;
    case Kind::f64: {
      double& out = *static_cast<double*>(t.object);
      switch (n.type) {
        case Number::Type::integer:
          out = static_cast<double>(n.integer);
          break;
        case Number::Type::unsigned_integer:
          out = static_cast<double>(n.unsigned_integer);
          break;
        case Number::Type::big_integer:
        case Number::Type::floating:
          out = n.floating;
          break;
      }
      return Stored::done;
    }
    case Kind::u32:
      return store_integer<std::uint32_t>(t.object, n);
    case Kind::i64:
      return store_integer<std::int64_t>(t.object, n);
    case Kind::any:
      store_any(*static_cast<nlohmann::json*>(t.object), n);
      return Stored::done;
    default:
      return Stored::wrong_type;
  }
}

inline Stored store_string(const Target& t, std::string_view text) {
  switch (t.type->kind) {
    case Kind::skip:
      return Stored::done;
    case Kind::string:
      static_cast<std::string*>(t.object)->assign(text);
      return Stored::done;
    case Kind::any:
      *static_cast<nlohmann::json*>(t.object) = std::string(text);
      return Stored::done;
    default:
      return Stored::wrong_type;
  }
}

inline Stored store_boolean(const Target& t, bool value) {
  switch (t.type->kind) {
    case Kind::skip:
      return Stored::done;
    case Kind::boolean:
      *static_cast<bool*>(t.object) = value;
      return Stored::done;
    case Kind::any:
      *static_cast<nlohmann::json*>(t.object) = value;
      return Stored::done;
    default:
      return Stored::wrong_type;
  }
}

// Null for a target that is not nullable (see null_empties).
inline Stored store_null(const Target& t) {
  switch (t.type->kind) {
    case Kind::skip:
      return Stored::done;
    case Kind::any:
      *static_cast<nlohmann::json*>(t.object) = nullptr;
      return Stored::done;
    default:
      return Stored::wrong_type;
  }
}

// Whether a target past its nullables takes an object (else an array). An
// untyped value that takes it starts as an empty one; its elements then go,
// as those of a list or a map do, through the type's append and insert.
inline bool open_container(const Target& t, bool object) {
  switch (t.type->kind) {
    case Kind::record:
      return object || t.record->form == Form::object_or_array;
    case Kind::map:
      return object;
    case Kind::list:
      return !object;
    case Kind::any:
      *static_cast<nlohmann::json*>(t.object) =
          object ? nlohmann::json::object() : nlohmann::json::array();
      return true;
    case Kind::skip:
      return true;
    default:
      return false;
  }
}

// A record being read, from an object or from an array: which of its fields
// the text has given.
class RecordFields {
 public:
  RecordFields() = default;
  RecordFields(const RecordInfo& record, void* object)
      : record_(&record), fields_(record.fields()), object_(object) {}

  const RecordInfo& record() const { return *record_; }
  std::size_t count() const { return fields_.size(); }

  // From an object: what a key names.
  enum class Key : std::uint8_t {
    field,     // a field given the first time; its value goes to `target`
    unknown,   // no field: its value is skipped, `target` takes it
    repeated,  // a field given before, which fails the text
  };

  // Looks a key up; `equals(name)` tells whether the key is `name`.
  template <class Equals>
  Key key(const Equals& equals, Target& target) {
    // Keys mostly come in table order: start after the last match
    // (5% of BM_DecodeSnapshot).
    const std::size_t count = fields_.size();
    std::size_t i = given_;
    for (std::size_t tried = 0; tried < count; ++tried, ++i) {
      if (i == count) i = 0;
      if (!equals(fields_[i].key)) continue;
      const std::uint64_t bit = std::uint64_t{1} << i;
      if ((seen_ & bit) != 0) return Key::repeated;
      seen_ |= bit;
      given_ = i + 1;
      const Field& field = fields_[i];
      target = {field.type, field.record, field.member(object_)};
      return Key::field;
    }
    target = kSkipped;
    return Key::unknown;
  }

  // From an object, at its end: the first required field that no key gave,
  // or nullptr.
  const Field* missing() const {
    const std::uint64_t missing = record_->required & ~seen_;
    return missing == 0 ? nullptr : &fields_[std::countr_zero(missing)];
  }

  // From an array: where its next element goes, the next field. Elements
  // past the last field are skipped, and counted.
  Target element() {
    const std::size_t index = given_++;
    if (index >= fields_.size()) return kSkipped;
    const Field& field = fields_[index];
    return {field.type, field.record, field.member(object_)};
  }

  // From an array, at its end: how many elements it had, and whether that
  // many make the record: no more than its fields, and the fields past the
  // end all have a default to keep.
  std::size_t length() const { return given_; }
  bool length_fits() const {
    const std::uint64_t left_out = given_ >= 64 ? 0 : ~std::uint64_t{0} << given_;
    return given_ <= fields_.size() && (record_->no_default & left_out) == 0;
  }

 private:
  const RecordInfo* record_ = nullptr;
  std::span<const Field> fields_;
  void* object_ = nullptr;
  std::uint64_t seen_ = 0;  // objects: bit i set once field i was given
  std::size_t given_ = 0;   // objects: where the next key is looked for first;
                            // arrays: the elements given
};

}  // namespace vt::base::json::detail
