#include "live/batch.h"

#include <charconv>
#include <cmath>
#include <ctime>

#include "live/table.h"
#include "live/text.h"

namespace vt::live {
namespace {

std::string number(double value) {
  if (!std::isfinite(value)) return "-";
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return {buffer, end};
}

// A name as one field.
std::string field(const std::string& name) {
  if (name.empty()) return "-";
  std::wstring text = safe_text(name);
  for (wchar_t& c : text) {
    if (c == L' ') c = 0xFFFD;
  }
  return to_utf8(text);
}

std::string utc(double epoch) {
  const auto t = static_cast<std::time_t>(epoch);
  std::tm tm{};
  ::gmtime_r(&t, &tm);
  char buffer[32];
  return {buffer, std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm)};
}

}  // namespace

std::string batch_table(const Shown& shown, std::uint64_t iteration, double now) {
  std::string out = "# vorlane-top-live iteration " + std::to_string(iteration) + " time " +
                    utc(now) + " statistics " + field(shown.stats_state);
  if (shown.frame) {
    const Frame& frame = *shown.frame;
    out += " snapshot " + utc(frame.snapshot_time) + " mysql_tessel " + field(frame.tessel_status) +
           " mode " + field(frame.tessel_mode) + " accounts " +
           std::to_string(frame.accounts.size()) + " near_limit " +
           std::to_string(frame.near_limit) + " restricted " + std::to_string(frame.restricted);
  }
  for (const std::string& failure : shown.failures)
    out += "\n# failed: " + to_utf8(safe_text(failure));
  out += "\nUSER DOMAIN RESELLER UID";
  for (const Column c : kFigureColumns) {
    std::string name = to_utf8(title(c));
    if (name.back() == '%') name.pop_back();
    out += " " + name + " " + name + "_LIMIT";
  }
  out += " RESTRICTED\n";
  if (!shown.frame) return out;
  for (const gather::TopUser& a : shown.frame->accounts) {
    out += field(a.username) + " " + field(a.domain) + " " + field(a.reseller) + " " +
           std::to_string(a.id);
    for (const Column c : kFigureColumns) {
      out += " " + number(usage_of(a, c)) + " " + number(limit_of(a, c));
    }
    out += a.restricted ? " 1\n" : " 0\n";
  }
  return out;
}

}  // namespace vt::live
