#pragma once
// The usage snapshot that the statistics service saves: its records, how
// they decode, and how the file is loaded.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

namespace vt::gather {

inline constexpr const char* kSnapshotPath = "/var/kob/vorlane_top.json";

struct CpuUsage {
  double all = 0.0;
  nlohmann::json mysql = 0.0;  // kept as the service wrote it
};

struct IoUsage {
  double all = 0.0;
  nlohmann::json mysql = 0.0;
};

struct TopUsage {
  CpuUsage cpu;
  IoUsage io;
  double iops = 0.0;
  double ep = 0.0;
  double mem = 0.0;
  double pno = 0.0;
};
using TopLimits = TopUsage;

struct Restriction {
  std::int64_t time = 0;
  std::string reason;
};

struct DomainScalar {
  double all = 0.0;
};

struct DomainMetrics {
  DomainScalar cpu;
  DomainScalar io;
  double iops = 0.0;
  double ep = 0.0;
  double mem = 0.0;
  double pno = 0.0;
};

struct TopDomain {
  std::uint32_t id = 0;
  std::optional<std::string> name;
  std::string docroot;
  DomainMetrics usage;
  DomainMetrics limit;
};

struct TopUser {
  std::uint32_t id = 0;
  std::string username;
  std::string domain;
  std::string reseller;
  TopUsage usage;
  TopLimits limit;
  bool restricted = false;
  std::optional<Restriction> restriction;
  std::vector<TopDomain> domains;
};

struct SavedTopData {
  double timestamp = 0.0;
  std::vector<TopUser> users;
  std::vector<nlohmann::json> resellers;  // kept as the service wrote them
};

/// Decodes the text of a snapshot. The error is the JSON reader's description
/// of the fault with its line and column.
std::expected<SavedTopData, std::string> decode_snapshot(const std::string& text);

struct AccountSieve;

/// The same, keeping only the users that `sieve` keeps (gather/sieve.h); it
/// holds its notes of them afterwards.
std::expected<SavedTopData, std::string> decode_snapshot(const std::string& text,
                                                         AccountSieve& sieve);

/// The bytes read from the snapshot file at a time.
inline constexpr std::size_t kSnapshotChunk = std::size_t{1} << 20;

/// Decodes a snapshot as decode_snapshot does, through `sieve` when given,
/// from a text that `read` gives a chunk of `chunk` bytes at a time
/// (base/json_stream.h), never holding it whole: the same snapshot, or
/// nullopt where the text must be decoded whole (a fault, which only the
/// whole decode words, a failed read, or a rare form). `size_hint` is the
/// text's expected size. The sieve is changed only when a snapshot is
/// returned.
std::optional<SavedTopData> stream_snapshot(
    const std::function<std::expected<std::size_t, int>(char* buffer, std::size_t size)>& read,
    AccountSieve* sieve, std::size_t chunk, std::size_t max_size, std::size_t size_hint);

/// The largest snapshot read: several times the size of one that lists a
/// million accounts.
inline constexpr std::size_t kSnapshotMaxBytes = std::size_t{2} << 30;

/// A loaded snapshot, and why its file could not be read when it could not.
struct LoadedSnapshot {
  SavedTopData data;
  std::string unread;  ///< "Cannot read PATH: ..."; empty when the file was read
};

/// The current time in whole seconds since the Unix epoch (the fraction of
/// the second dropped), as the documents carry it and as a missing
/// snapshot's time.
double epoch_seconds_now();

/// Loads the snapshot at `path`. A file that cannot be read (also: not a
/// regular file) gives the empty snapshot stamped `now`, with the reason in
/// `unread`; a file that cannot be decoded (including one that is not
/// UTF-8) or that is larger than `max_size` gives "Failed to parse {path}"
/// with the reason as its cause. With a `sieve`, the file is decoded through
/// it.
///
/// The file is opened once and streamed (stream_snapshot); when the stream
/// cannot take it, the same descriptor is read again from its start and
/// decoded whole, which words a fault. A file replaced by a rename while it
/// is read is thus read as it was; one written over in place may be read
/// part old and part new, and if that reading does not decode, the second
/// reading decides.
std::expected<LoadedSnapshot, base::Error> load_snapshot(const std::string& path, double now,
                                                         AccountSieve* sieve = nullptr,
                                                         std::size_t max_size = kSnapshotMaxBytes);

}  // namespace vt::gather
