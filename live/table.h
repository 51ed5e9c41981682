#pragma once
// The live view's columns: which fit a width, what each cell says, and the
// orders they sort in. The screen and the batch tables both use them.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "gather/snapshot.h"
#include "gather/usages.h"

namespace vt::live {

/// In the order of the screen, left to right.
enum class Column {
  user,
  domain,
  reseller,
  cpu,
  io,
  iops,
  ep,
  nproc,
  mem,
  mysql_cpu,
  mysql_io,
  restricted,
};

/// How near a share of a limit is: below 90 %, 90 % or more, 100 % or more.
enum class Level { normal, near, over };

/// The figure columns, in the order of gather::kUsages.
inline constexpr std::array<Column, 8> kFigureColumns = {
    Column::cpu,   Column::io,  Column::iops,      Column::ep,
    Column::nproc, Column::mem, Column::mysql_cpu, Column::mysql_io};
static_assert(kFigureColumns.size() == gather::kUsages.size());

/// The share of `limit` that `usage` takes; NaN without a positive limit.
double share(double usage, double limit);
Level level_of(double share);

/// The usage and limit of `column`, a figure column (cpu to mysql_io).
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
/// the domain, the reseller (root only), the six shares, the two MySQL
/// columns and the restriction mark. A wide terminal also gets usage/limit
/// beside each share, and room for longer names. A narrow one loses, in
/// this order: room in the reseller, the user and the domain (down to 8
/// cells each), the MySQL columns, the reseller, the restriction mark, then
/// the share columns from the right (memory first).
std::vector<Placed> layout(int width, const LayoutWants& wants);

/// base::compact_figure, for the screen.
std::wstring compact(double value);

/// A column's title, for the screen and the batch tables.
std::wstring_view title(Column column);

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

/// The sortable columns in the order `<` and `>` step through.
const std::vector<Column>& sort_columns();

/// The column that --order-by's name stands for.
Column column_named(std::string_view order_by);

}  // namespace vt::live
