#include "live/screen.h"

#define NCURSES_WIDECHAR 1
#include <ncursesw/curses.h>
#include <ncursesw/term.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <utility>
#include <vector>

#include "base/format.h"
#include "base/process.h"
#include "live/text.h"

namespace vt::live {
namespace {

volatile std::sig_atomic_t g_ending_signal = 0;

void on_ending_signal(int signal) {
  g_ending_signal = signal;
}

enum Pair : short { kNearPair = 1, kOverPair = 2 };

enum class Mode { table, detail, help, filter, delay };

std::wstring age_of(double now, double then) {
  return safe_text(base::age_text(now, then));
}

std::wstring clock_text(double epoch, const char* format) {
  return safe_text(base::local_time(epoch, format));
}

std::wstring host_name() {
  char buffer[256] = {};
  ::gethostname(buffer, sizeof buffer - 1);
  return safe_text(buffer);
}

// What the view holds between two keys.
struct State {
  Mode mode = Mode::table;
  Column sort = figure_column(gather::Usage::cpu);
  bool natural = true;  // the order of --order-by, as the JSON report has it
  bool reverse = false;
  bool mysql = true;
  bool paused = false;
  double delay = 5;
  std::wstring filter;
  std::wstring input;
  std::wstring note;          // a one-line answer to the last key
  bool note_refresh = false;  // the note says "refreshing", until a refresh after note_at ends
  double note_at = 0;
  int selected = 0;
  int top = 0;
  std::vector<const gather::TopUser*> rows;
  // The selected account, which the selection follows when the rows change.
  std::optional<std::pair<std::int64_t, std::string>> selected_account;
};

// What the rows were made from: they are made again only when it changes.
struct RowsMadeOf {
  std::shared_ptr<const Frame> frame;
  std::wstring filter;
  Column sort = figure_column(gather::Usage::cpu);
  bool natural = true;
  bool reverse = false;
  bool operator==(const RowsMadeOf&) const = default;
};

class View {
 public:
  View(Refresher& refresher, const ViewSettings& settings)
      : refresher_(refresher), settings_(settings) {
    state_.sort = settings.first_sort;
    state_.mysql = settings.mysql;
    state_.delay = settings.delay;
    colours_ = has_colors() && std::getenv("NO_COLOR") == nullptr;
    if (colours_) {
      start_color();
      use_default_colors();
      init_pair(kNearPair, COLOR_YELLOW, -1);
      init_pair(kOverPair, COLOR_RED, -1);
    }
  }

  std::optional<ViewEnd> loop() {
    std::uint64_t drawn = ~std::uint64_t{0};
    std::uint64_t refreshes = 0;
    std::uint64_t reads = 0;
    bool dirty = true;
    while (true) {
      if (g_ending_signal != 0) {
        const int signal = g_ending_signal;
        return ViewEnd{signal == SIGINT ? 0 : signal};
      }
      shown_ = refresher_.shown();
      if (shown_.steps != reads) {
        reads = shown_.steps;
        ++refreshes;
        dirty = true;
      }
      if (settings_.iterations && refreshes > *settings_.iterations) return ViewEnd{};
      if (dirty || shown_.generation != drawn) {
        if (made_of() != rows_made_of_) rebuild_rows();
        draw();
        drawn = shown_.generation;
        dirty = false;
      }
      wint_t key = 0;
      const int got = get_wch(&key);
      if (got == ERR) {
        // The clock and the ages in the header move on.
        if (std::time(nullptr) != last_draw_) dirty = true;
        continue;
      }
      dirty = true;
      if (!handle(got, key)) return ViewEnd{};
      remember_selection();
    }
  }

