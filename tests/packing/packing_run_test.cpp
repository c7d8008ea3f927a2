// The run's engine without a window: archive names, which albums are packed, what a failure
// leaves behind, and that the output does not depend on the number of picture threads.
#include "packing/packing_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "packing/elapsed_time.h"
#include "packing/errno_text.h"
#include "tests/packing/archive_test_support.h"
#include "tests/packing/picture_fixtures.h"
#include "tests/packing/unprivileged.h"
#include "tests/packing/zip_headers.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::TempDir;
using testing::WriteFile;

struct PathCase {
  const char* name;
  const char* out_folder;
  const char* studio;
  const char* album;
  const char* expected;  // empty: refused
};

class ArchivePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(ArchivePathTest, StudioUnderscoreAlbumDirectlyInTheOutputFolder) {
  const PathCase& c = GetParam();
  std::string error;
  std::optional<std::string> path = ArchivePathFor(c.out_folder, c.studio, c.album, &error);
  if (std::string(c.expected).empty()) {
    EXPECT_FALSE(path.has_value());
    EXPECT_FALSE(error.empty());
  } else {
    ASSERT_TRUE(path.has_value()) << error;
    EXPECT_EQ(*path, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ArchivePathTest,
    ::testing::Values(
        PathCase{"WithStudio", "/out/", "Bright", "Wedding 2016", "/out/Bright_Wedding 2016.zip"},
        PathCase{"EmptyStudio", "/out/", "", "Wedding 2016", "/out/_Wedding 2016.zip"},
        PathCase{"EmptyAlbumName", "/out/", "Bright", "", "/out/Bright_.zip"},
        PathCase{"Chinese", "/输出/", "光影", "婚礼", "/输出/光影_婚礼.zip"},
        // Without its final separator the folder still holds the archive.
        PathCase{"OutFolderWithoutSeparator", "/out", "Bright", "W", "/out/Bright_W.zip"},
        PathCase{"StudioWithSeparator", "/out/", "a/../../etc", "W", ""},
        PathCase{"AlbumWithSeparator", "/out/", "B", "x/y", ""},
        PathCase{"NoOutFolder", "", "B", "W", ""}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

TEST(ElapsedTimeTextTest, HoursMinutesSecondsWithinADay) {
  const std::pair<std::int64_t, const char*> kCases[] = {
      {0, "00:00:00"},     {1, "00:00:01"},     {59, "00:00:59"},   {60, "00:01:00"},
      {3599, "00:59:59"},  {3600, "01:00:00"},  {3725, "01:02:05"}, {86399, "23:59:59"},
      {86400, "00:00:00"}, {90000, "01:00:00"}, {-5, "00:00:00"}};
  for (const auto& [seconds, text] : kCases) EXPECT_EQ(ElapsedTimeText(seconds), text) << seconds;
}

// Albums in a scratch folder, packed by the engine into `out/`.
class RunTest : public ::testing::Test {
 protected:
  RunTest() {
    testing::MakeFolders(dir_ / "out");
    Settings s;
    s.OutFolder = dir_ / "out/";
    s.Studio = "Bright";
    settings_.Replace(s);
  }

  // An album of a few pictures and other files.
  std::string MakeAlbum(const std::string& name, std::uint32_t seed = 1) {
    const std::string album = dir_ / ("albums/" + name + "/");
    WriteFile(album + "IMG_0001.jpg",
              testing::EncodeFixtureJpeg(testing::NoisePixels(120, 80, seed)));
    WriteFile(album + "Ceremony/IMG_0101.jpeg",
              testing::EncodeFixtureJpeg(testing::GradientPixels(64, 96)));
    WriteFile(album + "Ceremony/IMG_0102.JPG",
              testing::EncodeFixtureJpeg(testing::QuarterPixels(40, 40)));
    WriteFile(album + "notes.txt", "notes " + std::to_string(seed));
    WriteFile(album + "broken.jpg", "this is no picture");
    return album;
  }

  RunAlbum Album(const std::string& path, const std::string& name) {
    return RunAlbum{path, name, 5, AlbumStatus::kReady};
  }

  TempDir dir_;
  SettingsStore settings_;
};

TEST_F(RunTest, PacksPendingAlbumsAndSkipsDoneOnes) {
  std::vector<RunAlbum> albums = {Album(MakeAlbum("A", 1), "A"), Album(MakeAlbum("B", 2), "B"),
                                  Album(MakeAlbum("C", 3), "C")};
  albums[1].status = AlbumStatus::kDone;
  const std::string sources = testing::TreeFingerprint(dir_ / "albums");
  RunSummary summary = RunPacking(&albums, settings_, nullptr, RunOptions{2});
  EXPECT_EQ(testing::TreeFingerprint(dir_ / "albums"), sources) << "the albums were changed";
  EXPECT_EQ(summary.albums_done, 2);
  EXPECT_EQ(summary.albums_skipped, 1);
  EXPECT_EQ(summary.albums_failed, 0);
  EXPECT_EQ(albums[0].status, AlbumStatus::kDone);
  EXPECT_EQ(albums[1].status, AlbumStatus::kDone);
  EXPECT_EQ(albums[2].status, AlbumStatus::kDone);
  EXPECT_EQ(testing::ListFolder(dir_ / "out"),
            (std::vector<std::string>{"Bright_A.zip", "Bright_C.zip"}));
  // Pictures re-encoded, the upper-case extension and the broken picture stored as they are.
  EXPECT_EQ(summary.files.files, 10);
  EXPECT_EQ(summary.files.reencoded, 4);
  EXPECT_EQ(summary.files.kept_original, 2);
  EXPECT_EQ(summary.files.stored, 4);

  const testing::ZipLayout layout =
      testing::ReadZipLayout(testing::ReadFile(dir_ / "out/Bright_A.zip"));
  ASSERT_TRUE(layout.ok) << layout.problem;
  std::map<std::string, std::uint64_t> sizes;
  for (const testing::ZipHeader& header : layout.entries) sizes[header.name] = header.size;
  EXPECT_EQ(sizes.size(), 5u);
  EXPECT_EQ(sizes.count("Ceremony/IMG_0101.jpeg"), 1u);
  EXPECT_EQ(sizes["notes.txt"], 7u);
  EXPECT_EQ(sizes["broken.jpg"], 18u);
  testing::ExpectReadersAccept(dir_ / "out/Bright_A.zip");
  testing::ExpectReadersAccept(dir_ / "out/Bright_C.zip");
}

TEST_F(RunTest, TheArchiveIsTheSameWhateverTheNumberOfPictureThreads) {
  const std::string album = MakeAlbum("Same");
  for (int i = 0; i < 12; ++i) {
    WriteFile(album + "more/P" + std::to_string(i) + ".jpg",
              testing::EncodeFixtureJpeg(testing::NoisePixels(90 + i, 60, 10 + i)));
    WriteFile(album + "more/t" + std::to_string(i) + ".txt", std::string(1000 * i, 'x'));
  }
  std::vector<std::string> archives;
  for (int threads : {1, 4}) {
    std::vector<RunAlbum> albums = {Album(album, "Same")};
    RunSummary summary = RunPacking(&albums, settings_, nullptr, RunOptions{threads});
    ASSERT_EQ(summary.albums_done, 1);
    archives.push_back(testing::ReadFile(dir_ / "out/Bright_Same.zip"));
  }
  testing::ExpectReadersAccept(dir_ / "out/Bright_Same.zip");
  EXPECT_EQ(archives[0].size(), archives[1].size());
  EXPECT_TRUE(archives[0] == archives[1]);
}

// Records what the engine reports, in order.
class RecordingObserver : public RunObserver {
 public:
  void AlbumStarted(int index, int file_count) override {
    events.push_back("start " + std::to_string(index) + " " + std::to_string(file_count));
  }
  void FileDone(int index, int counter) override {
    events.push_back("file " + std::to_string(index) + " " + std::to_string(counter));
  }
  void AlbumFinished(int index, const AlbumOutcome& outcome) override {
    events.push_back("end " + std::to_string(index) + (outcome.ok ? " ok" : " failed"));
  }
  std::vector<std::string> events;
};

TEST_F(RunTest, ProgressAdvancesPerFileInWalkOrder) {
  const std::string album = dir_ / "albums/Small/";
  WriteFile(album + "a.txt", "a");
  WriteFile(album + "b.jpg", testing::EncodeFixtureJpeg(testing::GradientPixels(30, 20)));
  WriteFile(album + "c.txt", "c");
  std::vector<RunAlbum> albums = {Album(album, "Small")};
  albums[0].file_count = 3;
  RecordingObserver observer;
  RunPacking(&albums, settings_, &observer, RunOptions{2});
  EXPECT_EQ(observer.events, (std::vector<std::string>{"start 0 3", "file 0 1", "file 0 2",
                                                       "file 0 3", "end 0 ok"}));
}

TEST_F(RunTest, AFailureIsNeverReportedAsSuccessAndLeavesNoArchive) {
  const std::string good = MakeAlbum("Good", 1);
  const std::string bad = MakeAlbum("Bad", 2);
  // A link to nothing is listed as a file but cannot be read.
  ASSERT_EQ(symlink((dir_ / "nowhere").c_str(), (bad + "lost.txt").c_str()), 0);
  // An older archive of that name must not pass for this run's result.
  WriteFile(dir_ / "out/Bright_Bad.zip", "old archive");
  std::vector<RunAlbum> albums = {Album(bad, "Bad"), Album(good, "Good"), Album(good, "../escape"),
                                  Album(dir_ / "missing/", "Missing")};
  const std::string sources = testing::TreeFingerprint(dir_ / "albums");
  RunSummary summary = RunPacking(&albums, settings_, nullptr, RunOptions{2});
  EXPECT_EQ(summary.albums_done, 1);
  EXPECT_EQ(summary.albums_failed, 3);
  EXPECT_EQ(albums[0].status, AlbumStatus::kFailed);
  EXPECT_EQ(albums[1].status, AlbumStatus::kDone);
  EXPECT_EQ(albums[2].status, AlbumStatus::kFailed);
  EXPECT_EQ(albums[3].status, AlbumStatus::kFailed);
  EXPECT_EQ(testing::ListFolder(dir_ / "out"), std::vector<std::string>{"Bright_Good.zip"});
  EXPECT_FALSE(testing::FileExists(dir_ / "escape.zip"));
  bool lost_named = false;
  for (const std::string& line : summary.failure_lines) {
    lost_named |= line.find("lost.txt") != std::string::npos;
  }
  EXPECT_TRUE(lost_named);
  // The sources are untouched.
  EXPECT_EQ(testing::ReadFile(bad + "notes.txt"), "notes 2");
  EXPECT_EQ(testing::TreeFingerprint(dir_ / "albums"), sources) << "the albums were changed";
  testing::ExpectReadersAccept(dir_ / "out/Bright_Good.zip");
}

TEST_F(RunTest, AnArchiveThatCannotBeCreatedFailsItsAlbumWithTheReason) {
  const std::string album = MakeAlbum("A");
  struct Case {
    const char* name;
    std::string out_folder;
    std::string album_name;
    std::string reason;
  };
  const std::string gone = dir_ / "gone/";
  testing::MakeFolders(gone);
  std::remove(gone.substr(0, gone.size() - 1).c_str());  // the output folder vanished
  const Case kCases[] = {
      {"FolderGone", gone, "A", SystemErrorText(ENOENT)},
      {"NameTooLong", dir_ / "out/", std::string(300, 'x'), SystemErrorText(ENAMETOOLONG)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Settings s = settings_.Snapshot();
    s.OutFolder = c.out_folder;
    settings_.Replace(s);
    std::vector<RunAlbum> albums = {Album(album, c.album_name)};
    const RunSummary summary = RunPacking(&albums, settings_, nullptr, RunOptions{1});
    EXPECT_EQ(albums[0].status, AlbumStatus::kFailed);
    ASSERT_FALSE(summary.failure_lines.empty());
    EXPECT_NE(summary.failure_lines[0].find(c.reason), std::string::npos)
        << summary.failure_lines[0];
  }
  EXPECT_TRUE(testing::ListFolder(dir_ / "out").empty());
  EXPECT_FALSE(testing::FileExists(dir_ / "gone"));
}

TEST_F(RunTest, SettingsConfirmedDuringTheRunApplyToWhatFollows) {
  const std::string first = MakeAlbum("First", 1);
  const std::string second = MakeAlbum("Second", 2);
  std::vector<RunAlbum> albums = {Album(first, "First"), Album(second, "Second")};
  // Changes the studio when the first album ends, as the dialog may do meanwhile.
  class Changer : public RunObserver {
   public:
    explicit Changer(SettingsStore* store) : store_(store) {}
    void AlbumFinished(int index, const AlbumOutcome&) override {
      if (index != 0) return;
      Settings s = store_->Snapshot();
      s.Studio = "Night";
      store_->Replace(s);
    }
    SettingsStore* store_;
  } changer(&settings_);
  RunPacking(&albums, settings_, &changer, RunOptions{1});
  EXPECT_EQ(testing::ListFolder(dir_ / "out"),
            (std::vector<std::string>{"Bright_First.zip", "Night_Second.zip"}));
}

// A name of `bytes` bytes (a multiple of 3 apart from `ascii`): `character` (3 bytes of UTF-8)
// repeated, then `ascii`.
std::string LongName(const std::string& character, std::size_t bytes, const std::string& ascii) {
  std::string name;
  while (name.size() + character.size() + ascii.size() <= bytes) name += character;
  name.resize(bytes - ascii.size(), 'x');
  return name + ascii;
}

// `depth` folders named `component` below `root`, one inside the other, with `files` (name and
// bytes) in the deepest. Made one level at a time, as the full path may exceed the system's path
// limit. Gives the relative path of the deepest folder, ending with "/".
std::string MakeDeepTree(const std::string& root, int depth, const std::string& component,
                         const std::vector<std::pair<std::string, std::string>>& files) {
  testing::MakeFolders(root);
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  std::string relative;
  for (int i = 0; i < depth; ++i) {
    EXPECT_EQ(mkdirat(fd, component.c_str(), 0755), 0) << "level " << i;
    const int next = openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    relative += component + "/";
  }
  for (const auto& [name, bytes] : files) {
    const int file = openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    EXPECT_GE(file, 0) << name;
    EXPECT_EQ(write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(file);
  }
  close(fd);
  return relative;
}

// Names of 255 bytes (the most a Linux file name holds) in Chinese, in a tree whose deepest paths
// come close to the system's path limit: every file is packed under its whole relative name, the
// picture re-encoded, and the archive opens in every common reader.
TEST_F(RunTest, PacksLongChineseNamesInADeepTree) {
  const std::string folder = LongName("深", 255, "");
  const std::string picture = LongName("照", 255, ".jpg");
  const std::string text = LongName("文", 255, ".txt");
  ASSERT_EQ(folder.size(), 255u);
  ASSERT_EQ(picture.size(), 255u);
  ASSERT_EQ(text.size(), 255u);
  const std::string album = dir_ / "albums/Deep/";
  const testing::Bytes jpeg = testing::EncodeFixtureJpeg(testing::GradientPixels(64, 48));
  const std::string deepest = MakeDeepTree(
      album, 12, folder, {{picture, std::string(jpeg.begin(), jpeg.end())}, {text, "深处的文字"}});
  WriteFile(album + text, "top");
  ASSERT_LT(album.size() + deepest.size() + 255, 4096u) << "the paths must stay below the limit";
  ASSERT_GT(album.size() + deepest.size() + 255, 3000u);

  std::vector<RunAlbum> albums = {Album(album, "Deep")};
  albums[0].file_count = 3;
  const std::string sources = testing::TreeFingerprint(album);
  const RunSummary summary = RunPacking(&albums, settings_, nullptr, RunOptions{2});
  ASSERT_EQ(summary.albums_done, 1) << ::testing::PrintToString(summary.failure_lines);
  EXPECT_EQ(summary.files.reencoded, 1);
  EXPECT_EQ(summary.files.stored, 2);
  EXPECT_EQ(testing::TreeFingerprint(album), sources) << "the album was changed";

  const std::string archive = dir_ / "out/Bright_Deep.zip";
  const testing::ZipLayout layout = testing::ReadZipLayout(testing::ReadFile(archive));
  ASSERT_TRUE(layout.ok) << layout.problem;
  std::vector<std::string> names;
  for (const testing::ZipHeader& header : layout.entries) names.push_back(header.name);
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {deepest + picture, deepest + text, text};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  testing::ExpectReadersAccept(archive);
  // std::filesystem cannot remove what lies beyond the path limit; rm can.
  testing::RunCommand("rm -rf '" + album + "'");
}

// Deeper than the system's path limit: a file there is packed, or its album fails with the file
// named; never an album reported done without it.
TEST_F(RunTest, AFileBeyondThePathLimitIsNeverLeftOutSilently) {
  const std::string folder = LongName("深", 255, "");
  const std::string album = dir_ / "albums/Deeper/";
  const std::string deepest = MakeDeepTree(album, 20, folder, {{"底.txt", "bottom"}});
  WriteFile(album + "top.txt", "top");
  ASSERT_GT(album.size() + deepest.size(), 4096u);

  std::vector<RunAlbum> albums = {Album(album, "Deeper")};
  albums[0].file_count = 2;
  const RunSummary summary = RunPacking(&albums, settings_, nullptr, RunOptions{2});
  if (summary.albums_done == 1) {
    const testing::ZipLayout layout =
        testing::ReadZipLayout(testing::ReadFile(dir_ / "out/Bright_Deeper.zip"));
    ASSERT_TRUE(layout.ok) << layout.problem;
    ASSERT_EQ(layout.entries.size(), 2u);
    EXPECT_TRUE(layout.entries[0].name == deepest + "底.txt" ||
                layout.entries[1].name == deepest + "底.txt");
  } else {
    EXPECT_EQ(summary.albums_failed, 1);
    EXPECT_EQ(testing::ListFolder(dir_ / "out"), std::vector<std::string>{});
    bool named = false;
    for (const std::string& line : summary.failure_lines) {
      named = named || line.find("底.txt") != std::string::npos;
    }
    EXPECT_TRUE(named) << ::testing::PrintToString(summary.failure_lines);
  }
  testing::RunCommand("rm -rf '" + album + "'");
}

// An output folder on a small file system that runs full while the album is packed: the album
// fails with the reason, the folder is left empty and the album unchanged.
TEST_F(RunTest, AFullDiskFailsTheAlbumAndLeavesNothing) {
  const std::string album = MakeAlbum("Full");
  WriteFile(album + "large.bin", testing::RandomBytes(1 << 20, 11));
  const std::string sources = testing::TreeFingerprint(album);
  const std::string result = testing::RunInChild([&]() -> std::string {
    // A mount of its own, which ends with this process.
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", (dir_ / "out").c_str(), "tmpfs", 0, "size=64k") != 0) {
      return "skip";
    }
    std::vector<RunAlbum> albums = {Album(album, "Full")};
    const RunSummary summary = RunPacking(&albums, settings_, nullptr, RunOptions{2});
    std::string text = albums[0].status == AlbumStatus::kFailed ? "failed\n" : "not failed\n";
    bool reason = false;
    for (const std::string& line : summary.failure_lines) {
      reason = reason || line.find(SystemErrorText(ENOSPC)) != std::string::npos;
    }
    if (!reason) text += "no full-disk reason\n";
    for (const std::string& name : testing::ListFolder(dir_ / "out"))
      text += "left: " + name + "\n";
    return text;
  });
  if (result == "skip") GTEST_SKIP() << "cannot mount a small file system here";
  EXPECT_EQ(result, "failed\n");
  EXPECT_EQ(testing::TreeFingerprint(album), sources) << "the album was changed";
}

}  // namespace
}  // namespace lormex
