// Reading lormex-pack's command line: what each argument list gives, or the usage error it is.
#include "app/pack_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::TempDir;

// "{W}" in a case stands for the scratch working folder (without its final "/").
std::string Expand(const std::string& text, const std::string& work) {
  std::string result = text;
  for (std::size_t at; (at = result.find("{W}")) != std::string::npos;) {
    result.replace(at, 3, work);
  }
  return result;
}

struct OptionCase {
  const char* label;
  std::vector<std::string> args;  // after the program name
  // The preference file's values.
  std::string pref_out = "{W}/prefout";
  std::string pref_studio = "Pref";
  // Expected: a usage error holding this text, or (when null) these options.
  const char* error = nullptr;
  std::vector<std::string> albums = {};
  std::string out = "{W}/prefout/";
  std::string studio = "Pref";
  int max_size = 1234;
  int quality = 55;
  int jobs = 0;
  bool quiet = false;
  std::size_t warnings = 0;
};

void PrintTo(const OptionCase& c, std::ostream* out) { *out << c.label; }

class PackOptionsTest : public ::testing::TestWithParam<OptionCase> {
 protected:
  PackOptionsTest() {
    for (const char* folder : {"prefout", "out"}) testing::MakeFolders(dir_ / folder);
    testing::WriteFile(dir_ / "file", "not a folder");
    work_ = dir_.path().substr(0, dir_.path().size() - 1);
  }

  TempDir dir_;
  std::string work_;
};

