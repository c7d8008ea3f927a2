// The built lormex-pack run on real folders: exit statuses, what it leaves in the output folder,
// and archives read back by independent readers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/app/pack_command_support.h"
#include "tests/packing/archive_test_support.h"
#include "tests/packing/picture_fixtures.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::ListFolder;
using testing::PackRun;
using testing::ReadFile;
using testing::RunLormexPack;
using testing::TempDir;
using testing::WriteFile;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Albums below "albums/": Good (two files), Other, Empty, Dup/Good (a second album named Good),
// Linked (a file and a dangling link, which cannot be stored), and a plain file; "out/" empty.
class LormexPackTest : public ::testing::Test {
 protected:
  LormexPackTest() {
    WriteFile(dir_ / "albums/Good/a.txt", "good a");
    WriteFile(dir_ / "albums/Good/sub/b.txt", "good b");
    WriteFile(dir_ / "albums/Other/c.txt", "other");
    testing::MakeFolders(dir_ / "albums/Empty");
    WriteFile(dir_ / "albums/Dup/Good/d.txt", "the other Good");
    WriteFile(dir_ / "albums/Linked/e.txt", "linked");
    EXPECT_EQ(symlink("nowhere", (dir_ / "albums/Linked/dangling").c_str()), 0);
    WriteFile(dir_ / "albums/plain.txt", "a file");
    testing::MakeFolders(dir_ / "out");
  }

  PackRun Run(const std::vector<std::string>& arguments) {
    return RunLormexPack(arguments, dir_.path());
  }

  TempDir dir_;
};

struct ExitCase {
  const char* label;
  std::vector<std::string> args;
  int status;
  std::vector<std::string> archives;  // what "out/" holds afterwards
  const char* stderr_part;            // must appear on stderr; "" for nothing in particular
};

void PrintTo(const ExitCase& c, std::ostream* out) { *out << c.label; }

class LormexPackExitTest : public LormexPackTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(LormexPackExitTest, ExitStatusAndArchives) {
  const ExitCase& c = GetParam();
  const std::string sources = testing::TreeFingerprint(dir_ / "albums");
  const PackRun run = Run(c.args);
  EXPECT_EQ(run.status, c.status) << run.err;
  EXPECT_EQ(ListFolder(dir_ / "out"), c.archives);
  for (const std::string& archive : ListFolder(dir_ / "out")) {
    testing::ExpectReadersAccept(dir_ / ("out/" + archive));
  }
  EXPECT_EQ(testing::TreeFingerprint(dir_ / "albums"), sources) << "the albums were changed";
  EXPECT_TRUE(Contains(run.err, c.stderr_part)) << run.err;
  if (c.status == 2) {
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Contains(run.err, "lormex-pack --help")) << run.err;
  }
  if (c.status == 1) {
    // Every failure is named with its album; the summary still comes.
    EXPECT_TRUE(Contains(run.err, "失败：相册 ")) << run.err;
    EXPECT_TRUE(Contains(run.out, "打包结束：")) << run.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, LormexPackExitTest,
    ::testing::Values(
        ExitCase{"GoodAlbums",
                 {"--out", "out", "albums/Good", "albums/Other"},
                 0,
                 {"_Good.zip", "_Other.zip"},
                 "相册 2/2 完成：Other"},
        ExitCase{"MissingAlbumBesideAGoodOne",
                 {"--out", "out", "albums/Missing", "albums/Good"},
                 1,
                 {"_Good.zip"},
                 "Missing（"},
        ExitCase{"AlbumIsAFile",
                 {"-o", "out", "albums/plain.txt", "albums/Good"},
                 1,
                 {"_Good.zip"},
                 "不是文件夹"},
        ExitCase{"EmptyAlbum",
                 {"-o", "out", "albums/Good", "albums/Empty"},
                 1,
                 {"_Good.zip"},
                 "相册文件夹中没有文件"},
        ExitCase{"RootIsNoAlbum",
                 {"-o", "out", "/", "albums/Good"},
                 1,
                 {"_Good.zip"},
                 "根文件夹不能作为相册"},
        ExitCase{"SameArchiveNameTwice",
                 {"-o", "out", "albums/Good", "albums/Dup/Good"},
                 1,
                 {"_Good.zip"},
                 "的压缩包同名"},
        ExitCase{"FileThatCannotBeStoredFailsItsAlbumOnly",
                 {"-o", "out", "albums/Linked", "albums/Good"},
                 1,
                 {"_Good.zip"},
                 "albums/Linked/dangling"},
        ExitCase{"NoAlbumFolder", {"--out", "out"}, 2, {}, "没有给出相册文件夹"},
        ExitCase{"BadNumber",
                 {"--out", "out", "--quality", "abc", "albums/Good"},
                 2,
                 {},
                 "--quality 的取值“abc”不是整数"},
        ExitCase{"NoOutputFolder", {"albums/Good"}, 2, {}, "未设置打包输出文件夹"},
        ExitCase{"MissingOutputFolder",
                 {"--out", "nothere", "albums/Good"},
                 2,
                 {},
                 "打包输出文件夹不存在或无法列出"},
        ExitCase{
            "UnknownOption", {"--out", "out", "--fast", "albums/Good"}, 2, {}, "未知选项：--fast"},
        ExitCase{"Help", {"--help", "albums/Good"}, 0, {}, ""}),
    [](const auto& row) { return std::string(row.param.label); });

