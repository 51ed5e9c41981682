#include "base/format.h"

#include <charconv>
#include <cmath>
#include <ctime>

namespace vt::base {
namespace {

// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z.
constexpr double kFirstSecond = -62135596800.0;
constexpr double kLastSecond = 253402300799.0;

// A whole number below 10,000 with a scale letter after it, rounded down:
// "9999", "12k", "999E"; nothing from 1e21 on.
std::optional<std::string> scaled_down(double value) {
  const char* scale = "";
  for (const char* next : {"k", "M", "G", "T", "P", "E"}) {
    if (*scale == '\0' ? value < 10000 : value < 1000) break;
    value /= 1000;
    scale = next;
  }
  if (value >= (*scale == '\0' ? 10000 : 1000)) return std::nullopt;
  return std::to_string(static_cast<int>(std::floor(value))) + scale;
}

// `epoch` through strftime's `format`, broken down by `convert` (UTC or
// local time); nothing outside calendar_second's years.
std::optional<std::string> calendar_text(double epoch, const char* format,
                                         std::tm* (*convert)(const std::time_t*, std::tm*));

}  // namespace

std::string exact_figure(double value) {
  if (!std::isfinite(value)) return "-";
  char buffer[400];  // 309 digits before the point, or 324 after it and "-0."
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
  return {buffer, end};
}

std::string compact_figure(double value) {
  if (!std::isfinite(value)) return "-";
  if (std::fabs(value) >= 9999.5e15) {
    // "1e+19" as "1e19".
    char buffer[16];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 0).ptr;
    std::string text(buffer, end);
    if (const auto plus = text.find('+'); plus != std::string::npos) text.erase(plus, 1);
    return text;
  }
  const char* scale = "";
  for (const char* next : {"k", "M", "G", "T", "P"}) {
    if (std::fabs(value) < 9999.5) break;
    value /= 1000;
    scale = next;
  }
  const double size = std::fabs(value);
  const int decimals = *scale == '\0' && value == std::floor(value) ? 0
                       : size < 10                                  ? 2
                       : size < 100                                 ? 1
                                                                    : 0;
  char buffer[32];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
  return std::string(buffer, end) + scale;
}

std::string share_text(double share) {
  if (std::isnan(share)) return "-";
  if (share < 0) return "<0%";
  const char* mark = share >= 1.0 ? "!" : share >= 0.9 ? "+" : " ";
  return scaled_down(share * 100).value_or("huge") + "%" + mark;
}

std::optional<std::int64_t> calendar_second(double epoch) {
  if (!(epoch >= kFirstSecond && epoch < kLastSecond + 1)) return std::nullopt;
  return static_cast<std::int64_t>(std::floor(epoch));
}

std::string utc_time(double epoch) {
  return calendar_text(epoch, "%Y-%m-%dT%H:%M:%SZ", ::gmtime_r).value_or("-");
}

std::string local_time(double epoch, const char* format) {
  return calendar_text(epoch, format, ::localtime_r).value_or("?");
}

namespace {

std::optional<std::string> calendar_text(double epoch, const char* format,
                                         std::tm* (*convert)(const std::time_t*, std::tm*)) {
  const auto second = calendar_second(epoch);
  if (!second) return std::nullopt;
  const auto t = static_cast<std::time_t>(*second);
  std::tm tm{};
  convert(&t, &tm);
  char buffer[64];
  return std::string(buffer, std::strftime(buffer, sizeof buffer, format, &tm));
}

}  // namespace

std::string duration_text(double seconds) {
  if (!(seconds >= 0 && seconds <= kLastSecond - kFirstSecond)) return "?";
  const auto s = static_cast<std::int64_t>(seconds);
  if (s < 120) return std::to_string(s) + "s";
  if (s < 7200) return std::to_string(s / 60) + "m";
  if (s < 172800) return std::to_string(s / 3600) + "h";
  return std::to_string(s / 86400) + "d";
}

std::string age_text(double now, double then) {
  if (!calendar_second(now) || !calendar_second(then)) return "?";
  const double age = now - then;
  if (age < -1) return duration_text(-age) + " ahead";
  return duration_text(std::max(age, 0.0)) + " old";
}

}  // namespace vt::base
