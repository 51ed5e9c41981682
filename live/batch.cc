#include "live/batch.h"

#include "base/format.h"
#include "base/safe_text.h"
#include "live/table.h"
#include "live/text.h"

namespace vt::live {

std::string batch_table(const Shown& shown, std::uint64_t iteration, double now) {
  std::string out = "# vorlane-top-live iteration " + std::to_string(iteration) + " time " +
                    base::utc_time(now) + " statistics " + safe_field(shown.stats_state);
  if (shown.frame) {
    const Frame& frame = *shown.frame;
    out += " snapshot " + base::utc_time(frame.snapshot_time) + " mysql_tessel " +
           safe_field(frame.tessel_status) + " mode " + safe_field(frame.tessel_mode) +
           " accounts " + std::to_string(frame.accounts.size()) + " near_limit " +
           std::to_string(frame.near_limit) + " restricted " + std::to_string(frame.restricted);
  }
  for (const std::string& failure : shown.failures)
    out += "\n# failed: " + base::safe_text(failure, {.utf8 = utf8_locale()});
  out += "\n";
  for (const Column c : all_columns()) {
    if (c.kind == Column::Kind::figure) {
      out += std::string(batch_title(c)) + " " + std::string(batch_title(c)) + "_LIMIT ";
    } else {
      out += std::string(batch_title(c)) + (c == kResellerColumn ? " UID " : " ");
    }
  }
  out.back() = '\n';
  if (!shown.frame) return out;
  for (const gather::TopUser& a : shown.frame->accounts) {
    out += safe_field(a.username) + " " + safe_field(a.domain) + " " + safe_field(a.reseller) +
           " " + std::to_string(a.id);
    for (const Column c : figure_columns()) {
      out += " " + base::exact_figure(usage_of(a, c)) + " " + base::exact_figure(limit_of(a, c));
    }
    out += a.restricted ? " 1\n" : " 0\n";
  }
  return out;
}

}  // namespace vt::live
