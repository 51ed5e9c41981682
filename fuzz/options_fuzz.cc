// The command line: the input, split at NUL bytes, is the argument list
// after the program's path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "report/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = vt::fuzz::as_text(data, size);
  std::vector<std::string> args = {"vorlane-top"};
  if (!text.empty()) {
    for (std::size_t start = 0;;) {
      const std::size_t end = text.find('\0', start);
      args.emplace_back(text.substr(start, end == text.npos ? text.npos : end - start));
      if (end == text.npos) break;
      start = end + 1;
    }
  }
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);

  const auto cli = vt::report::parse_cli(static_cast<int>(args.size()), argv.data());
  if (!cli) {
    const vt::command::ParseExit& exit = cli.error();
    if (exit.status == 0 && (exit.out.empty() || !exit.err.empty())) std::abort();
    if (exit.status == 2 && (exit.err.empty() || !exit.out.empty())) std::abort();
    if (exit.status != 0 && exit.status != 2) std::abort();
  }
  return 0;
}
