#include "gather/snapshot.h"

#include <cerrno>
#include <chrono>

#include "base/error.h"
#include "base/file.h"
#include "base/json_decode.h"
#include "base/json_stream.h"
#include "base/utf8.h"
#include "gather/sieve.h"

namespace vt::gather {
namespace {

namespace json = base::json;
using json::Presence::defaulted;
using json::Presence::optional;
using json::Presence::required;

// Every snapshot record also reads from an array of its field values, as the
// statistics service may save them that way.
constexpr json::Form kForm = json::Form::object_or_array;

constexpr auto kCpuUsage =
    json::record<CpuUsage>("CpuUsage", kForm, json::field<&CpuUsage::all>("all", required),
                           json::field<&CpuUsage::mysql>("mysql", defaulted));

constexpr auto kIoUsage =
    json::record<IoUsage>("IoUsage", kForm, json::field<&IoUsage::all>("all", required),
                          json::field<&IoUsage::mysql>("mysql", defaulted));

constexpr auto kTopUsage = json::record<TopUsage>(
    "TopUsage", kForm, json::field<&TopUsage::cpu>("cpu", required, kCpuUsage),
    json::field<&TopUsage::io>("io", required, kIoUsage),
    json::field<&TopUsage::iops>("iops", required), json::field<&TopUsage::ep>("ep", required),
    json::field<&TopUsage::mem>("mem", required), json::field<&TopUsage::pno>("pno", required));

// Limits share the usage record's C++ type but not its name.
constexpr auto kTopLimits = json::renamed(kTopUsage, "TopLimits");

constexpr auto kRestriction = json::record<Restriction>(
    "Restriction", kForm, json::field<&Restriction::time>("time", required),
    json::field<&Restriction::reason>("reason", required));

constexpr auto kDomainScalar = json::record<DomainScalar>(
    "DomainScalar", kForm, json::field<&DomainScalar::all>("all", required));

constexpr auto kDomainMetrics = json::record<DomainMetrics>(
    "DomainMetrics", kForm, json::field<&DomainMetrics::cpu>("cpu", required, kDomainScalar),
    json::field<&DomainMetrics::io>("io", required, kDomainScalar),
    json::field<&DomainMetrics::iops>("iops", required),
    json::field<&DomainMetrics::ep>("ep", required),
    json::field<&DomainMetrics::mem>("mem", required),
    json::field<&DomainMetrics::pno>("pno", required));

constexpr auto kTopDomain =
    json::record<TopDomain>("TopDomain", kForm, json::field<&TopDomain::id>("id", required),
                            json::field<&TopDomain::name>("name", optional),
                            json::field<&TopDomain::docroot>("docroot", defaulted),
                            json::field<&TopDomain::usage>("usage", required, kDomainMetrics),
                            json::field<&TopDomain::limit>("limit", required, kDomainMetrics));

constexpr auto kTopUser =
    json::record<TopUser>("TopUser", kForm, json::field<&TopUser::id>("id", required),
                          json::field<&TopUser::username>("username", defaulted),
                          json::field<&TopUser::domain>("domain", defaulted),
                          json::field<&TopUser::reseller>("reseller", defaulted),
                          json::field<&TopUser::usage>("usage", required, kTopUsage),
                          json::field<&TopUser::limit>("limit", required, kTopLimits),
                          json::field<&TopUser::restricted>("restricted", defaulted),
                          json::field<&TopUser::restriction>("restriction", optional, kRestriction),
                          json::field<&TopUser::domains>("domains", defaulted, kTopDomain));

constexpr auto kSavedTopData = json::record<SavedTopData>(
    "SavedTopData", kForm, json::field<&SavedTopData::timestamp>("timestamp", defaulted),
    json::field<&SavedTopData::users>("users", defaulted, kTopUser),
    json::field<&SavedTopData::resellers>("resellers", defaulted));

// The snapshot as read through a sieve: the same table under the same name.
struct SievedTopData {
  double timestamp = 0.0;
  json::SievedList<TopUser, AccountSieve> users;
  std::vector<nlohmann::json> resellers;
};

constexpr auto kSievedTopData = json::record<SievedTopData>(
    "SavedTopData", kForm, json::field<&SievedTopData::timestamp>("timestamp", defaulted),
    json::field<&SievedTopData::users>("users", defaulted, kTopUser),
    json::field<&SievedTopData::resellers>("resellers", defaulted));

}  // namespace

std::expected<SavedTopData, std::string> decode_snapshot(const std::string& text) {
  return json::decode_json<SavedTopData>(text, kSavedTopData);
}

std::expected<SavedTopData, std::string> decode_snapshot(const std::string& text,
                                                         AccountSieve& sieve) {
  SievedTopData start;
  start.users.sieve = sieve;
  start.users.keeps_most = sieve.allowed == nullptr;
  auto sieved = json::decode_json<SievedTopData>(text, kSievedTopData, start);
  if (!sieved) return std::unexpected(std::move(sieved.error()));
  sieve = std::move(sieved->users.sieve);
  return SavedTopData{.timestamp = sieved->timestamp,
                      .users = std::move(sieved->users.kept),
                      .resellers = std::move(sieved->resellers)};
}

std::optional<SavedTopData> stream_snapshot(const json::ReadSome& read, AccountSieve* sieve,
                                            std::size_t chunk, std::size_t max_size,
                                            std::size_t size_hint) {
  const json::StreamLimits limits{.chunk = chunk, .max_size = max_size, .size_hint = size_hint};
  if (sieve == nullptr) return json::decode_streamed(read, kSavedTopData, "users", {}, limits);
  SievedTopData start;
  start.users.sieve = *sieve;
  start.users.keeps_most = sieve->allowed == nullptr;
  auto sieved = json::decode_streamed(read, kSievedTopData, "users", start, limits);
  if (!sieved) return std::nullopt;
  *sieve = std::move(sieved->users.sieve);
  return SavedTopData{.timestamp = sieved->timestamp,
                      .users = std::move(sieved->users.kept),
                      .resellers = std::move(sieved->resellers)};
}

std::expected<LoadedSnapshot, base::Error> load_snapshot(const std::string& path, double now,
                                                         AccountSieve* sieve,
                                                         std::size_t max_size) {
  auto file = base::open_file(path, max_size);
  std::expected<std::string, base::FileError> text;
  if (file) {
    const int fd = file->fd.get();
    auto streamed = stream_snapshot(
        [fd](char* buffer, std::size_t size) { return base::read_some(fd, buffer, size); }, sieve,
        kSnapshotChunk, max_size, static_cast<std::size_t>(file->size));
    if (streamed) return LoadedSnapshot{std::move(*streamed), {}};
    text = base::read_from_start(*file, max_size);
  } else {
    text = std::unexpected(file.error());
  }
  std::string cause;
  if (!text && text.error().errnum == EFBIG) {
    cause = "file size " + std::to_string(text.error().size) + " bytes is over the limit of " +
            std::to_string(max_size) + " bytes";
  } else if (!text) {
    LoadedSnapshot empty;
    empty.data.timestamp = now;
    empty.unread = "Cannot read " + path + ": " + base::os_error_text(text.error().errnum);
    return empty;
  } else {
    auto snapshot = sieve != nullptr ? decode_snapshot(*text, *sieve) : decode_snapshot(*text);
    if (snapshot) return LoadedSnapshot{std::move(*snapshot), {}};
    // Only UTF-8 decodes; a text that is not is refused as such, wherever
    // the decoder stopped.
    if (const auto bad = base::check_utf8(*text)) {
      cause = base::describe(*bad) + json::at_position(*text, bad->valid_up_to + 1);
    } else {
      cause = std::move(snapshot.error());
    }
  }
  return std::unexpected(base::Error{"Failed to parse " + path, {std::move(cause)}});
}

double epoch_seconds_now() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<double>(std::chrono::floor<std::chrono::seconds>(since_epoch).count());
}

}  // namespace vt::gather