TEST_F(LormexPackTest, SameArchiveNameKeepsTheFirstAlbumsArchive) {
  const PackRun run = Run({"-o", "out", "albums/Good", "albums/Dup/Good"});
  EXPECT_EQ(run.status, 1);
  const std::vector<testing::ZipEntryInfo> entries =
      testing::ReadZipWithPython(dir_ / "out/_Good.zip");
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub/b.txt"}));
  EXPECT_TRUE(Contains(run.err, dir_ / "albums/Good/")) << "names the album it clashes with";
  testing::ExpectReadersAccept(dir_ / "out/_Good.zip");
}

TEST_F(LormexPackTest, PreferenceFileGivesTheDefaultsAndOptionsOverrideThem) {
  WriteFile(dir_ / "Lormex.pref", testing::PreferenceFileText(dir_ / "out/", "Bright", 70, 2000));
  EXPECT_EQ(Run({"albums/Good"}).status, 0);
  EXPECT_EQ(Run({"--studio", "", "albums/Other"}).status, 0);
  testing::MakeFolders(dir_ / "elsewhere");
  EXPECT_EQ(Run({"--out", "elsewhere", "--studio", "光影", "albums/Good"}).status, 0);
  EXPECT_EQ(ListFolder(dir_ / "out"), (std::vector<std::string>{"Bright_Good.zip", "_Other.zip"}));
  EXPECT_EQ(ListFolder(dir_ / "elsewhere"), (std::vector<std::string>{"光影_Good.zip"}));
  for (const char* archive : {"out/Bright_Good.zip", "out/_Other.zip", "elsewhere/光影_Good.zip"}) {
    testing::ExpectReadersAccept(dir_ / archive);
  }
}

