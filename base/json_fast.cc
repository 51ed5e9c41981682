// The quick pass of decode_json: a vectorised parser walks the whole text
// against the field tables and stores every value, but gives up at the first
// thing it does not take in its stride (any fault, and a few rare forms such
// as integers beyond 64 bits). The careful reader then decodes the text again
// and words the fault; so this pass only has to decide, never to explain.
//
// Its one duty: whatever it accepts, the careful reader accepts too, with the
// same values. Both follow the rules of base/json_rules.h; the decoding tests
// compare the passes on every text they decode, and fuzz/json_fast_fuzz.cc
// on random texts.
#include <simdjson.h>

#include <nlohmann/json.hpp>
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
  // `v` holds a value of the text; it is read whole, nested values included.
  bool value(od::value& v, const Target& target, std::size_t depth);
  // The same for a container that is already open: the root of the text.
  bool object(od::object& o, const Target& target, std::size_t depth);
  bool array(od::array& a, const Target& target, std::size_t depth);

 private:
  bool container(od::value& v, const Target& target, std::size_t depth);
  bool record_object(od::object& o, const RecordInfo& record, void* out, std::size_t depth);
  bool record_array(od::array& a, const RecordInfo& record, void* out, std::size_t depth);
  bool any(od::value& v, nlohmann::json& out, std::size_t depth);
  bool any_object(od::object& o, nlohmann::json& out, std::size_t depth);
  bool any_array(od::array& a, nlohmann::json& out, std::size_t depth);
  bool skip(od::value& v, std::size_t depth);
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
    const std::size_t end = token.find_first_of("\\\"", 1);
    if (end != std::string_view::npos && token[end] == '"') {
      od::raw_json_string raw;
      if (v.get_raw_json_string().get(raw) != SUCCESS) return false;
      text = token.substr(1, end - 1);
      return true;
    }
  }
  return v.get_string().get(text) == SUCCESS;
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

// A number as the careful reader's parser gives it. Integers beyond 64 bits
// are left to the careful reader.
bool number_of(od::value& v, Number& n) {
  od::number_type type;
  if (v.get_number_type().get(type) != SUCCESS) return false;
  if (type != od::number_type::floating_point_number) return integer_of(v, n);
  // The parser reads only a number written with a fraction or an exponent as
  // a float.
  if (!float_converts(v.raw_json_token())) return false;
  n.type = Number::Type::floating;
  return v.get_double().get(n.floating) == SUCCESS;
}

