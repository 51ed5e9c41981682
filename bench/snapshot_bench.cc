// Cost of decoding the usage snapshot of a large server: 10,000 accounts,
// about 6 MB of JSON, as the statistics service writes it.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdlib>
#include <random>
#include <string>

#include "base/json_stream.h"
#include "gather/snapshot.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr int kUsers = 10000;

// A figure with the many decimals a measured rate has.
double measured(std::mt19937& random, double scale) {
  return std::uniform_real_distribution<double>(0.0, scale)(random);
}

Json metrics(std::mt19937& random, bool limits) {
  if (limits) {
    return Json{{"cpu", {{"all", 100.0}, {"mysql", 0.0}}},
                {"io", {{"all", 10485760.0}, {"mysql", 0.0}}},
                {"iops", 1024.0},
                {"ep", 20.0},
                {"mem", 1073741824.0},
                {"pno", 100.0}};
  }
  return Json{{"cpu", {{"all", measured(random, 100.0)}, {"mysql", measured(random, 10.0)}}},
              {"io", {{"all", measured(random, 1e7)}, {"mysql", measured(random, 1e5)}}},
              {"iops", measured(random, 500.0)},
              {"ep", static_cast<double>(random() % 20)},
              {"mem", static_cast<double>(random() % 1073741824)},
              {"pno", static_cast<double>(random() % 100)}};
}

Json domain_metrics(std::mt19937& random) {
  return Json{{"cpu", {{"all", measured(random, 50.0)}}},
              {"io", {{"all", measured(random, 1e6)}}},
              {"iops", measured(random, 100.0)},
              {"ep", static_cast<double>(random() % 10)},
              {"mem", static_cast<double>(random() % 268435456)},
              {"pno", static_cast<double>(random() % 50)}};
}

Json user(std::mt19937& random, int i) {
  const std::string name = "user" + std::to_string(i);
  Json record{{"id", 10000 + i},
              {"username", name},
              {"domain", name + ".example.com"},
              {"reseller", i % 7 == 0 ? "" : "reseller" + std::to_string(i % 7)},
              {"usage", metrics(random, false)},
              {"limit", metrics(random, true)},
              {"restricted", i % 20 == 0}};
  if (i % 20 == 0) {
    record["restriction"] = {{"time", 1717000000 + i}, {"reason", "cpu limit exceeded"}};
  } else if (i % 2 == 0) {
    record["restriction"] = nullptr;
  }
  Json domains = Json::array();
  if (i % 4 == 0) {
    for (int d = 0; d < 2; ++d) {
      const std::string host = "site" + std::to_string(d) + "." + name + ".example.com";
      domains.push_back({{"id", i * 10 + d},
                         {"name", host},
                         {"docroot", "/home/" + name + "/public_html/" + host},
                         {"usage", domain_metrics(random)},
                         {"limit", domain_metrics(random)}});
    }
  }
  record["domains"] = std::move(domains);
  // Fields this program does not read.
  record["version"] = 8;
  if (i % 3 == 0) {
    record["faults"] = {{"cpu", random() % 5}, {"history", {1, nullptr, {{"ep", 2}}}}};
  }
  return record;
}

// A snapshot text with `users` accounts, always the same for the same count.
std::string make_snapshot_text(int users) {
  std::mt19937 random(20240601);
  Json users_json = Json::array();
  for (int i = 0; i < users; ++i) users_json.push_back(user(random, i));
  Json resellers = Json::array();
  for (int r = 1; r < 7; ++r) {
    resellers.push_back({{"name", "reseller" + std::to_string(r)}, {"id", 500 + r}});
  }
  const Json snapshot{
      {"timestamp", 1717171717.25}, {"users", std::move(users_json)}, {"resellers", resellers}};
  return snapshot.dump();
}

}  // namespace

static void BM_DecodeSnapshot(benchmark::State& state) {
  // Benchmark runs the function several times: generate the text only once.
  static const std::string text = make_snapshot_text(kUsers);
  for (auto _ : state) {
    auto snapshot = vt::gather::decode_snapshot(text);
    if (!snapshot) {
      state.SkipWithError(snapshot.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(snapshot->users.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["text_bytes"] = static_cast<double>(text.size());
  // bytes_per_second counts in binary units; this is decimal megabytes.
  state.counters["MB_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * text.size()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeSnapshot)->Unit(benchmark::kMillisecond);

// The same text streamed from memory a chunk at a time, as a run streams
// the file: the decode's own cost, without the reads.
static void BM_StreamSnapshot(benchmark::State& state) {
  static const std::string text = make_snapshot_text(kUsers);
  for (auto _ : state) {
    auto snapshot = vt::gather::stream_snapshot(vt::base::json::text_reader(text), nullptr,
                                                vt::gather::kSnapshotChunk,
                                                vt::gather::kSnapshotMaxBytes, text.size());
    if (!snapshot) {
      state.SkipWithError("the stream left the text to the whole decode");
      break;
    }
    benchmark::DoNotOptimize(snapshot->users.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_StreamSnapshot)->Unit(benchmark::kMillisecond);
