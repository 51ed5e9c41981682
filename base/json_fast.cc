// The quick pass of decode_json: a vectorised parser walks the whole text
// against the field tables and stores every value, but gives up at the first
// thing it does not take in its stride (any fault, and a few rare forms such
// as integers beyond 64 bits). The careful reader then decodes the text again
// and words the fault; so this pass only has to decide, never to explain.
//
// Its one duty: whatever it accepts, the careful reader accepts too, with the
// same values. fuzz/json_fast_fuzz.cc checks that on random texts.
#include <simdjson.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

#include "base/json_decode.h"

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
  bool record_object(od::object& o, const RecordInfo& record, void* out, std::size_t depth);
  bool record_array(od::array& a, const RecordInfo& record, void* out, std::size_t depth);
  bool any(od::value& v, nlohmann::json& out, std::size_t depth);
  bool any_object(od::object& o, nlohmann::json& out, std::size_t depth);
  bool any_array(od::array& a, nlohmann::json& out, std::size_t depth);
  bool skip(od::value& v, std::size_t depth);
};

// The target a container is read into: past any nullables, since a
// container is never null.
Target engaged(const Target& target) {
  Target t = target;
  while (t.type->kind == Kind::nullable) t = {t.type->inner, t.record, t.type->engage(t.object)};
  return t;
}

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

// A number as the careful reader holds it: an integer written with a minus
// sign, another integer, or a float when written as one. Integers beyond 64
// bits are left to the careful reader.
struct Number {
  enum class Type : std::uint8_t { integer, unsigned_integer, floating };
  Type type = Type::integer;
  std::int64_t integer = 0;
  std::uint64_t unsigned_integer = 0;
  double floating = 0.0;
};

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

bool number_of(od::value& v, Number& n) {
  od::number_type type;
  if (v.get_number_type().get(type) != SUCCESS) return false;
  switch (type) {
    case od::number_type::floating_point_number: {
      if (!float_converts(v.raw_json_token())) return false;
      n.type = Number::Type::floating;
      return v.get_double().get(n.floating) == SUCCESS;
    }
    case od::number_type::signed_integer:
      if (v.is_negative()) {
        n.type = Number::Type::integer;
        return v.get_int64().get(n.integer) == SUCCESS;
      }
      break;
    case od::number_type::unsigned_integer:
      break;
  }
  n.type = Number::Type::unsigned_integer;
  return v.get_uint64().get(n.unsigned_integer) == SUCCESS;
}

bool FastReader::value(od::value& v, const Target& target, std::size_t depth) {
  Target t = target;
  while (t.type->kind == Kind::nullable) {
    bool null = false;
    if (v.is_null().get(null) != SUCCESS) return false;
    if (null) {
      t.type->disengage(t.object);
      return true;
    }
    t = {t.type->inner, t.record, t.type->engage(t.object)};
  }
  switch (t.type->kind) {
    case Kind::f64: {
      const std::string_view token = v.raw_json_token();
      double& out = *static_cast<double*>(t.object);
      if (!float_converts(token) || v.get_double().get(out) != SUCCESS) return false;
      // "-0" is the integer 0, whose float has no sign.
      if (out == 0 && written_as_integer(token)) out = 0.0;
      return true;
    }
    case Kind::u32: {
      std::uint64_t n = 0;
      if (v.get_uint64().get(n) != SUCCESS || n > std::numeric_limits<std::uint32_t>::max()) {
        return false;
      }
      *static_cast<std::uint32_t*>(t.object) = static_cast<std::uint32_t>(n);
      return true;
    }
    case Kind::i64:
      return v.get_int64().get(*static_cast<std::int64_t*>(t.object)) == SUCCESS;
    case Kind::string: {
      std::string_view text;
      if (!string_of(v, text)) return false;
      static_cast<std::string*>(t.object)->assign(text);
      return true;
    }
    case Kind::boolean:
      return v.get_bool().get(*static_cast<bool*>(t.object)) == SUCCESS;
    case Kind::any:
      return any(v, *static_cast<nlohmann::json*>(t.object), depth);
    case Kind::skip:
      return skip(v, depth);
    case Kind::list:
    case Kind::record: {
      od::json_type type;
      if (v.type().get(type) != SUCCESS) return false;
      if (type == od::json_type::array) {
        od::array a;
        return v.get_array().get(a) == SUCCESS && array(a, t, depth);
      }
      if (type != od::json_type::object || t.type->kind == Kind::list) return false;
      od::object o;
      return v.get_object().get(o) == SUCCESS && object(o, t, depth);
    }
    case Kind::map: {
      od::object o;
      return v.get_object().get(o) == SUCCESS && object(o, t, depth);
    }
    case Kind::nullable:
      break;
  }
  return false;
}

