// Cost of reading a large file whole, as the snapshot of a big server is.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "base/file.h"

namespace {

void BM_ReadFile(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0)) << 20;
  char path[] = "/tmp/vt-bench-file.XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) {
    state.SkipWithError("cannot create a file");
    return;
  }
  ::close(fd);
  std::ofstream(path, std::ios::binary) << std::string(size, 'x');
  for (auto _ : state) {
    const auto text = vt::base::read_file(path, size);
    if (!text) state.SkipWithError("cannot read the file");
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  ::unlink(path);
}
BENCHMARK(BM_ReadFile)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond);

}  // namespace
