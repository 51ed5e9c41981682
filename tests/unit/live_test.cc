#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "live/batch.h"
#include "live/table.h"
#include "live/text.h"

namespace vt::live {
namespace {

class Live : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr); }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(Live, NoControlCharacterReachesTheTerminal) {
  const struct {
    std::string in;
    std::wstring out;
  } cases[] = {
      {"plain.example", L"plain.example"},
      {"\x1b[2Jx", L"\xFFFD[2Jx"},                                // ESC
      {"\x1b]52;c;SGVsbG8=\x07", L"\xFFFD]52;c;SGVsbG8=\xFFFD"},  // OSC 52 with BEL
      {"a\xc2\x9b"
       "1m",
       L"a\xFFFD"
       L"1m"},  // C1 CSI
      {"del\x7f", L"del\xFFFD"},
      {"bad\xff", L"bad\xFFFD"},                    // not UTF-8
      {"\xe4\xb8\xad.example", L"\x4E2D.example"},  // wide, kept
  };
  for (const auto& c : cases) EXPECT_EQ(safe_text(c.in), c.out) << c.in;
}

TEST_F(Live, TextFitsItsCells) {
  EXPECT_EQ(cells(L"\x4E2D"
                  L"a"),
            3);
  EXPECT_EQ(fit(L"abc", 5), L"abc  ");
  EXPECT_EQ(fit(L"abc", 5, true), L"  abc");
  EXPECT_EQ(fit(L"abcdef", 4), L"abc~");
  EXPECT_EQ(fit(L"\x4E2D\x4E2D\x4E2D", 4), L"\x4E2D~ ");  // a wide character is not split
}

TEST_F(Live, NarrowTerminalsKeepTheShares) {
  using gather::Usage;
  const auto columns = [](int width, bool root) {
    std::vector<Column> out;
    for (const Placed& p : layout(width, {.root = root, .mysql = true})) out.push_back(p.column);
    return out;
  };
  const auto has = [](const std::vector<Column>& in, Column c) {
    return std::find(in.begin(), in.end(), c) != in.end();
  };
  for (const int width : {80, 100, 200}) {
    const auto c = columns(width, true);
    for (const Usage u : {Usage::cpu, Usage::io, Usage::iops, Usage::ep, Usage::nproc, Usage::pmem})
      EXPECT_TRUE(has(c, figure_column(u))) << width;
    EXPECT_EQ(has(c, figure_column(Usage::mysql_cpu)), width > 80) << width;
  }
  EXPECT_FALSE(has(columns(200, false), kResellerColumn));
  EXPECT_FALSE(has(columns(40, true), figure_column(Usage::pmem)));
  EXPECT_TRUE(has(columns(20, true), figure_column(Usage::cpu)));
  for (const int width : {40, 80, 120, 200}) {
    int used = -1;
    for (const Placed& p : layout(width, {.root = true})) used += 1 + p.width + (p.detail ? 15 : 0);
    EXPECT_LE(used, width);
  }
}

TEST_F(Live, SharesAndTheirMarks) {
  using gather::Usage;
  gather::TopUser a;
  a.username = "u";
  a.usage.cpu.all = 95;
  a.limit.cpu.all = 100;
  a.usage.io.all = 2048;
  a.limit.io.all = 1024;
  a.usage.iops = 5;
  a.limit.iops = 0;  // no limit
  a.usage.cpu.mysql = 1e300;
  EXPECT_EQ(cell(a, {figure_column(Usage::cpu), 6, false}), L"95%+");
  EXPECT_EQ(cell(a, {figure_column(Usage::io), 6, false}), L"200%!");
  EXPECT_EQ(cell(a, {figure_column(Usage::iops), 6, false}), L"-");
  EXPECT_EQ(cell(a, {figure_column(Usage::mysql_cpu), 7, false}), L"1e300");
  // The share keeps its place whatever the pair beside it.
  EXPECT_EQ(cell(a, {figure_column(Usage::cpu), 6, true}), L"  95%+ 95/100        ");
  EXPECT_EQ(cell_level(a, figure_column(Usage::io)), Level::over);
  EXPECT_TRUE(sorts_before(a, gather::TopUser{}, figure_column(Usage::cpu), false));
}

// Each usage of gather::kUsages, its column found by its heading, holds its
// own figure, and --order-by's name of it sorts by it.
TEST_F(Live, EveryUsageHasItsColumnAndOrder) {
  gather::TopUser a;
  a.id = 1001;
  a.username = "user one";
  a.domain = "\x1b[2J.example";
  a.reseller = "N/A";
  a.restricted = true;
  gather::TopUser b = a;
  // Figure k of a is k + 1, of b 100 times that; their limit 1000 times k + 1.
  for (std::size_t k = 0; k < gather::kUsages.size(); ++k) {
    const double usage = static_cast<double>(k + 1);
    for (const auto& [account, scale] : {std::pair{&a, 1.0}, std::pair{&b, 100.0}}) {
      gather::TopUsage& u = account->usage;
      gather::TopUsage& l = account->limit;
      double* figures[] = {&u.cpu.all, &u.io.all, &u.iops, &u.ep, &u.pno, &u.mem};
      double* limits[] = {&l.cpu.all, &l.io.all, &l.iops, &l.ep, &l.pno, &l.mem};
      if (k < 6) {
        *figures[k] = usage * scale;
        *limits[k] = 1000 * usage;
      } else {
        (k == 6 ? u.cpu.mysql : u.io.mysql) = usage * scale;
        (k == 6 ? l.cpu.mysql : l.io.mysql) = 1000 * usage;
      }
    }
  }
  auto frame = std::make_shared<Frame>();
  frame->accounts = {a};
  Shown shown;
  shown.frame = frame;
  const std::string table = batch_table(shown, 1, 0);
  const auto fields = [](const std::string& line) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at <= line.size();) {
      const std::size_t end = std::min(line.find(' ', at), line.size());
      out.push_back(line.substr(at, end - at));
      at = end + 1;
    }
    return out;
  };
  const std::size_t titles_at = table.find("\nUSER ") + 1;
  const std::size_t row_at = table.find('\n', titles_at) + 1;
  const auto header = fields(table.substr(titles_at, row_at - 1 - titles_at));
  const auto row = fields(table.substr(row_at, table.find('\n', row_at) - row_at));
  ASSERT_EQ(row.size(), header.size());
  const auto field = [&](std::string_view heading) {
    const auto at = std::find(header.begin(), header.end(), heading);
    return at == header.end() ? "(none)" : row[static_cast<std::size_t>(at - header.begin())];
  };
  EXPECT_EQ(field("USER"), "user\xEF\xBF\xBDone");
  EXPECT_EQ(field("DOMAIN"), "\xEF\xBF\xBD[2J.example");
  EXPECT_EQ(field("UID"), "1001");
  EXPECT_EQ(field("RESTRICTED"), "1");
  for (std::size_t k = 0; k < gather::kUsages.size(); ++k) {
    const gather::UsageColumn& usage = gather::kUsages[k];
    SCOPED_TRACE(usage.sort_name);
    EXPECT_EQ(field(usage.batch_name), std::to_string(k + 1));
    EXPECT_EQ(field(std::string(usage.batch_name) + "_LIMIT"), std::to_string(1000 * (k + 1)));
    const Column column = column_named(usage.sort_name);
    EXPECT_NE(std::find(sort_columns().begin(), sort_columns().end(), column),
              sort_columns().end());
    EXPECT_TRUE(sorts_before(b, a, column, false));
    EXPECT_FALSE(sorts_before(a, b, column, false));
  }
}

}  // namespace
}  // namespace vt::live
