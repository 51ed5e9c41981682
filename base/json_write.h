#pragma once
// The one writer of JSON documents: two blanks of indentation, members in
// ascending byte order of their keys, floats in their shortest round-trip form.
#include <nlohmann/json.hpp>
#include <string>

namespace vt::base {

/// The document as pretty-printed text followed by one line feed.
std::string write_json(const nlohmann::json& value);

/// The shortest decimal text that reads back to `value`, with ".0" on whole
/// numbers and an exponent for very large or very small magnitudes; "null"
/// for values that are not finite.
std::string format_double(double value);

}  // namespace vt::base