bool FastReader::value(od::value& v, const Target& target, std::size_t depth) {
  Target t = target;
  bool null = false;
  if (t.type->kind == Kind::nullable && v.is_null().get(null) != SUCCESS) return false;
  if (null_empties(t, null)) return true;
  switch (t.type->kind) {
    case Kind::f64: {
      // The float straight from the text: most values are floats, and asking
      // first what kind of number it is costs time.
      const std::string_view token = v.raw_json_token();
      double& out = *static_cast<double*>(t.object);
      if (!float_converts(token) || v.get_double().get(out) != SUCCESS) return false;
      out = float_of(out, token);
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
    case Kind::any:
      return any(v, *static_cast<nlohmann::json*>(t.object), depth);
    case Kind::skip:
      return skip(v, depth);
    case Kind::list:
    case Kind::map:
    case Kind::record:
      return container(v, t, depth);
    case Kind::nullable:
      break;
  }
  return false;
}

// A list, map or record, from an array or an object.
bool FastReader::container(od::value& v, const Target& target, std::size_t depth) {
  od::json_type type;
  if (v.type().get(type) != SUCCESS) return false;
  if (type == od::json_type::array && target.type->kind != Kind::map) {
    od::array a;
    return v.get_array().get(a) == SUCCESS && array(a, target, depth);
  }
  if (type != od::json_type::object || target.type->kind == Kind::list) return false;
  od::object o;
  return v.get_object().get(o) == SUCCESS && object(o, target, depth);
}

bool FastReader::object(od::object& o, const Target& target, std::size_t depth) {
  if (!open_level(depth)) return false;
  const Target t = engaged(target);
  switch (t.type->kind) {
    case Kind::record:
      return record_object(o, *t.record, t.object, depth);
    case Kind::map:
      for (auto result : o) {
        od::field field;
        std::string_view key;
        if (std::move(result).get(field) != SUCCESS || !key_of(field, key)) return false;
        const Target slot{t.type->inner, t.record, t.type->insert(t.object, std::string(key))};
        if (!value(field.value(), slot, depth)) return false;
      }
      return true;
    case Kind::any:
      return any_object(o, *static_cast<nlohmann::json*>(t.object), depth);
    case Kind::skip:
      for (auto result : o) {
        od::field field;
        std::string_view key;
        if (std::move(result).get(field) != SUCCESS || !key_of(field, key)) return false;
        if (!skip(field.value(), depth)) return false;
      }
      return true;
    default:
      return false;
  }
}

bool FastReader::array(od::array& a, const Target& target, std::size_t depth) {
  if (!open_level(depth)) return false;
  const Target t = engaged(target);
  switch (t.type->kind) {
    case Kind::record:
      return t.record->form == Form::object_or_array && record_array(a, *t.record, t.object, depth);
    case Kind::list: {
      if (t.record != nullptr) {
        // Records are large to move when the list grows: count them first
        // (a fifth of a run's CPU time at 100,000 accounts in
        // scripts/bench-process, and 8 MiB of its peak memory).
        std::size_t count = 0;
        if (a.count_elements().get(count) != SUCCESS) return false;
        t.type->reserve(t.object, count);
      }
      const Target element{t.type->inner, t.record, nullptr};
      for (auto result : a) {
        od::value v;
        if (std::move(result).get(v) != SUCCESS) return false;
        Target slot = element;
        slot.object = t.type->append(t.object);
        if (!value(v, slot, depth)) return false;
      }
      return true;
    }
    case Kind::any:
      return any_array(a, *static_cast<nlohmann::json*>(t.object), depth);
    case Kind::skip:
      for (auto result : a) {
        od::value v;
        if (std::move(result).get(v) != SUCCESS || !skip(v, depth)) return false;
      }
      return true;
    default:
      return false;
  }
}

bool FastReader::record_object(od::object& o, const RecordInfo& record, void* out,
                               std::size_t depth) {
  RecordFields fields(record, out);
  for (auto result : o) {
    od::field field;
    if (std::move(result).get(field) != SUCCESS) return false;
    // Table keys hold no quote or backslash: a key equals one only when
    // written without escapes.
    const od::raw_json_string key = field.key();
    Target slot;
    switch (fields.key([&key](std::string_view name) { return key.unsafe_is_equal(name); }, slot)) {
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

bool FastReader::any(od::value& v, nlohmann::json& out, std::size_t depth) {
  od::json_type type;
  if (v.type().get(type) != SUCCESS) return false;
  switch (type) {
    case od::json_type::object: {
      od::object o;
      return v.get_object().get(o) == SUCCESS && open_level(depth) && any_object(o, out, depth);
    }
    case od::json_type::array: {
      od::array a;
      return v.get_array().get(a) == SUCCESS && open_level(depth) && any_array(a, out, depth);
    }
    case od::json_type::number: {
      Number n;
      if (!number_of(v, n)) return false;
      store_any(out, n);
      return true;
    }
    case od::json_type::string: {
      std::string_view text;
      if (!string_of(v, text)) return false;
      out = std::string(text);
      return true;
    }
    case od::json_type::boolean: {
      bool b = false;
      if (v.get_bool().get(b) != SUCCESS) return false;
      out = b;
      return true;
    }
    case od::json_type::null: {
      bool null = false;
      if (v.is_null().get(null) != SUCCESS || !null) return false;
      out = nullptr;
      return true;
    }
  }
  return false;
}

bool FastReader::any_object(od::object& o, nlohmann::json& out, std::size_t depth) {
  out = nlohmann::json::object();
  for (auto result : o) {
    od::field field;
    std::string_view key;
    if (std::move(result).get(field) != SUCCESS || !key_of(field, key)) return false;
    // A repeated key: the later value wins.
    if (!any(field.value(), out[std::string(key)], depth)) return false;
  }
  return true;
}

bool FastReader::any_array(od::array& a, nlohmann::json& out, std::size_t depth) {
  out = nlohmann::json::array();
  for (auto result : a) {
    od::value v;
    if (std::move(result).get(v) != SUCCESS || !any(v, out.emplace_back(), depth)) return false;
  }
  return true;
}

// Reads a value that is not kept, with every check that a kept one gets.
bool FastReader::skip(od::value& v, std::size_t depth) {
  od::json_type type;
  if (v.type().get(type) != SUCCESS) return false;
  switch (type) {
    case od::json_type::object: {
      od::object o;
      return v.get_object().get(o) == SUCCESS && object(o, kSkipped, depth);
    }
    case od::json_type::array: {
      od::array a;
      return v.get_array().get(a) == SUCCESS && array(a, kSkipped, depth);
    }
    case od::json_type::number: {
      double n = 0.0;
      return float_converts(v.raw_json_token()) && v.get_double().get(n) == SUCCESS;
    }
    case od::json_type::string: {
      std::string_view text;
      return v.get_string().get(text) == SUCCESS;
    }
    case od::json_type::boolean: {
      bool b = false;
      return v.get_bool().get(b) == SUCCESS;
    }
    case od::json_type::null: {
      bool null = false;
      return v.is_null().get(null) == SUCCESS && null;
    }
  }
  return false;
}

// `object`: the root is an object, else an array.
bool decode_padded(const simdjson::padded_string_view text, bool object, const Target& target) {
  od::parser parser;
  od::document doc;
  if (parser.iterate(text).get(doc) != SUCCESS) return false;
  FastReader reader;
  bool done = false;
  if (object) {
    od::object o;
    done = doc.get_object().get(o) == SUCCESS && reader.object(o, target, 0);
  } else {
    od::array a;
    done = doc.get_array().get(a) == SUCCESS && reader.array(a, target, 0);
  }
  if (!done) return false;
  // With the root value read, its text reaches to the next token, if any.
  std::string_view root;
  if (doc.raw_json().get(root) != SUCCESS) return false;
  const std::string_view whole(text.data(), text.size());
  return trailing_byte(whole, static_cast<std::size_t>(root.data() + root.size() - whole.data())) ==
         std::string_view::npos;
}

}  // namespace

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
