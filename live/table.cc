#include "live/table.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/format.h"
#include "gather/selection.h"
#include "live/text.h"

namespace vt::live {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kShareWidth = 6;  // "9999%!"
constexpr int kMysqlWidth = 7;
constexpr int kDetailWidth = 14;  // "1074M/1074M", cut when longer
// Where the reseller and the restriction mark go among the figures' drop
// ranks: after the MySQL columns, before the shares.
constexpr std::uint8_t kResellerDropRank = 2;
constexpr std::uint8_t kRestrictedDropRank = 3;

const gather::UsageColumn* usage_column(Column column) {
  return column.kind == Column::Kind::figure ? &gather::usage_column(column.usage) : nullptr;
}

std::uint8_t drop_rank(Column column) {
  switch (column.kind) {
    case Column::Kind::reseller:
      return kResellerDropRank;
    case Column::Kind::restricted:
      return kRestrictedDropRank;
    case Column::Kind::figure:
      return usage_column(column)->drop_rank;
    default:
      return 0;
  }
}

// Sorts a figure: its share, or its usage where there is no limit, which
// then comes after every share.
double sort_value(const gather::TopUser& account, Column column) {
  const double s = share(usage_of(account, column), limit_of(account, column));
  return std::isnan(s) ? kNaN : s;
}

int width_of(Column column) {
  switch (column.kind) {
    case Column::Kind::user:
    case Column::Kind::reseller:
      return 12;
    case Column::Kind::domain:
      return 24;
    case Column::Kind::restricted:
      return 1;
    case Column::Kind::figure:
      break;
  }
  return mysql_column(column) ? kMysqlWidth : kShareWidth;
}

int total(const std::vector<Placed>& placed) {
  int sum = placed.empty() ? 0 : static_cast<int>(placed.size()) - 1;
  for (const Placed& p : placed) sum += p.width + (p.detail ? kDetailWidth + 1 : 0);
  return sum;
}

const std::string& name_of(const gather::TopUser& account, Column column) {
  return column.kind == Column::Kind::user     ? account.username
         : column.kind == Column::Kind::domain ? account.domain
                                               : account.reseller;
}

}  // namespace

const std::vector<Column>& figure_columns() {
  static const std::vector<Column> columns = [] {
    std::vector<Column> out;
    for (const gather::UsageColumn& usage : gather::kUsages)
      out.push_back(figure_column(usage.usage));
    return out;
  }();
  return columns;
}

const std::vector<Column>& all_columns() {
  static const std::vector<Column> columns = [] {
    std::vector<Column> out = {kUserColumn, kDomainColumn, kResellerColumn};
    out.insert(out.end(), figure_columns().begin(), figure_columns().end());
    out.push_back(kRestrictedColumn);
    return out;
  }();
  return columns;
}

bool mysql_column(Column column) {
  const gather::UsageColumn* usage = usage_column(column);
  return usage != nullptr && usage->mysql;
}

std::wstring compact(double value) {
  return safe_text(base::compact_figure(value));
}

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
  for (const Column c : all_columns()) {
    if (c == kResellerColumn && !wants.root) continue;
    if (mysql_column(c) && !wants.mysql) continue;
    placed.push_back({c, width_of(c), false});
  }
  const auto find = [&](Column c) -> Placed* {
    for (Placed& p : placed) {
      if (p.column == c) return &p;
    }
    return nullptr;
  };
  // Wider: detail beside each share while it fits.
  for (Placed& p : placed) {
    if (p.column.kind != Column::Kind::figure || mysql_column(p.column)) continue;
    p.detail = true;
    if (total(placed) > width) p.detail = false;
  }
  for (const Column c : {kResellerColumn, kUserColumn, kDomainColumn}) {
    Placed* p = find(c);
    while (p != nullptr && total(placed) > width && p->width > 8) --p->width;
  }
  // Narrower: columns go by their drop rank, lowest first, those of a rank together.
  for (int rank = 1; rank <= 255 && total(placed) > width; ++rank) {
    std::erase_if(placed, [&](const Placed& p) { return drop_rank(p.column) == rank; });
  }
  // Room left goes to the domain, then the user.
  if (Placed* d = find(kDomainColumn); d != nullptr && total(placed) < width) {
    d->width += std::min(width - total(placed), 40 - d->width > 0 ? 40 - d->width : 0);
  }
  if (Placed* u = find(kUserColumn); u != nullptr && total(placed) < width) {
    u->width += std::min(width - total(placed), 20 - u->width > 0 ? 20 - u->width : 0);
  }
  return placed;
}

std::wstring_view title(Column column) {
  switch (column.kind) {
    case Column::Kind::user:
      return L"USER";
    case Column::Kind::domain:
      return L"DOMAIN";
    case Column::Kind::reseller:
      return L"RESELLER";
    case Column::Kind::restricted:
      return L"R";
    case Column::Kind::figure:
      break;
  }
  // The titles are ASCII: one wide character each.
  static const std::vector<std::wstring> titles = [] {
    std::vector<std::wstring> out;
    for (const gather::UsageColumn& usage : gather::kUsages) {
      out.emplace_back(usage.title.begin(), usage.title.end());
    }
    return out;
  }();
  return titles[static_cast<std::size_t>(column.usage)];
}

std::string_view batch_title(Column column) {
  switch (column.kind) {
    case Column::Kind::user:
      return "USER";
    case Column::Kind::domain:
      return "DOMAIN";
    case Column::Kind::reseller:
      return "RESELLER";
    case Column::Kind::restricted:
      return "RESTRICTED";
    case Column::Kind::figure:
      break;
  }
  return usage_column(column)->batch_name;
}

std::wstring cell(const gather::TopUser& account, const Placed& placed) {
  switch (placed.column.kind) {
    case Column::Kind::user:
    case Column::Kind::domain:
    case Column::Kind::reseller:
      return safe_text(name_of(account, placed.column));
    case Column::Kind::restricted:
      return account.restricted ? L"R" : L"";
    case Column::Kind::figure:
      break;
  }
  const double usage = usage_of(account, placed.column);
  const double limit = limit_of(account, placed.column);
  const double s = share(usage, limit);
  std::wstring text;
  if (std::isnan(s)) {
    // The MySQL figures without a limit show their usage.
    text = mysql_column(placed.column) ? compact(usage) : L"-";
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
  if (column.kind != Column::Kind::figure) return Level::normal;
  const double s = share(usage_of(account, column), limit_of(account, column));
  return std::isnan(s) ? Level::normal : level_of(s);
}

bool sorts_before(const gather::TopUser& account, const gather::TopUser& other, Column column,
                  bool reverse) {
  if (column.kind != Column::Kind::figure) {
    const std::string& a = name_of(account, column);
    const std::string& b = name_of(other, column);
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
  static const std::vector<Column> columns = [] {
    std::vector<Column> out = {kUserColumn, kDomainColumn};
    out.insert(out.end(), figure_columns().begin(), figure_columns().end());
    return out;
  }();
  return columns;
}

Column column_named(std::string_view order_by) {
  return figure_column(gather::sort_key_named(order_by));
}

}  // namespace vt::live
