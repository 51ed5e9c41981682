#include "base/json_scalar.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>

#include "base/utf8.h"

namespace vt::base::json::detail {
namespace {

constexpr std::size_t kMaxQuotedBytes = 64;

// A number the parser could not hold as a 64-bit integer still counts as an
// integer when it is written as one.
bool written_as_integer(const std::string& text) {
  return text.find_first_of(".eE") == std::string::npos;
}

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

}  // namespace

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

}  // namespace vt::base::json::detail