TEST_F(LormexPackTest, QuietPrintsOnlyTheFailures) {
  const PackRun run = Run({"-q", "-o", "out", "albums/Good", "albums/Missing", "albums/Linked"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  ASSERT_FALSE(run.err.empty());
  // Failure lines, and below each failed album the files that failed, indented.
  std::size_t start = 0;
  while (start < run.err.size()) {
    const std::size_t end = run.err.find('\n', start);
    const std::string line = run.err.substr(start, end - start);
    EXPECT_TRUE(line.rfind("失败：", 0) == 0 || line.rfind("  ", 0) == 0) << line;
    start = end + 1;
  }
  EXPECT_TRUE(Contains(run.err, "Missing")) << run.err;
  EXPECT_TRUE(Contains(run.err, "Linked")) << run.err;
}

TEST_F(LormexPackTest, MixedAlbumIsPackedAndReadBackByIndependentReaders) {
  const std::string album = dir_ / "albums/Wedding 2016.05/";
  testing::MakeMixedAlbum(album);
  const std::string sources = testing::TreeFingerprint(album);
  const PackRun run =
      Run({"--out", "out", "--studio", "光影", "--max-size", "200", "--quality", "80", album});
  EXPECT_EQ(testing::TreeFingerprint(album), sources) << "the album was changed";
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out,
                       "文件：重新编码 3 个，原样存入 4 个，无法重新编码而原样存入 1 个，"
                       "失败 0 个"))
      << run.out;
  EXPECT_TRUE(Contains(run.err, "broken.jpg：无法重新编码，已原样存入")) << run.err;

  const std::string archive = dir_ / "out/光影_Wedding 2016.zip";
  testing::ExpectReadersAccept(archive);

  std::vector<testing::ZipEntryInfo> entries = testing::ReadZipWithPython(archive);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  std::vector<std::string> names;
  for (const auto& entry : entries) {
    names.push_back(entry.name);
    EXPECT_EQ(entry.method, 8) << entry.name << " is deflated";
    const bool ascii = std::all_of(entry.name.begin(), entry.name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    EXPECT_EQ((entry.flag_bits & 0x800) != 0, !ascii) << entry.name << ": UTF-8 flag";
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Ceremony/Family/grey.jpg", "Ceremony/empty.txt",
                                             "IMG_0001.jpg", "IMG_0002.jpeg", "IMG_0003.JPG",
                                             "broken.jpg", "notes.txt", "婚礼照片说明.txt"}));

  // Files stored byte for byte.
  for (const char* name :
       {"IMG_0003.JPG", "broken.jpg", "notes.txt", "婚礼照片说明.txt", "Ceremony/empty.txt"}) {
    EXPECT_EQ(testing::ZipEntryDataWithPython(archive, name), ReadFile(album + name)) << name;
  }
  // Pictures re-encoded to the size limit, as colour JPEGs without their old dates.
  struct Picture {
    const char* name;
    int width;
    int height;
  };
  for (const Picture& picture :
       {Picture{"IMG_0001.jpg", 200, 150}, Picture{"IMG_0002.jpeg", 115, 200},
        Picture{"Ceremony/Family/grey.jpg", 200, 200}}) {
    const std::string data = testing::ZipEntryDataWithPython(archive, picture.name);
    const testing::DecodedJpeg decoded =
        testing::DecodeFixtureJpeg(testing::Bytes(data.begin(), data.end()));
    ASSERT_TRUE(decoded.ok) << picture.name << ": " << decoded.error;
    EXPECT_EQ(decoded.width, picture.width) << picture.name;
    EXPECT_EQ(decoded.height, picture.height) << picture.name;
    EXPECT_EQ(decoded.components, 3) << picture.name;
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const auto& e) { return e.name == picture.name; });
    EXPECT_EQ(entry->date, "1980-01-01 00:00:00") << picture.name;
  }
}

TEST_F(LormexPackTest, PictureThreadsDoNotChangeTheArchive) {
  const std::string album = dir_ / "albums/Many/";
  testing::MakeMixedAlbum(album);
  for (int i = 0; i < 12; ++i) {
    WriteFile(album + "more/P" + std::to_string(i) + ".jpg",
              testing::EncodeFixtureJpeg(testing::NoisePixels(90 + i * 7, 60 + i * 3, i)));
  }
  testing::MakeFolders(dir_ / "out1");
  testing::MakeFolders(dir_ / "out3");
  ASSERT_EQ(Run({"-q", "--jobs", "1", "--out", "out1", "--max-size", "64", album}).status, 0);
  ASSERT_EQ(Run({"-q", "--jobs", "3", "--out", "out3", "--max-size", "64", album}).status, 0);
  const std::string one = ReadFile(dir_ / "out1/_Many.zip");
  EXPECT_FALSE(one.empty());
  EXPECT_TRUE(one == ReadFile(dir_ / "out3/_Many.zip")) << "archives differ";
  testing::ExpectReadersAccept(dir_ / "out1/_Many.zip");
}

}  // namespace
}  // namespace lormex
