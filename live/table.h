#pragma once
// The live view's columns: which fit a width, what each cell says, and the
// orders they sort in. The screen and the batch tables both use them. The
// figure columns are gather::kUsages, with their titles and drop ranks.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gather/snapshot.h"
#include "gather/usages.h"

namespace vt::live {

struct Column {
  enum class Kind : std::uint8_t { user, domain, reseller, figure, restricted };
  Kind kind = Kind::figure;
  gather::Usage usage = gather::Usage::cpu;  ///< of a figure column
  bool operator==(const Column&) const = default;
};

inline constexpr Column kUserColumn{Column::Kind::user};
inline constexpr Column kDomainColumn{Column::Kind::domain};
inline constexpr Column kResellerColumn{Column::Kind::reseller};
inline constexpr Column kRestrictedColumn{Column::Kind::restricted};

constexpr Column figure_column(gather::Usage usage) {
  return {Column::Kind::figure, usage};
}

/// Every column, in the order of the screen, left to right: the user, the
/// domain, the reseller, the figures of gather::kUsages, the restriction.
const std::vector<Column>& all_columns();

/// The figure columns, in the order of gather::kUsages.
const std::vector<Column>& figure_columns();

/// Whether `column` holds a MySQL figure (gather::UsageColumn::mysql).
bool mysql_column(Column column);

/// How near a share of a limit is: below 90 %, 90 % or more, 100 % or more.
enum class Level { normal, near, over };

/// The share of `limit` that `usage` takes; NaN without a positive limit.
double share(double usage, double limit);
Level level_of(double share);

/// The usage and limit of a figure column; NaN for any other.
double usage_of(const gather::TopUser& account, Column column);
double limit_of(const gather::TopUser& account, Column column);

struct Placed {
  Column column;
  int width;    ///< cells of its values
  bool detail;  ///< a figure column that also shows usage/limit
};

struct LayoutWants {
  bool root = false;  ///< the reseller column is for root
  bool mysql = true;  ///< the MySQL columns
};

/// The columns that fit `width` cells, one blank between two: the user,
/// the domain, the reseller (root only), the figures and the restriction
/// mark. A wide terminal also gets usage/limit beside each share, and room
/// for longer names. A narrow one loses room in the reseller, the user and
/// the domain (down to 8 cells each), then columns by their drop rank: the
/// MySQL columns, the reseller, the restriction mark, then the share
/// columns from the right (memory first).
std::vector<Placed> layout(int width, const LayoutWants& wants);

/// base::compact_figure, for the screen.
std::wstring compact(double value);

/// A column's title on the screen.
std::wstring_view title(Column column);

/// A column's title in the batch tables, figures as gather::kUsages names
/// them.
std::string_view batch_title(Column column);

/// A cell's text, not yet fitted: the name, or the share as a percentage
/// ("-" when there is none) with usage/limit after it in a `detail` cell.
std::wstring cell(const gather::TopUser& account, const Placed& placed);

/// The figure columns whose share can be coloured, and how near.
Level cell_level(const gather::TopUser& account, Column column);

/// Whether `account` comes before `other` in `column`'s order: names
/// ascending, figures by share (usage where there is no limit), greatest
/// first; `reverse` turns it round.
bool sorts_before(const gather::TopUser& account, const gather::TopUser& other, Column column,
                  bool reverse);

/// The sortable columns in the order `<` and `>` step through: the user,
/// the domain and the figures.
const std::vector<Column>& sort_columns();

/// The column that --order-by's name stands for.
Column column_named(std::string_view order_by);

}  // namespace vt::live
