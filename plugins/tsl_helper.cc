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

std::expected<TslLimitsByName, std::string> parse_tsl_limits(const std::string& text) {
  auto limits = json::decode_json<TslLimitsByName>(text, kTslLimits);
  if (!limits) return std::unexpected(parse_failure_quoting("tsl-helper", limits.error(), text));
  return limits;
}

std::expected<TslLimitsByName, std::string> query_tsl_limits(
    const std::string& program, const std::vector<std::string>& names) {
  if (names.empty()) return TslLimitsByName{};
  const auto texts = run_helper_texts(
      program, {"limits"}, names.size(), [&](std::size_t i) { return names[i]; }, kTslLimitSeconds);
  if (!texts) return std::unexpected(texts.error());
  TslLimitsByName all;
  for (const std::string& text : *texts) {
    auto part = parse_tsl_limits(text);
    if (!part) return std::unexpected(std::move(part.error()));
    for (auto& [name, limits] : *part) all.insert_or_assign(name, std::move(limits));
  }
  return all;
}

}  // namespace vt::plugins
