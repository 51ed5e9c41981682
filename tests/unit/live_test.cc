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
  const auto columns = [](int width, bool root) {
    std::vector<Column> out;
    for (const Placed& p : layout(width, {.root = root, .mysql = true})) out.push_back(p.column);
    return out;
  };
  const std::vector<Column> shares = {Column::cpu, Column::io,    Column::iops,
                                      Column::ep,  Column::nproc, Column::mem};
  const auto has = [](const std::vector<Column>& in, Column c) {
    return std::find(in.begin(), in.end(), c) != in.end();
  };
  for (const int width : {80, 100, 200}) {
    const auto c = columns(width, true);
    for (const Column s : shares) EXPECT_TRUE(has(c, s)) << width;
    EXPECT_EQ(has(c, Column::mysql_cpu), width > 80) << width;
  }
  EXPECT_FALSE(has(columns(200, false), Column::reseller));
  EXPECT_FALSE(has(columns(40, true), Column::mem));
  for (const int width : {40, 80, 120, 200}) {
    int used = -1;
    for (const Placed& p : layout(width, {.root = true})) used += 1 + p.width + (p.detail ? 15 : 0);
    EXPECT_LE(used, width);
  }
}

TEST_F(Live, SharesAndTheirMarks) {
  gather::TopUser a;
  a.username = "u";
  a.usage.cpu.all = 95;
  a.limit.cpu.all = 100;
  a.usage.io.all = 2048;
  a.limit.io.all = 1024;
  a.usage.iops = 5;
  a.limit.iops = 0;  // no limit
  EXPECT_EQ(cell(a, {Column::cpu, 6, false}), L"95%+");
  EXPECT_EQ(cell(a, {Column::io, 6, false}), L"200%!");
  EXPECT_EQ(cell(a, {Column::iops, 6, false}), L"-");
  EXPECT_EQ(cell_level(a, Column::io), Level::over);
  EXPECT_TRUE(sorts_before(a, gather::TopUser{}, Column::cpu, false));
}

TEST_F(Live, BatchRowsHoldOneFieldPerColumn) {
  auto frame = std::make_shared<Frame>();
  gather::TopUser a;
  a.id = 1001;
  a.username = "user one";
  a.domain = "\x1b[2J.example";
  a.reseller = "N/A";
  a.usage.cpu.all = 12.5;
  a.limit.cpu.all = 100;
  a.usage.cpu.mysql = "-";
  a.restricted = true;
  frame->accounts.push_back(a);
  Shown shown;
  shown.frame = frame;
  const std::string table = batch_table(shown, 1, 0);
  const auto lines = [&] {
    std::vector<std::string> out;
    for (std::size_t at = 0, end; (end = table.find('\n', at)) != std::string::npos; at = end + 1)
      out.push_back(table.substr(at, end - at));
    return out;
  }();
  ASSERT_EQ(lines.size(), 3u);
  const auto fields = [](const std::string& line) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < line.size();) {
      const std::size_t end = std::min(line.find(' ', at), line.size());
      out.push_back(line.substr(at, end - at));
      at = end + 1;
    }
    return out;
  };
  const auto header = fields(lines[1]);
  const auto row = fields(lines[2]);
  ASSERT_EQ(row.size(), header.size());
  EXPECT_EQ(row[0], "user\xEF\xBF\xBDone");
  EXPECT_EQ(row[1], "\xEF\xBF\xBD[2J.example");
  EXPECT_EQ(row[4], "12.5");
  EXPECT_EQ(header.back(), "RESTRICTED");
  EXPECT_EQ(row.back(), "1");
  EXPECT_EQ(row[header.size() - 5], "-");  // MYCPU, "-" in the snapshot
}

}  // namespace
}  // namespace vt::live
