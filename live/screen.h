#pragma once
// The live view in a terminal, through ncurses: the header, the table, the
// keys, and the terminal given back whatever ends the view.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "live/refresher.h"
#include "live/table.h"

namespace vt::live {

struct ViewSettings {
  bool root = false;
  bool mysql = true;  ///< the MySQL columns, unless --hide-mysql
  Column first_sort = figure_column(gather::Usage::cpu);
  double delay = 5;
  std::optional<std::uint64_t> iterations;  ///< refreshes to show, then end
};

/// How the view ended.
struct ViewEnd {
  int signal = 0;  ///< the signal that ended it, to end by; 0: quit (q, Ctrl-C)
};

/// Runs the view on the terminal of standard input and output until quit,
/// a signal or `iterations` refreshes, with `refresher` already started.
/// Fails before the screen is touched when the terminal cannot show it.
std::expected<ViewEnd, std::string> run_view(Refresher& refresher, const ViewSettings& settings);

/// Installs the handlers that end the view at base::ending_signals().
void catch_ending_signals();

}  // namespace vt::live