 private:
  // Applies a key; false when it quits.
  bool handle(int got, wint_t key) {
    state_.note.clear();
    state_.note_refresh = false;
    if (got == KEY_CODE_YES && key == KEY_RESIZE) return true;
    if (got != KEY_CODE_YES && key == 12) {  // Ctrl-L: whatever else wrote on the terminal goes
      clearok(curscr, TRUE);
      return true;
    }
    if (state_.mode == Mode::filter || state_.mode == Mode::delay) return edit(got, key);
    if (state_.mode != Mode::table) {
      // Any key leaves the detail and the help, q too.
      state_.mode = Mode::table;
      return true;
    }
    const int page = std::max(1, LINES - kFirstRow - 1);
    if (got == KEY_CODE_YES) {
      switch (key) {
        case KEY_UP:
          --state_.selected;
          break;
        case KEY_DOWN:
          ++state_.selected;
          break;
        case KEY_PPAGE:
          state_.selected -= page;
          break;
        case KEY_NPAGE:
          state_.selected += page;
          break;
        case KEY_HOME:
          state_.selected = 0;
          break;
        case KEY_END:
          state_.selected = static_cast<int>(state_.rows.size()) - 1;
          break;
        case KEY_ENTER:
          open_detail();
          break;
        default:
          break;
      }
      return true;
    }
    switch (key) {
      case L'q':
        return false;
      case L'<':
      case L'>':
        step_sort(key == L'>' ? 1 : -1);
        break;
      case L'R':
        state_.reverse = !state_.reverse;
        state_.natural = false;
        break;
      case L'/':
        state_.mode = Mode::filter;
        state_.input = state_.filter;
        break;
      case 27:  // Esc clears the filter
        state_.filter.clear();
        break;
      case L'\n':
      case L'\r':
        open_detail();
        break;
      case L'm':
        state_.mysql = !state_.mysql && settings_.mysql;
        if (!settings_.mysql) state_.note = L"MySQL columns hidden by --hide-mysql";
        break;
      case L'd':
        state_.mode = Mode::delay;
        state_.input.clear();
        break;
      case L' ':
        refresher_.refresh_now();
        state_.note = L"refreshing";
        state_.note_refresh = true;
        state_.note_at = epoch_now();
        break;
      case L'p':
        state_.paused = !state_.paused;
        refresher_.set_paused(state_.paused);
        break;
      case L'h':
      case L'?':
        state_.mode = Mode::help;
        break;
      default:
        break;
    }
    return true;
  }

  // A line being typed at the prompt: the filter or the delay.
  bool edit(int got, wint_t key) {
    if (got == KEY_CODE_YES && key == KEY_BACKSPACE) {
      if (!state_.input.empty()) state_.input.pop_back();
      return true;
    }
    if (got == KEY_CODE_YES && key != KEY_ENTER) return true;
    if (key == 27) {
      if (state_.mode == Mode::filter) state_.filter.clear();
      state_.mode = Mode::table;
    } else if (key == L'\n' || key == L'\r' || key == KEY_ENTER) {
      if (state_.mode == Mode::filter) {
        state_.filter = state_.input;
        state_.selected = 0;
        state_.selected_account.reset();
      } else {
        apply_delay();
      }
      state_.mode = Mode::table;
    } else if (key == 127 || key == 8) {
      if (!state_.input.empty()) state_.input.pop_back();
    } else if (key >= 0x20 && state_.input.size() < 200) {
      state_.input += static_cast<wchar_t>(key);
    }
    return true;
  }

  void apply_delay() {
    const std::string text = to_utf8(state_.input);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value >= 0.1) ||
        value > 86400) {
      state_.note = L"the delay is a number of seconds from 0.1 to 86400";
      return;
    }
    state_.delay = value;
    refresher_.set_delay(value);
  }

  void step_sort(int direction) {
    std::vector<Column> placed;
    for (const Column c : sort_columns()) {
      if (mysql_column(c) && !state_.mysql) continue;
      placed.push_back(c);
    }
    auto at = std::find(placed.begin(), placed.end(), state_.sort);
    auto index = at == placed.end() ? 0 : at - placed.begin();
    const auto n = static_cast<std::ptrdiff_t>(placed.size());
    index = ((index + direction) % n + n) % n;
    state_.sort = placed[static_cast<std::size_t>(index)];
    state_.natural = false;
  }

  void open_detail() {
    if (!state_.rows.empty()) state_.mode = Mode::detail;
  }

  RowsMadeOf made_of() const {
    return {shown_.frame, state_.filter, state_.sort, state_.natural, state_.reverse};
  }

