#include "core/tsltop.h"

#include "base/error.h"
#include "base/file.h"
#include "base/json_decode.h"
#include "base/process.h"

namespace vt::core {
namespace {

namespace json = base::json;
using json::Presence::defaulted;

// The largest data file read: several times the size of one that lists a
// million accounts.
constexpr std::size_t kTsltopMaxBytes = std::size_t{1} << 30;

// The snapshot file's document.
struct TslTopData {
  DbTslStatsByName dbtsl_data;
};

constexpr auto kDbTslStats = json::record<DbTslStats>(
    "DbTslStats", json::Form::object, json::field<&DbTslStats::cpu>("cpu", defaulted),
    json::field<&DbTslStats::io>("io", defaulted),
    json::field<&DbTslStats::cause_of_restrict>("cause_of_restrict", defaulted),
    json::field<&DbTslStats::time_of_restrict>("time_of_restrict", defaulted));

constexpr auto kTslTopData = json::record<TslTopData>(
    "TslTopData", json::Form::object,
    json::field<&TslTopData::dbtsl_data>("dbtsl_data", defaulted, kDbTslStats));

}  // namespace

std::expected<DbTslStatsByName, std::string> load_tsltop_file(const std::string& path) {
  const auto text = base::read_file(path, kTsltopMaxBytes);
  if (!text) {
    return std::unexpected("Cannot read " + path + ": " + base::os_error_text(text.error().errnum));
  }
  auto data = json::decode_json<TslTopData>(*text, kTslTopData);
  if (!data) return std::unexpected("Failed to parse " + path + ": " + data.error());
  return std::move(data->dbtsl_data);
}

std::expected<void, std::string> merge_tsltop_command(DbTslStatsByName& stats,
                                                      const std::string& program) {
  // No time limit, on purpose: by the command's contract a hung tool hangs it.
  const auto run = base::run_process(program, {"-c"});
  if (!run) return std::unexpected(base::os_error_text(run.error().errnum));
  if (run->status != 0) return std::unexpected(base::status_text(run->status));
  merge_tsltop_output(stats, run->out);
  return {};
}

}  // namespace vt::core
