// The run's engine without a window: archive names, which albums are packed, what a failure
// leaves behind, and that the output does not depend on the number of picture threads.
#include "packing/packing_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "packing/elapsed_time.h"
#include "tests/packing/archive_test_support.h"
#include "tests/packing/picture_fixtures.h"
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
  RunSummary summary = RunPacking(&albums, settings_, nullptr, RunOptions{2});
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
  EXPECT_EQ(
      testing::RunCommand("unzip -tq '" + (dir_ / "out/Bright_A.zip") + "' >/dev/null 2>&1").status,
      0);
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

}  // namespace
}  // namespace lormex