  // The rows in the order asked for, and the selection on its account.
  void rebuild_rows() {
    rows_made_of_ = made_of();
    state_.rows.clear();
    if (shown_.frame) {
      const std::string filter = to_utf8(state_.filter);
      for (const gather::TopUser& account : shown_.frame->accounts) {
        if (!filter.empty() && account.username.find(filter) == std::string::npos &&
            account.domain.find(filter) == std::string::npos) {
          continue;
        }
        state_.rows.push_back(&account);
      }
    }
    if (!state_.natural) {
      std::stable_sort(state_.rows.begin(), state_.rows.end(),
                       [&](const gather::TopUser* a, const gather::TopUser* b) {
                         return sorts_before(*a, *b, state_.sort, state_.reverse);
                       });
    } else if (state_.reverse) {
      std::reverse(state_.rows.begin(), state_.rows.end());
    }
    if (const auto& kept = state_.selected_account) {
      const auto at = std::find_if(state_.rows.begin(), state_.rows.end(), [&](const auto* a) {
        return a->id == kept->first && a->username == kept->second;
      });
      if (at != state_.rows.end()) state_.selected = static_cast<int>(at - state_.rows.begin());
    }
    remember_selection();
  }

  // Keeps the selection within the rows and notes its account.
  void remember_selection() {
    const int last = static_cast<int>(state_.rows.size()) - 1;
    state_.selected = std::clamp(state_.selected, 0, std::max(0, last));
    if (state_.rows.empty()) return;
    const gather::TopUser& a = *state_.rows[static_cast<std::size_t>(state_.selected)];
    state_.selected_account = {a.id, a.username};
  }

  void put(int row, int col, std::wstring_view text, attr_t attributes = A_NORMAL, short pair = 0) {
    if (row < 0 || row >= LINES || col >= COLS) return;
    const std::wstring fitted = fit(text, COLS - col);
    attr_set(attributes, pair, nullptr);
    mvaddwstr(row, col, fitted.c_str());
    attr_set(A_NORMAL, 0, nullptr);
  }

  void draw_header() {
    const double now = epoch_now();
    std::wstring line = host_name() + L"  " + clock_text(now, "%H:%M:%S");
    if (shown_.frame && shown_.frame->snapshot_read) {
      line += L"  snapshot " + age_of(now, shown_.frame->snapshot_time);
    } else if (shown_.frame) {
      line += L"  snapshot unread";
    }
    line += L"  stats " + safe_text(shown_.stats_state);
    if (shown_.frame) {
      line += L"  MySQL " + safe_text(shown_.frame->tessel_status) + L" (" +
              safe_text(shown_.frame->tessel_mode) + L")";
    }
    put(0, 0, line, A_BOLD);

    std::wstring counts;
    if (state_.paused) counts += L"PAUSED  ";
    if (shown_.busy_since)
      counts += L"refreshing " + safe_text(base::duration_text(now - *shown_.busy_since)) + L"  ";
    if (shown_.frame) {
      counts += std::to_wstring(state_.rows.size()) + L" of " +
                std::to_wstring(shown_.frame->accounts.size()) + L" accounts  " +
                std::to_wstring(shown_.frame->near_limit) + L" at 90%+  " +
                std::to_wstring(shown_.frame->restricted) + L" restricted";
    } else if (shown_.stats_state == "running") {
      counts += L"reading the snapshot...";
    } else {
      counts += L"nothing read while the statistics service is not running";
    }
    if (shown_.names_at > 0) counts += L"  names " + age_of(now, shown_.names_at);
    counts += L"  every " + safe_text(base::compact_figure(state_.delay)) + L"s";
    put(1, 0, counts);

    std::wstring third;
    if (state_.mode == Mode::filter) {
      third = L"filter (user or domain, Enter applies, Esc clears): " + state_.input;
    } else if (state_.mode == Mode::delay) {
      third = L"delay in seconds (Enter applies, Esc keeps it): " + state_.input;
    } else if (!shown_.failures.empty()) {
      third = L"failed: " + safe_text(shown_.failures.front());
      if (shown_.failures.size() > 1)
        third += L" (and " + std::to_wstring(shown_.failures.size() - 1) + L" more)";
    } else if (!state_.note.empty() && !(state_.note_refresh && !shown_.busy_since &&
                                         shown_.refreshed_at > state_.note_at)) {
      third = state_.note;
    } else {
      third = L"sort " + std::wstring(title(state_.sort)) +
              (state_.natural   ? L" (--order-by)"
               : state_.reverse ? L" reversed"
                                : L"") +
              (state_.filter.empty() ? L"" : L"  filter " + safe_text(to_utf8(state_.filter))) +
              L"  h: help  q: quit";
    }
    put(2, 0, third, shown_.failures.empty() ? A_NORMAL : A_BOLD,
        shown_.failures.empty() || !colours_ ? 0 : kOverPair);
  }

