#include "live/table.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/case.h"
#include "base/format.h"
#include "gather/selection.h"
#include "gather/usages.h"
#include "live/text.h"

namespace vt::live {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kShareWidth = 6;  // "100%!" and a blank
constexpr int kMysqlWidth = 7;
constexpr int kDetailWidth = 14;  // " 1.02e+09/1e+09"-like pairs, cut when longer

const gather::UsageColumn* usage_column(Column column) {
  const auto at = std::find(kFigureColumns.begin(), kFigureColumns.end(), column);
  return at == kFigureColumns.end()
             ? nullptr
             : &gather::kUsages[static_cast<std::size_t>(at - kFigureColumns.begin())];
}

bool figure(Column column) {
  return usage_column(column) != nullptr;
}

}  // namespace

std::wstring compact(double value) {
  return safe_text(base::compact_figure(value));
}

namespace {

// Sorts a figure: its share, or its usage where there is no limit, which
// then comes after every share.
double sort_value(const gather::TopUser& account, Column column) {
  const double s = share(usage_of(account, column), limit_of(account, column));
  return std::isnan(s) ? kNaN : s;
}

int width_of(Column column) {
  switch (column) {
    case Column::user:
    case Column::reseller:
      return 12;
    case Column::domain:
      return 24;
    case Column::mysql_cpu:
    case Column::mysql_io:
      return kMysqlWidth;
    case Column::restricted:
      return 1;
    default:
      return kShareWidth;
  }
}

int total(const std::vector<Placed>& placed) {
  int sum = placed.empty() ? 0 : static_cast<int>(placed.size()) - 1;
  for (const Placed& p : placed) sum += p.width + (p.detail ? kDetailWidth + 1 : 0);
  return sum;
}

}  // namespace

double share(double usage, double limit) {
  if (!std::isfinite(usage) || !std::isfinite(limit) || limit <= 0) return kNaN;
  return usage / limit;
}

Level level_of(double s) {
  if (s >= 1.0) return Level::over;
  if (s >= 0.9) return Level::near;
  return Level::normal;
}

double usage_of(const gather::TopUser& account, Column column) {
  const gather::UsageColumn* c = usage_column(column);
  return c == nullptr ? kNaN : c->figure(account.usage);
}

double limit_of(const gather::TopUser& account, Column column) {
  const gather::UsageColumn* c = usage_column(column);
  return c == nullptr ? kNaN : c->figure(account.limit);
}

std::vector<Placed> layout(int width, const LayoutWants& wants) {
  std::vector<Placed> placed;
  for (const Column c : {Column::user, Column::domain, Column::reseller, Column::cpu, Column::io,
                         Column::iops, Column::ep, Column::nproc, Column::mem, Column::mysql_cpu,
                         Column::mysql_io, Column::restricted}) {
    if (c == Column::reseller && !wants.root) continue;
    if ((c == Column::mysql_cpu || c == Column::mysql_io) && !wants.mysql) continue;
    placed.push_back({c, width_of(c), false});
  }
  const auto drop = [&](Column c) {
    std::erase_if(placed, [c](const Placed& p) { return p.column == c; });
  };
  const auto find = [&](Column c) -> Placed* {
    for (Placed& p : placed) {
      if (p.column == c) return &p;
    }
    return nullptr;
  };
  // Wider: detail beside each share while it fits; narrower: the reseller goes first.
  for (Placed& p : placed) {
    if (!figure(p.column) || p.column == Column::mysql_cpu || p.column == Column::mysql_io)
      continue;
    p.detail = true;
    if (total(placed) > width) p.detail = false;
  }
  for (const Column c : {Column::reseller, Column::user, Column::domain}) {
    Placed* p = find(c);
    while (p != nullptr && total(placed) > width && p->width > 8) --p->width;
  }
  if (total(placed) > width) {
    drop(Column::mysql_cpu);
    drop(Column::mysql_io);
  }
  if (total(placed) > width) drop(Column::reseller);
  if (total(placed) > width) drop(Column::restricted);
  for (const Column c : {Column::mem, Column::nproc, Column::ep, Column::iops, Column::io}) {
    if (total(placed) > width) drop(c);
  }
  // Room left goes to the domain, then the user.
  if (Placed* d = find(Column::domain); d != nullptr && total(placed) < width) {
    d->width += std::min(width - total(placed), 40 - d->width > 0 ? 40 - d->width : 0);
  }
  if (Placed* u = find(Column::user); u != nullptr && total(placed) < width) {
    u->width += std::min(width - total(placed), 20 - u->width > 0 ? 20 - u->width : 0);
  }
  return placed;
}

