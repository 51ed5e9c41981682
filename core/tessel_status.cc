#include "core/tessel_status.h"

#include <sys/stat.h>

#include "base/error.h"
#include "base/json_decode.h"
#include "base/process.h"
#include "base/text.h"
#include "base/utf8.h"

namespace vt::core {
namespace {

constexpr std::string_view kSocketFailure = "can't connect to socket";

bool is_regular_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

TesselStatus error_status(std::string warning, std::optional<nlohmann::json> context) {
  return {.status = "error", .warning = std::move(warning), .context = std::move(context)};
}

TesselStatus socket_failure() {
  return error_status(
      "%(util)s is disabled in the system. Please, run \"%(command)s\" to start the service",
      nlohmann::json{{"command", "service db_tessel restart"}, {"util", "MySQL tessel"}});
}

}  // namespace

TesselStatus tessel_service_status(const std::string& tool, bool machine_root) {
  if (!is_regular_file(tool)) return {.status = "disabled"};
  // Only root of the machine itself may ask the service; everyone else takes
  // an installed service for a working one.
  if (!machine_root) return {.status = "enabled"};

  // No time limit, on purpose: by the command's contract a hung tool hangs it.
  const auto run = base::run_process(tool, {"list"});
  if (!run) return error_status(base::os_error_text(run.error().errnum), std::nullopt);
  if (base::decode_lossy(run->out).contains(kSocketFailure)) return socket_failure();
  const std::string err = base::decode_lossy(run->err);
  if (run->status == 0 && err.empty()) return {.status = "enabled"};
  return error_status("tslctl error: %(output)s",
                      nlohmann::json{{"output", std::string(base::trim(err))}});
}

std::expected<std::string, std::string> ask_tessel_mode(const std::string& helper) {
  // No time limit, on purpose: by the command's contract a hung helper hangs it.
  const auto run = base::run_process(helper, {"tessel-mode"});
  if (!run) return std::unexpected(base::os_error_text(run.error().errnum));
  if (run->status != 0) return std::unexpected(base::status_text(run->status));
  return tessel_mode_from_answer(run->out);
}

std::string query_tessel_mode(const std::string& helper) {
  return ask_tessel_mode(helper).value_or("none");
}

std::string tessel_mode_from_answer(std::string_view answer) {
  const std::string text = base::decode_lossy(answer);
  const std::string_view trimmed = base::trim(text);
  if (trimmed.starts_with('"')) {
    if (auto quoted = base::json::decode_json<std::string>(std::string(trimmed)))
      return std::move(*quoted);
  }
  return std::string(trimmed);
}

}  // namespace vt::core
