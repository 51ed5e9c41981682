// The quick pass of decode_json: a vectorised parser walks the whole text
// against the field tables and stores every value, but gives up at the first
// thing it does not take in its stride (any fault, and a few rare forms such
// as integers beyond 64 bits). The careful reader then decodes the text again
// and words the fault; so this pass only has to decide, never to explain.
//
// Its one duty: whatever it accepts, the careful reader accepts too, with the
// same values. Both hand what they read to base/json_rules.h; what this pass
// decides itself is how to read the text and what to leave to the careful
// reader. The decoding tests hold it to each of their rows (a scalar root
// read as a field), and fuzz/json_fast_fuzz.cc compares the passes on random
// texts.
#include <simdjson.h>

#include <string>
#include <string_view>
#include <utility>

#include "base/json_decode.h"
#include "base/json_rules.h"

namespace vt::base::json::detail {
namespace {

namespace od = simdjson::ondemand;
using simdjson::SUCCESS;

class FastReader {
 public:
  FastReader() = default;
  // A reader that makes no room up front in the list `unsized`.
  explicit FastReader(const void* unsized) : unsized_(unsized) {}

  // `v` holds a value of the text; it is read whole, nested values included.
  bool value(od::value& v, const Target& target, std::size_t depth);
  // The same for a container that is already open: the root of the text.
  bool object(od::object& o, const Target& target, std::size_t depth);
  bool array(od::array& a, const Target& target, std::size_t depth);

 private:
  bool by_type(od::value& v, const Target& target, std::size_t depth);
  bool record_object(od::object& o, const RecordInfo& record, void* out, std::size_t depth);
  bool record_array(od::array& a, const RecordInfo& record, void* out, std::size_t depth);