std::wstring_view title(Column column) {
  switch (column) {
    case Column::user:
      return L"USER";
    case Column::domain:
      return L"DOMAIN";
    case Column::reseller:
      return L"RESELLER";
    case Column::cpu:
      return L"CPU%";
    case Column::io:
      return L"IO%";
    case Column::iops:
      return L"IOPS%";
    case Column::ep:
      return L"EP%";
    case Column::nproc:
      return L"NPROC%";
    case Column::mem:
      return L"MEM%";
    case Column::mysql_cpu:
      return L"MYCPU";
    case Column::mysql_io:
      return L"MYIO";
    case Column::restricted:
      return L"R";
  }
  return L"";
}

std::wstring cell(const gather::TopUser& account, const Placed& placed) {
  switch (placed.column) {
    case Column::user:
      return safe_text(account.username);
    case Column::domain:
      return safe_text(account.domain);
    case Column::reseller:
      return safe_text(account.reseller);
    case Column::restricted:
      return account.restricted ? L"R" : L"";
    default:
      break;
  }
  const double usage = usage_of(account, placed.column);
  const double limit = limit_of(account, placed.column);
  const double s = share(usage, limit);
  std::wstring text;
  if (std::isnan(s)) {
    // The MySQL figures without a limit show their usage.
    text = placed.column == Column::mysql_cpu || placed.column == Column::mysql_io ? compact(usage)
                                                                                   : L"-";
  } else {
    text = safe_text(base::share_text(s));
  }
  if (placed.detail) {
    text = fit(text, placed.width, true) + L" " +
           fit(compact(usage) + L"/" + compact(limit), kDetailWidth);
  }
  return text;
}

Level cell_level(const gather::TopUser& account, Column column) {
  if (!figure(column)) return Level::normal;
  const double s = share(usage_of(account, column), limit_of(account, column));
  return std::isnan(s) ? Level::normal : level_of(s);
}

bool sorts_before(const gather::TopUser& account, const gather::TopUser& other, Column column,
                  bool reverse) {
  if (!figure(column)) {
    const std::string& a = column == Column::user     ? account.username
                           : column == Column::domain ? account.domain
                                                      : account.reseller;
    const std::string& b = column == Column::user     ? other.username
                           : column == Column::domain ? other.domain
                                                      : other.reseller;
    return reverse ? b < a : a < b;
  }
  double a = sort_value(account, column);
  double b = sort_value(other, column);
  if (std::isnan(a) && std::isnan(b)) {
    a = usage_of(account, column);
    b = usage_of(other, column);
  }
  // Greatest first; NaN last, whichever way.
  if (std::isnan(a) || std::isnan(b)) return !std::isnan(a) && std::isnan(b);
  return reverse ? a < b : a > b;
}

const std::vector<Column>& sort_columns() {
  static const std::vector<Column> columns = {
      Column::user, Column::domain, Column::cpu, Column::io,        Column::iops,
      Column::ep,   Column::nproc,  Column::mem, Column::mysql_cpu, Column::mysql_io};
  return columns;
}

Column column_named(std::string_view order_by) {
  return kFigureColumns[static_cast<std::size_t>(gather::sort_key_named(order_by))];
}

}  // namespace vt::live
