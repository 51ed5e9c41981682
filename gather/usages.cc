#include "gather/usages.h"

#include <limits>

namespace vt::gather {

double number_or_nan(const nlohmann::json& figure) {
  using Json = nlohmann::json;
  switch (figure.type()) {
    case Json::value_t::number_float:
      return *figure.get_ptr<const Json::number_float_t*>();
    case Json::value_t::number_integer:
      return static_cast<double>(*figure.get_ptr<const Json::number_integer_t*>());
    case Json::value_t::number_unsigned:
      return static_cast<double>(*figure.get_ptr<const Json::number_unsigned_t*>());
    default:
      return std::numeric_limits<double>::quiet_NaN();
  }
}

}  // namespace vt::gather
