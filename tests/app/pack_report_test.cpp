// The texts lormex-pack shows: the updating terminal line and the summary.
#include "app/pack_report.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace lormex {
namespace {

struct LineCase {
  const char* label;
  int columns;
  std::string name;
  int done;
  int count;
  const char* expected;  // the whole line, or null when only the width and the parts are checked
  std::string shown_name = {};  // the part of the name that must appear
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.label; }

class ProgressLineTest : public ::testing::TestWithParam<LineCase> {
 protected:
  // The terminal line counts columns as a UTF-8 terminal does; the program gets this locale from
  // its QCoreApplication.
  static void SetUpTestSuite() { ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr); }
};

TEST_P(ProgressLineTest, FitsTheTerminalAndShowsNoControlCharacters) {
  const LineCase& c = GetParam();
  const std::string line = ProgressLine(2, 5, c.name, c.done, c.count, 42, c.columns);
  if (c.expected != nullptr) {
    EXPECT_EQ(line, c.expected);
  }
  EXPECT_LE(DisplayWidth(line), c.columns - 1) << line;
  for (unsigned char byte : line) EXPECT_GE(byte, 0x20) << line;
  EXPECT_NE(line.find(c.shown_name), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ProgressLineTest,
    ::testing::Values(
        LineCase{"Plain", 80, "Wedding 2016", 120, 340,
                 "相册 2/5 Wedding 2016：120/340 个文件 00:00:42"},
        LineCase{"LongChineseNameShortened", 44, "二〇一六年五月十八日婚礼全天跟拍精选合集", 7, 9,
                 nullptr, "二〇一六年"},
        LineCase{"ExactFitKeepsTheName", 35, "婚礼", 1, 2, "相册 2/5 婚礼：1/2 个文件 00:00:42"},
        LineCase{"ControlCharactersMasked", 80, "a\nb\x1b[2J\r", 1, 1,
                 "相册 2/5 a?b?[2J?：1/1 个文件 00:00:42"},
        LineCase{"NotUtf8Masked", 80, "x\xff", 1, 1, "相册 2/5 x?：1/1 个文件 00:00:42"},
        LineCase{"FilesAddedAfterTheCount", 80, "A", 350, 340,
                 "相册 2/5 A：350/350 个文件 00:00:42"},
        LineCase{"VeryNarrowTerminalCutsTheLine", 12, "Wedding", 1, 2, nullptr, "相册"}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(PackSummaryTest, CountsEveryKindOfFileAndNamesTheFailures) {
  PackTotals totals;
  totals.albums = 5;
  totals.albums_done = 2;
  totals.albums_failed = 1;
  totals.files.reencoded = 100;
  totals.files.stored = 20;
  totals.files.kept_original = 3;
  totals.files.failed = 1;
  totals.seconds = 3725;
  totals.failed_names = {"Trip", "婚礼"};
  EXPECT_EQ(SummaryText(totals),
            "打包结束：5 个相册，完成 2 个，失败 1 个\n"
            "文件：重新编码 100 个，原样存入 20 个，无法重新编码而原样存入 3 个，失败 1 个\n"
            "失败的相册：Trip、婚礼\n"
            "用时：01:02:05\n");
  totals.cancelled = true;
  totals.failed_names.clear();
  EXPECT_EQ(SummaryText(totals).substr(0, SummaryText(totals).find('\n')),
            "打包已中断：5 个相册，完成 2 个，失败 1 个，未打包 2 个");
}

}  // namespace
}  // namespace lormex