bool FastReader::object(od::object& o, const Target& target, std::size_t depth) {
  if (++depth > kMaxDepth) return false;
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
  if (++depth > kMaxDepth) return false;
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
  const std::span<const Field> fields = record.fields();
  const std::size_t count = fields.size();
  std::uint64_t seen = 0;
  // Keys mostly come in table order: start after the last match
  // (5% of BM_DecodeSnapshot).
  std::size_t next = 0;
  for (auto result : o) {
    od::field field;
    if (std::move(result).get(field) != SUCCESS) return false;
    // Table keys hold no quote or backslash: a key equals one only when
    // written without escapes.
    const od::raw_json_string key = field.key();
    std::size_t i = next;
    std::size_t tried = 0;
    for (; tried < count; ++tried, ++i) {
      if (i == count) i = 0;
      if (key.unsafe_is_equal(fields[i].key)) break;
    }
    if (tried == count) {
      std::string_view plain;
      if (!plain_key(key, plain) || !skip(field.value(), depth)) return false;
      continue;
    }
    const std::uint64_t bit = std::uint64_t{1} << i;
    if ((seen & bit) != 0) return false;
    seen |= bit;
    next = i + 1;
    const Field& f = fields[i];
    if (!value(field.value(), {f.type, f.record, f.member(out)}, depth)) return false;
  }
  return (record.required & ~seen) == 0;
}

bool FastReader::record_array(od::array& a, const RecordInfo& record, void* out,
                              std::size_t depth) {
  const std::span<const Field> fields = record.fields();
  std::size_t index = 0;
  for (auto result : a) {
    od::value v;
    if (std::move(result).get(v) != SUCCESS || index == fields.size()) return false;
    const Field& f = fields[index++];
    if (!value(v, {f.type, f.record, f.member(out)}, depth)) return false;
  }
  const std::uint64_t left_out = index >= 64 ? 0 : ~std::uint64_t{0} << index;
  return (record.no_default & left_out) == 0;
}

bool FastReader::any(od::value& v, nlohmann::json& out, std::size_t depth) {
  od::json_type type;
  if (v.type().get(type) != SUCCESS) return false;
  switch (type) {
    case od::json_type::object: {
      od::object o;
      return v.get_object().get(o) == SUCCESS && ++depth <= kMaxDepth && any_object(o, out, depth);
    }
    case od::json_type::array: {
      od::array a;
      return v.get_array().get(a) == SUCCESS && ++depth <= kMaxDepth && any_array(a, out, depth);
    }
    case od::json_type::number: {
      Number n;
      if (!number_of(v, n)) return false;
      switch (n.type) {
        case Number::Type::floating:
          out = n.floating;
          break;
        case Number::Type::integer:
          out = n.integer;
          break;
        case Number::Type::unsigned_integer:
          out = n.unsigned_integer;
          break;
      }
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
      return v.get_object().get(o) == SUCCESS && object(o, {&kSkip, nullptr, nullptr}, depth);
    }
    case od::json_type::array: {
      od::array a;
      return v.get_array().get(a) == SUCCESS && array(a, {&kSkip, nullptr, nullptr}, depth);
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
  // With the root value read, its text reaches to the next token: the end of
  // the text, unless something trails it.
  std::string_view root;
  if (doc.raw_json().get(root) != SUCCESS) return false;
  return root.data() + root.size() == text.data() + text.size();
}

}  // namespace

bool decode_fast(const std::string& text, const Target& target) {
  const std::size_t first = text.find_first_not_of(" \t\n\r");
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
