#pragma once
// The one writer of JSON documents: two blanks of indentation, members in
// ascending byte order of their keys, floats in their shortest round-trip form.
#include <nlohmann/json.hpp>
#include <string>

namespace vt::base {

/// The document as pretty-printed text followed by one line feed. A float
/// is written in the shortest decimal text that reads back to it, with ".0"
/// on whole numbers and an exponent for very large or very small
/// magnitudes; "null" when it is not finite.
std::string write_json(const nlohmann::json& value);

}  // namespace vt::base
