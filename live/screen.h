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

/// The terminal of standard input and output, made ready for the view.
struct Terminal {
  void* screen = nullptr;  ///< ncurses' SCREEN
};

/// Opens the terminal, before any other thread runs; fails before the
/// screen is touched when the terminal cannot show the view. Root's terminal
/// description comes from the system's terminfo folders only.
std::expected<Terminal, std::string> open_terminal();

/// Runs the view on `terminal` until quit, a signal or `iterations`
/// refreshes, with `refresher` already started, and gives the terminal back
/// as it was.
ViewEnd run_view(Refresher& refresher, const ViewSettings& settings, Terminal& terminal);

/// Installs the handlers that end the view at base::ending_signals().
void catch_ending_signals();

}  // namespace vt::live
