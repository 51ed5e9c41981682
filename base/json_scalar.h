#pragma once
// Scalar JSON values and the members they are stored into. Internal to the
// JSON reader (base/json_reader.cc).
#include <cstdint>
#include <string>

#include "base/json_decode.h"

namespace vt::base::json::detail {

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

// What became of a scalar given to a member.
enum class Stored : std::uint8_t {
  done,
  wrong_type,    // e.g. a string for a float
  out_of_range,  // an integer that the member's type cannot hold
};

// Stores `value` into `target`: null empties a nullable, numbers go into
// floats, integers within range into integer members, and anything into an
// untyped value. A skipping target takes anything and stores nothing.
Stored store_scalar(const Target& target, const Scalar& value);

// How error messages name the value found ("integer -1", "string \"5\"")
// and what the target expected ("u32", "a float", "TopUser or null").
std::string describe(const Scalar& value);
std::string expected_name(const Target& target);

}  // namespace vt::base::json::detail