  static constexpr int kFirstRow = 4;

  void draw_table() {
    const std::vector<Placed> placed =
        layout(COLS, {.root = settings_.root, .mysql = state_.mysql});
    int col = 0;
    for (const Placed& p : placed) {
      const bool right = p.column.kind == Column::Kind::figure;
      std::wstring name(title(p.column));
      if (p.column == state_.sort && !state_.natural) name += state_.reverse ? L"^" : L"v";
      const int width = p.width + (p.detail ? 15 : 0);
      put(kFirstRow - 1, col, fit(name, width, right), A_REVERSE);
      col += width + 1;
    }
    const int visible = std::max(1, LINES - kFirstRow);
    const int count = static_cast<int>(state_.rows.size());
    if (state_.selected < state_.top) state_.top = state_.selected;
    if (state_.selected >= state_.top + visible) state_.top = state_.selected - visible + 1;
    state_.top = std::clamp(state_.top, 0, std::max(0, count - visible));
    for (int r = 0; r < visible && state_.top + r < count; ++r) {
      const gather::TopUser& account = *state_.rows[static_cast<std::size_t>(state_.top + r)];
      const bool selected = state_.top + r == state_.selected;
      col = 0;
      for (const Placed& p : placed) {
        const bool right = p.column.kind == Column::Kind::figure;
        const int width = p.width + (p.detail ? 15 : 0);
        const Level level = cell_level(account, p.column);
        const short pair = !colours_ || level == Level::normal ? 0
                           : level == Level::near              ? kNearPair
                                                               : kOverPair;
        attr_t attributes = selected ? A_REVERSE : A_NORMAL;
        if (level == Level::over) attributes |= A_BOLD;
        put(kFirstRow + r, col, fit(cell(account, p), width, right), attributes, pair);
        col += width + 1;
      }
    }
  }

  void draw_detail() {
    const gather::TopUser& a = *state_.rows[static_cast<std::size_t>(state_.selected)];
    int row = kFirstRow - 1;
    // Names cut, so that a long one leaves the others on the screen.
    const auto name = [](const std::string& text) {
      const std::wstring shown = safe_text(text);
      return cells(shown) <= 40 ? shown : fit(shown, 40);
    };
    put(row++, 0,
        L"uid " + std::to_wstring(a.id) + L"  account " + name(a.username) + L"  domain " +
            name(a.domain) + L"  reseller " + name(a.reseller),
        A_BOLD);
    for (const Column c : figure_columns()) {
      if (mysql_column(c) && !state_.mysql) continue;
      put(row++, 2, fit(title(c), 8) + cell(a, {c, 6, true}));
    }
    if (a.restriction) {
      put(row++, 0,
          L"restricted in MySQL since " +
              clock_text(static_cast<double>(a.restriction->time), "%Y-%m-%d %H:%M:%S") + L": " +
              safe_text(a.restriction->reason),
          A_BOLD);
    } else {
      put(row++, 0, a.restricted ? L"restricted in MySQL" : L"not restricted in MySQL");
    }
    put(row++, 0, a.domains.empty() ? L"no per-domain usage" : L"domains (usage/limit):");
    for (const gather::TopDomain& d : a.domains) {
      const auto pair = [](double u, double l) { return compact(u) + L"/" + compact(l); };
      put(row++, 2,
          fit(safe_text(d.name.value_or("(no name)")), 30) + L" cpu " +
              pair(d.usage.cpu.all, d.limit.cpu.all) + L"  io " +
              pair(d.usage.io.all, d.limit.io.all) + L"  iops " + pair(d.usage.iops, d.limit.iops) +
              L"  ep " + pair(d.usage.ep, d.limit.ep) + L"  nproc " +
              pair(d.usage.pno, d.limit.pno) + L"  mem " + pair(d.usage.mem, d.limit.mem));
    }
    put(row + 1, 0, L"any key: back");
  }