  const void* unsized_ = nullptr;
};

// A key as written, without its quotes; false when it holds an escape, so
// that only the unescaped key can be compared.
bool plain_key(const od::raw_json_string& raw, std::string_view& key) {
  const char* begin = raw.raw();
  const char* p = begin;
  while (*p != '"') {
    if (*p == '\\') return false;
    ++p;
  }
  key = std::string_view(begin, static_cast<std::size_t>(p - begin));
  return true;
}

// A string value's text: as written when it holds no escape (the parser has
// already refused control characters and text that is not UTF-8), else
// unescaped by the parser into its own buffer.
bool string_of(od::value& v, std::string_view& text) {
  const std::string_view token = v.raw_json_token();
  if (token.starts_with('"')) {
    // A plain loop: find_first_of calls memchr for every byte.
    std::size_t end = 1;
    while (end < token.size() && token[end] != '"' && token[end] != '\\') ++end;
    if (end < token.size() && token[end] == '"') {
      od::raw_json_string raw;
      if (v.get_raw_json_string().get(raw) != SUCCESS) return false;
      text = token.substr(1, end - 1);
      return true;
    }
  }
  return v.get_string().get(text) == SUCCESS;
}

// Whether a key as written, without escapes, is `name`, which holds no quote:
// a plain loop, as a table's keys are a few bytes long and a call to memcmp
// for each cost 5 % of a run.
bool written_as(const od::raw_json_string& key, std::string_view name) {
  const char* raw = key.raw();
  if (raw[name.size()] != '"') return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (raw[i] != name[i]) return false;
  }
  return true;
}

bool key_of(od::field& field, std::string_view& key) {
  if (plain_key(field.key(), key)) return true;
  return field.unescaped_key().get(key) == SUCCESS;
}

// The parser's float conversion goes wrong on "0." followed by more than 19
// digits after the leading zeros (it checks where they start, not how many
// there are): such numbers are left to the careful reader.
bool float_converts(std::string_view token) {
  if (token.starts_with('-')) token.remove_prefix(1);
  if (!token.starts_with("0.")) return true;
  std::size_t i = 2;
  while (i < token.size() && token[i] == '0') ++i;
  const std::size_t first = i;
  while (i < token.size() && token[i] >= '0' && token[i] <= '9') ++i;
  return i - first <= 19;
}

// A number as the parser reads it into a float, and its text: false where
// the conversion would go wrong.
[[gnu::always_inline]] inline bool float_of(od::value& v, double& read, std::string_view& token) {
  token = v.raw_json_token();
  return float_converts(token) && v.get_double().get(read) == SUCCESS;
}

// An integer as the careful reader's parser gives it, read straight as one
// (asking first what kind of number it is costs time): false for a float, and
// for an integer beyond 64 bits, which are left to the careful reader.
bool integer_of(od::value& v, Number& n) {
  if (v.is_negative()) {
    n.type = Number::Type::integer;
    return v.get_int64().get(n.integer) == SUCCESS;
  }
  n.type = Number::Type::unsigned_integer;
  return v.get_uint64().get(n.unsigned_integer) == SUCCESS;
}

// A number as the careful reader's parser gives it. The parser reads only a
// number written with a fraction or an exponent as a float.
bool number_of(od::value& v, Number& n) {
  od::number_type type;
  if (v.get_number_type().get(type) != SUCCESS) return false;
  if (type != od::number_type::floating_point_number) return integer_of(v, n);
  double read = 0.0;
  std::string_view token;
  if (!float_of(v, read, token)) return false;
  n = float_number(read, token);
  return true;
}

bool FastReader::value(od::value& v, const Target& target, std::size_t depth) {
  Target t = target;
  bool null = false;
  if (t.type->kind == Kind::nullable && v.is_null().get(null) != SUCCESS) return false;
  if (null_empties(t, null)) return true;
  // Typed scalars are read straight as what the member takes: most values
  // are, and asking first what kind of value it is costs time.
  switch (t.type->kind) {
    case Kind::f64: {
      // Most values are floats: straight into the member.
      double read = 0.0;
      std::string_view token;
      if (!float_of(v, read, token)) return false;
      *static_cast<double*>(t.object) = float_value(read, token);
      return true;
    }
    case Kind::u32:
    case Kind::i64: {
      Number n;
      return integer_of(v, n) && store_number(t, n) == Stored::done;
    }
    case Kind::string: {
      std::string_view text;
      return string_of(v, text) && store_string(t, text) == Stored::done;
    }
    case Kind::boolean: {
      bool b = false;
      return v.get_bool().get(b) == SUCCESS && store_boolean(t, b) == Stored::done;
    }
    default:
      return by_type(v, t, depth);
  }
}

// A value read as what it is, then given to the target (past its nullables):
// containers, untyped values and skipped ones.
bool FastReader::by_type(od::value& v, const Target& t, std::size_t depth) {
  od::json_type type;
  if (v.type().get(type) != SUCCESS) return false;
  switch (type) {
    case od::json_type::object: {
      od::object o;
      return v.get_object().get(o) == SUCCESS && object(o, t, depth);
    }
    case od::json_type::array: {
      od::array a;
      return v.get_array().get(a) == SUCCESS && array(a, t, depth);
    }
    case od::json_type::number: {
      Number n;
      return number_of(v, n) && store_number(t, n) == Stored::done;
    }
    case od::json_type::string: {
      std::string_view text;
      return string_of(v, text) && store_string(t, text) == Stored::done;
    }
    case od::json_type::boolean: {
      bool b = false;
      return v.get_bool().get(b) == SUCCESS && store_boolean(t, b) == Stored::done;
    }
    case od::json_type::null: {
      bool null = false;
      return v.is_null().get(null) == SUCCESS && null && store_null(t) == Stored::done;
    }
  }
  return false;
}

bool FastReader::object(od::object& o, const Target& target, std::size_t depth) {
  const Target t = engaged(target);
  if (!open_level(depth) || !open_container(t, true)) return false;
  if (t.type->kind == Kind::record) return record_object(o, *t.record, t.object, depth);
  // A map, an untyped value or a skipped one.
  const bool kept = t.type->kind != Kind::skip;
  for (auto result : o) {
    od::field field;
    std::string_view key;
    if (std::move(result).get(field) != SUCCESS || !key_of(field, key)) return false;
    const Target slot =
        kept ? Target{t.type->inner, t.record, t.type->insert(t.object, std::string(key))}
             : kSkipped;
    if (!value(field.value(), slot, depth)) return false;
  }
  return true;
}

bool FastReader::array(od::array& a, const Target& target, std::size_t depth) {
  const Target t = engaged(target);
  if (!open_level(depth) || !open_container(t, false)) return false;
  if (t.type->kind == Kind::record) return record_array(a, *t.record, t.object, depth);
  // A list, an untyped value or a skipped one.
  if (t.record != nullptr && t.type->reserve != nullptr && t.object != unsized_ &&
      (t.type->wants_room == nullptr || t.type->wants_room(t.object))) {
    // Records are large to move when the list grows: count them first
    // (a fifth of a run's CPU time at 100,000 accounts in
    // scripts/bench-process, and 8 MiB of its peak memory).
    std::size_t count = 0;
    if (a.count_elements().get(count) != SUCCESS) return false;
    t.type->reserve(t.object, count);
  }
  const bool kept = t.type->kind != Kind::skip;
  for (auto result : a) {
    od::value v;
    if (std::move(result).get(v) != SUCCESS) return false;
    const Target slot = kept ? Target{t.type->inner, t.record, t.type->append(t.object)} : kSkipped;
    if (!value(v, slot, depth)) return false;
  }
  if (t.type->close != nullptr) t.type->close(t.object);
  return true;
}

bool FastReader::record_object(od::object& o, const RecordInfo& record, void* out,
                               std::size_t depth) {
  RecordFields fields(record, out);
  for (auto result : o) {
    od::field field;
    if (std::move(result).get(field) != SUCCESS) return false;
    // Table keys hold no quote or backslash (base/json_record.h): a key
    // equals one only when written without escapes.
    const od::raw_json_string key = field.key();
    Target slot;
    switch (fields.key([&key](std::string_view name) { return written_as(key, name); }, slot)) {
      case RecordFields::Key::field:
        break;
      case RecordFields::Key::unknown: {
        // One written with escapes might name a field once unescaped.
        std::string_view plain;
        if (!plain_key(key, plain)) return false;
        break;
      }
      case RecordFields::Key::repeated:
        return false;
    }
    if (!value(field.value(), slot, depth)) return false;
  }
  return fields.missing() == nullptr;
}

bool FastReader::record_array(od::array& a, const RecordInfo& record, void* out,
                              std::size_t depth) {
  RecordFields fields(record, out);
  for (auto result : a) {
    od::value v;
    if (std::move(result).get(v) != SUCCESS || !value(v, fields.element(), depth)) return false;
  }
  return fields.length_fits();
}

// The root of `text`, an object when `object`, else an array, read with
// `parser` by `reader` at `depth` (that of the container holding it).
bool decode_padded(od::parser& parser, const simdjson::padded_string_view text, bool object,
                   FastReader& reader, const Target& target, std::size_t depth) {
  od::document doc;
  if (parser.iterate(text).get(doc) != SUCCESS) return false;
  bool done = false;
  if (object) {
    od::object o;
    done = doc.get_object().get(o) == SUCCESS && reader.object(o, target, depth);
  } else {
    od::array a;
    done = doc.get_array().get(a) == SUCCESS && reader.array(a, target, depth);
  }
  if (!done) return false;
  // With the root value read, its text reaches to the next token, if any.
  std::string_view root;
  if (doc.raw_json().get(root) != SUCCESS) return false;
  const std::string_view whole(text.data(), text.size());
  return trailing_byte(whole, static_cast<std::size_t>(root.data() + root.size() - whole.data())) ==
         std::string_view::npos;
}

bool decode_padded(const simdjson::padded_string_view text, bool object, const Target& target) {
  od::parser parser;
  FastReader reader;
  return decode_padded(parser, text, object, reader, target, 0);
}

}  // namespace

struct ElementBatches::Parser {
  od::parser parser;
};

ElementBatches::ElementBatches() : parser_(std::make_unique<Parser>()) {}
ElementBatches::~ElementBatches() = default;

bool ElementBatches::decode(const char* text, std::size_t size, std::size_t capacity,
                            const Target& list, std::size_t depth) {
  FastReader reader(list.object);
  return decode_padded(parser_->parser, simdjson::padded_string_view(text, size, capacity), false,
                       reader, list, depth);
}

bool decode_fast(const std::string& text, const Target& target) {
  const std::size_t first = text.find_first_not_of(kJsonSpace);
  if (first == std::string::npos || (text[first] != '{' && text[first] != '[')) return false;
  const bool object = text[first] == '{';
  if (text.capacity() - text.size() >= simdjson::SIMDJSON_PADDING) {
    return decode_padded(simdjson::padded_string_view(text.data(), text.size(), text.capacity()),
                         object, target);
  }
  const simdjson::padded_string copy(text);
  return decode_padded(copy, object, target);
}

}  // namespace vt::base::json::detail
