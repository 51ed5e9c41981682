// The login id range from "/etc/login.defs".
#include <string>

#include "base/file.h"
#include "base/text.h"
#include "base/utf8.h"
#include "core/identity.h"

namespace vt::core {

constexpr const char* kLoginDefsPath = "/etc/login.defs";

std::uint32_t login_defs_value(std::string_view text, std::string_view name,
                               std::uint32_t fallback) {
  for (const std::string_view line : base::split_lines(text)) {
    const std::string_view trimmed = base::trim(line);
    if (!trimmed.starts_with(name)) continue;
    const auto fields = base::split_whitespace(trimmed);
    if (fields.size() < 2) continue;
    if (const auto value = base::parse_decimal<std::uint32_t>(fields[1])) return *value;
  }
  return fallback;
}

LoginRange login_range() {
  const auto text = base::read_file(kLoginDefsPath, base::kSmallFileMaxBytes);
  if (!text || !base::is_utf8(*text)) return {};
  return {.min = login_defs_value(*text, "UID_MIN", kDefaultUidMin),
          .max = login_defs_value(*text, "UID_MAX", kDefaultUidMax)};
}

}  // namespace vt::core
