#include "plugins/tsl_helper.h"

#include "base/json_decode.h"
#include "plugins/parse_failure.h"
#include "plugins/runner.h"

namespace vt::plugins {
namespace {

namespace json = base::json;
using json::Presence::defaulted;
using json::Presence::optional;

constexpr auto kTslLimits = json::record<TslLimits>(
    "TslLimits", json::Form::object, json::field<&TslLimits::cpu>("cpu", optional),
    json::field<&TslLimits::io>("io", optional), json::field<&TslLimits::error>("error", optional),
    json::field<&TslLimits::absent>("absent", defaulted));

}  // namespace

std::expected<TesselLimits, std::string> parse_tsl_limits(std::string_view text) {
  auto limits = json::decode_json<TesselLimits>(text, kTslLimits);
  if (!limits) return std::unexpected(parse_failure_quoting("tsl-helper", limits.error(), text));
  return limits;
}

std::expected<TesselLimits, std::string> query_tsl_limits_with(
    const std::string& program, const std::vector<std::string>& names) {
  if (names.empty()) return TesselLimits{};
  std::vector<std::string> args;
  args.reserve(names.size() + 1);
  args.emplace_back("limits");
  args.insert(args.end(), names.begin(), names.end());
  const auto text = run_helper_text(program, args, kTslLimitSeconds);
  if (!text) return std::unexpected(text.error());
  return parse_tsl_limits(*text);
}

std::expected<TesselLimits, std::string> query_tsl_limits(const std::vector<std::string>& names) {
  return query_tsl_limits_with(kTslHelperPath, names);
}

}  // namespace vt::plugins