TEST_P(PackOptionsTest, GivesTheOptionsOrTheUsageError) {
  const OptionCase& c = GetParam();
  Settings defaults;
  defaults.OutFolder = Expand(c.pref_out, work_);
  defaults.Studio = c.pref_studio;
  defaults.ImageQuality = 55;
  defaults.ImageMaxWidth = 1234;
  std::vector<std::string> arguments = {"lormex-pack"};
  for (const std::string& arg : c.args) arguments.push_back(Expand(arg, work_));

  const PackCommand command = ParsePackArguments(arguments, defaults, work_);
  if (c.error != nullptr) {
    ASSERT_EQ(command.action, PackCommand::Action::kUsageError) << c.label;
    EXPECT_NE(command.text.find(Expand(c.error, work_)), std::string::npos)
        << c.label << ": " << command.text;
    EXPECT_EQ(command.text.find('\n'), std::string::npos) << "one line: " << command.text;
    return;
  }
  ASSERT_EQ(command.action, PackCommand::Action::kPack) << c.label << ": " << command.text;
  const PackOptions& options = command.options;
  std::vector<std::string> albums;
  for (const std::string& album : c.albums) albums.push_back(Expand(album, work_));
  EXPECT_EQ(options.album_folders, albums);
  EXPECT_EQ(options.settings.OutFolder, Expand(c.out, work_));
  EXPECT_EQ(options.settings.Studio, c.studio);
  EXPECT_EQ(options.settings.ImageMaxWidth, c.max_size);
  EXPECT_EQ(options.settings.ImageQuality, c.quality);
  EXPECT_EQ(options.jobs, c.jobs);
  EXPECT_EQ(options.quiet, c.quiet);
  EXPECT_EQ(options.warnings.size(), c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, PackOptionsTest,
    ::testing::Values(
        OptionCase{.label = "PreferenceFileGivesTheDefaults", .args = {"A"}, .albums = {"{W}/A/"}},
        OptionCase{.label = "LongOptionsOverrideThePreferenceFile",
                   .args = {"--out", "out", "--studio", "Bright", "--max-size", "2000", "--quality",
                            "92", "--jobs", "3", "--quiet", "A"},
                   .albums = {"{W}/A/"},
                   .out = "{W}/out/",
                   .studio = "Bright",
                   .max_size = 2000,
                   .quality = 92,
                   .jobs = 3,
                   .quiet = true},
        OptionCase{.label = "ShortOptions",
                   .args = {"-o", "out", "-s", "B", "-j", "2", "-q", "A"},
                   .albums = {"{W}/A/"},
                   .out = "{W}/out/",
                   .studio = "B",
                   .jobs = 2,
                   .quiet = true},
        OptionCase{.label = "CompactShortOptionWithValue",
                   .args = {"-qj4", "A"},
                   .albums = {"{W}/A/"},
                   .jobs = 4,
                   .quiet = true},
        OptionCase{.label = "ValuesAfterEqualsSigns",
                   .args = {"--out={W}/out/", "--quality=1", "--max-size=65500", "--jobs=256", "A"},
                   .albums = {"{W}/A/"},
                   .out = "{W}/out/",
                   .max_size = 65500,
                   .quality = 1,
                   .jobs = 256},
        OptionCase{.label = "SmallestValues",
                   .args = {"--max-size", "1", "--quality", "100", "--jobs", "1", "A"},
                   .albums = {"{W}/A/"},
                   .max_size = 1,
                   .quality = 100,
                   .jobs = 1},
        OptionCase{.label = "EmptyStudioReplacesThePreferenceFile",
                   .args = {"--studio", "", "A"},
                   .albums = {"{W}/A/"},
                   .studio = ""},
        OptionCase{.label = "LastOfARepeatedOptionCounts",
                   .args = {"--studio", "X", "--studio", "Y", "A"},
                   .albums = {"{W}/A/"},
                   .studio = "Y"},
        OptionCase{.label = "OptionsAfterTheFolders",
                   .args = {"A", "--out", "out", "B"},
                   .albums = {"{W}/A/", "{W}/B/"},
                   .out = "{W}/out/"},
        OptionCase{.label = "FoldersMadeAbsoluteAndCleaned",
                   .args = {"A/", "./B/../C", "/abs//path", "sub/dir/.", "sub/../D"},
                   .albums = {"{W}/A/", "{W}/C/", "/abs/path/", "{W}/sub/dir/", "{W}/D/"}},
        OptionCase{.label = "WorkingFolderItself", .args = {"."}, .albums = {"{W}/"}},
        OptionCase{.label = "DoubleDashEndsTheOptions",
                   .args = {"--", "-odd", "--quiet"},
                   .albums = {"{W}/-odd/", "{W}/--quiet/"}},
        OptionCase{.label = "FolderGivenTwiceIsPackedOnce",
                   .args = {"A", "B", "A/", "./A", "{W}/B"},
                   .albums = {"{W}/A/", "{W}/B/"},
                   .warnings = 3},
        OptionCase{.label = "ChineseNames",
                   .args = {"--studio", "光影", "婚礼 2016.05"},
                   .albums = {"{W}/婚礼 2016.05/"},
                   .studio = "光影"},
        OptionCase{.label = "RelativeOutputFolderOfThePreferenceFile",
                   .args = {"A"},
                   .pref_out = "prefout",
                   .albums = {"{W}/A/"}}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Refused, PackOptionsTest,
    ::testing::Values(
        OptionCase{.label = "NoArguments", .args = {}, .error = "没有给出相册文件夹"},
        OptionCase{
            .label = "OptionsButNoFolder", .args = {"--out", "out"}, .error = "没有给出相册文件夹"},
        OptionCase{.label = "NoOutputFolderAnywhere",
                   .args = {"A"},
                   .pref_out = "",
                   .error = "未设置打包输出文件夹"},
        OptionCase{.label = "EmptyOutOption", .args = {"--out", "", "A"}, .error = "--out"},
        OptionCase{.label = "MissingOutputFolder",
                   .args = {"--out", "nothere", "A"},
                   .error = "打包输出文件夹不存在或无法列出：{W}/nothere/"},
        OptionCase{.label = "OutputFolderIsAFile",
                   .args = {"--out", "file", "A"},
                   .error = "打包输出文件夹不存在或无法列出"},
        OptionCase{.label = "PreferenceFileNamesAMissingFolder",
                   .args = {"A"},
                   .pref_out = "{W}/gone/",
                   .error = "打包输出文件夹不存在或无法列出"},
        OptionCase{.label = "MaxSizeZero",
                   .args = {"--max-size", "0", "A"},
                   .error = "--max-size 必须在 1 到 65500 之间"},
        OptionCase{.label = "MaxSizeBeyondJpeg",
                   .args = {"--max-size", "65501", "A"},
                   .error = "--max-size 必须在 1 到 65500 之间"},
        OptionCase{.label = "MaxSizeNegative",
                   .args = {"--max-size", "-5", "A"},
                   .error = "--max-size 必须在"},
        OptionCase{.label = "MaxSizeBeyondInt",
                   .args = {"--max-size", "99999999999", "A"},
                   .error = "--max-size 必须在"},
        OptionCase{.label = "MaxSizeNotANumber",
                   .args = {"--max-size", "big", "A"},
                   .error = "--max-size 的取值“big”不是整数"},
        OptionCase{
            .label = "MaxSizeFraction", .args = {"--max-size", "12.5", "A"}, .error = "不是整数"},
        OptionCase{
            .label = "MaxSizeWithBlank", .args = {"--max-size", " 12", "A"}, .error = "不是整数"},
        OptionCase{
            .label = "MaxSizeWithPlus", .args = {"--max-size", "+12", "A"}, .error = "不是整数"},
        OptionCase{.label = "MaxSizeEmpty", .args = {"--max-size=", "A"}, .error = "不是整数"},
        OptionCase{.label = "QualityZero",
                   .args = {"--quality", "0", "A"},
                   .error = "--quality 必须在 1 到 100 之间"},
        OptionCase{.label = "QualityAboveHundred",
                   .args = {"--quality", "101", "A"},
                   .error = "--quality 必须在 1 到 100 之间"},
        OptionCase{.label = "JobsZero",
                   .args = {"--jobs", "0", "A"},
                   .error = "--jobs 必须在 1 到 256 之间"},
        OptionCase{.label = "JobsTooMany",
                   .args = {"-j", "257", "A"},
                   .error = "--jobs 必须在 1 到 256 之间"},
        OptionCase{.label = "JobsNotANumber", .args = {"--jobs", "all", "A"}, .error = "不是整数"},
        OptionCase{.label = "StudioWithSlash",
                   .args = {"--studio", "a/b", "A"},
                   .error = "工作室名称“a/b”中含有“/”"},
        OptionCase{.label = "PreferenceStudioWithSlash",
                   .args = {"A"},
                   .pref_studio = "../x",
                   .error = "来自 Lormex.pref"},
        OptionCase{
            .label = "UnknownLongOption", .args = {"--bogus", "A"}, .error = "未知选项：--bogus"},
        OptionCase{.label = "UnknownShortOption", .args = {"-x", "A"}, .error = "未知选项：-x"},
        OptionCase{.label = "MissingValue", .args = {"A", "--out"}, .error = "选项 --out 缺少取值"},
        OptionCase{.label = "ValueForAFlag",
                   .args = {"--quiet=yes", "A"},
                   .error = "选项 --quiet 不带取值"},
        OptionCase{.label = "FolderNotUtf8",
                   .args = {"Album\xff\xfe"},
                   .error = "参数不是有效的 UTF-8 文本"},
        OptionCase{
            .label = "EmptyFolderArgument", .args = {"A", ""}, .error = "相册文件夹不能是空文本"}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(PackOptionsTextTest, HelpAndVersionWinOverEverythingElse) {
  Settings defaults;
  defaults.ImageMaxWidth = 1600;
  // Neither needs an album or an output folder.
  const PackCommand help = ParsePackArguments({"lormex-pack", "--help"}, defaults, "/");
  ASSERT_EQ(help.action, PackCommand::Action::kHelp);
  for (const char* part : {"用法：lormex-pack", "--out", "--studio", "--max-size", "--quality",
                           "--jobs", "--quiet", "--version", "（当前：1600）", "退出状态"}) {
    EXPECT_NE(help.text.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(ParsePackArguments({"lormex-pack", "--jobs", "0", "-h"}, defaults, "/").action,
            PackCommand::Action::kHelp);

  const PackCommand version = ParsePackArguments({"lormex-pack", "--version", "A"}, defaults, "/");
  ASSERT_EQ(version.action, PackCommand::Action::kVersion);
  EXPECT_EQ(version.text, "lormex-pack " LORMEX_TEST_PROJECT_VERSION "\n");
}

}  // namespace
}  // namespace lormex