  void draw_help() {
    const wchar_t* help_text[] = {
        L"keys",
        L"  < >       sort by the previous or next column    R  reverse the order",
        L"  /         filter by user or domain (Esc clears)  Enter  the account's detail",
        L"  arrows, PgUp, PgDn, Home, End  move              m  MySQL columns on or off",
        L"  d         set the refresh delay                  space  refresh now",
        L"  p         pause or go on                         h ?  this help",
        L"  q Ctrl-C  quit                                   Ctrl-L  repaint the screen",
        L"",
        L"A share is the usage as a percentage of its limit ('-': no limit).",
        L"90% or more is yellow and marked '+', 100% or more red and marked '!'.",
        L"Figures are in the statistics service's units. R: restricted in MySQL.",
        L"",
        L"any key: back",
    };
    int row = kFirstRow - 1;
    for (const wchar_t* line : help_text) put(row++, 0, line);
  }

  void draw() {
    erase();
    draw_header();
    if (state_.mode == Mode::help) {
      draw_help();
    } else if (state_.mode == Mode::detail && !state_.rows.empty()) {
      draw_detail();
    } else {
      if (state_.mode == Mode::detail) state_.mode = Mode::table;
      draw_table();
    }
    refresh();
    last_draw_ = std::time(nullptr);
  }

  Refresher& refresher_;
  const ViewSettings& settings_;
  State state_;
  Shown shown_;
  RowsMadeOf rows_made_of_;
  bool colours_ = false;
  std::time_t last_draw_ = 0;
};

// While it lives, a privileged process (root, or a real user other than the
// effective one) finds terminal descriptions in the system's folders only:
// TERMINFO, TERMINFO_DIRS, TERMCAP, TERMPATH and HOME (for ~/.terminfo),
// which a customer's shell may have left to root through su, are out of the
// environment, and come back after. No other thread runs meanwhile.
class SystemTerminfoOnly {
 public:
  SystemTerminfoOnly() {
    if (::getuid() != 0 && ::getuid() == ::geteuid()) return;
    for (const char* name : kNames) {
      if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
      ::unsetenv(name);
    }
  }
  ~SystemTerminfoOnly() {
    for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
  }
  SystemTerminfoOnly(const SystemTerminfoOnly&) = delete;
  SystemTerminfoOnly& operator=(const SystemTerminfoOnly&) = delete;

 private:
  static constexpr const char* kNames[] = {"TERMINFO", "TERMINFO_DIRS", "TERMCAP", "TERMPATH",
                                           "HOME"};
  std::vector<std::pair<std::string, std::string>> saved_;
};

// A terminal that can place the cursor: not missing, not unknown, not dumb.
std::optional<std::string> unusable_terminal() {
  const char* term = std::getenv("TERM");
  const std::string suggestion = "; use --batch for plain text";
  if (term == nullptr || *term == '\0') return "TERM is not set" + suggestion;
  int error = 0;
  if (setupterm(term, STDOUT_FILENO, &error) != OK) {
    return "the terminal type \"" + to_utf8(safe_text(term)) + "\" is unknown" + suggestion;
  }
  const char* cursor = tigetstr(const_cast<char*>("cup"));
  const bool usable = cursor != nullptr && cursor != reinterpret_cast<char*>(-1);
  del_curterm(cur_term);
  if (!usable) {
    return "the terminal type \"" + to_utf8(safe_text(term)) + "\" cannot place the cursor" +
           suggestion;
  }
  return std::nullopt;
}

}  // namespace

void catch_ending_signals() {
  struct sigaction action {};
  action.sa_handler = on_ending_signal;
  sigemptyset(&action.sa_mask);
  for (const int signal : base::ending_signals()) sigaction(signal, &action, nullptr);
}

std::expected<Terminal, std::string> open_terminal() {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    return std::unexpected("standard input and output are not a terminal; use --batch");
  }
  const SystemTerminfoOnly system_only;
  if (auto problem = unusable_terminal()) return std::unexpected(std::move(*problem));
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) return std::unexpected("the terminal cannot be used; use --batch");
  Terminal terminal;
  terminal.screen = screen;
  return terminal;
}

ViewEnd run_view(Refresher& refresher, const ViewSettings& settings, Terminal& terminal) {
  set_term(static_cast<SCREEN*>(terminal.screen));
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  curs_set(0);
  timeout(100);
  set_escdelay(25);
  std::optional<ViewEnd> end;
  {
    View view(refresher, settings);
    end = view.loop();
  }
  // The terminal as it was: the alternate screen left, the cursor shown,
  // echo back on.
  curs_set(1);
  endwin();
  delscreen(static_cast<SCREEN*>(terminal.screen));
  terminal.screen = nullptr;
  return end.value_or(ViewEnd{});
}

}  // namespace vt::live
