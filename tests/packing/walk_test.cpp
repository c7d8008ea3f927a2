#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "packing/album_walk.h"
#include "tests/packing/unprivileged.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::MakeFolders;
using testing::TempDir;
using testing::WriteFile;

std::vector<std::string> WalkAll(const std::string& folder, std::vector<WalkProblem>* problems) {
  AlbumWalk walk(folder);
  WalkEntry entry;
  std::vector<std::string> files;
  while (walk.Next(&entry)) files.push_back(entry.relative_path);
  if (problems != nullptr) *problems = walk.problems();
  return files;
}

// The order a plain recursive listing gives: the file system's order, folders entered where
// they are listed.
void ListDepthFirst(const std::string& folder, const std::string& relative,
                    std::vector<std::string>* files) {
  DIR* dir = opendir((folder + relative).c_str());
  ASSERT_NE(dir, nullptr);
  while (const dirent* item = readdir(dir)) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    struct stat status;
    ASSERT_EQ(lstat((folder + relative + name).c_str(), &status), 0);
    if (S_ISDIR(status.st_mode)) {
      ListDepthFirst(folder, relative + name + "/", files);
    } else {
      files->push_back(relative + name);
    }
  }
  closedir(dir);
}

TEST(AlbumWalkTest, GoesDepthFirstInListingOrder) {
  TempDir album;
  for (const char* path : {"b.jpg", "Ceremony/IMG_0101.jpg", "Ceremony/Family/IMG_0102.JPG",
                           "Ceremony/Family/notes.txt", "a.txt", "Party/1.jpg", "Party/2.jpg",
                           "z/y/x/w/deep.png", ".hidden", "Party/.thumbs"}) {
    WriteFile(album / path, path);
  }
  MakeFolders(album / "empty/also-empty");
  std::vector<std::string> expected;
  ListDepthFirst(album.path(), "", &expected);

  AlbumWalk walk(album.path());
  WalkEntry entry;
  std::vector<std::string> walked;
  while (walk.Next(&entry)) {
    walked.push_back(entry.relative_path);
    EXPECT_EQ(entry.full_path, album.path() + entry.relative_path);
    EXPECT_EQ(entry.name, entry.relative_path.substr(entry.relative_path.rfind('/') + 1));
    // The identity given must be the file's own, so that a caller can recognise a file.
    struct stat status;
    ASSERT_EQ(stat(entry.full_path.c_str(), &status), 0);
    EXPECT_EQ(entry.device, status.st_dev) << entry.relative_path;
    EXPECT_EQ(entry.inode, status.st_ino) << entry.relative_path;
    struct stat by_folder;
    ASSERT_EQ(fstatat(entry.folder_fd, entry.name.c_str(), &by_folder, 0), 0);
    EXPECT_EQ(by_folder.st_ino, status.st_ino);
  }
  EXPECT_EQ(walked, expected);
  EXPECT_EQ(walked.size(), 10u);
  EXPECT_TRUE(walk.problems().empty());
  EXPECT_EQ(CountFiles(album.path()), 10);
}

struct ShapeCase {
  const char* label;
  // Builds the album below `album` (which ends with "/"); `outside` is a folder beside it.
  std::function<void(const std::string& album, const std::string& outside)> build;
  std::vector<std::string> files;  // sorted
  std::size_t problems;
};

class AlbumShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(AlbumShapeTest, FindsEveryFileOnceAndCountsTheSame) {
  const ShapeCase& c = GetParam();
  TempDir root;
  const std::string album = root / "album/";
  const std::string outside = root / "outside/";
  MakeFolders(album);
  MakeFolders(outside);
  c.build(album, outside);

  std::vector<WalkProblem> problems;
  std::vector<std::string> files = WalkAll(album, &problems);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, c.files);
  EXPECT_EQ(problems.size(), c.problems);
  EXPECT_EQ(CountFiles(album), static_cast<int>(files.size()));
  // The trailing separator is optional.
  EXPECT_EQ(CountFiles(album.substr(0, album.size() - 1)), static_cast<int>(files.size()));
}

void Link(const std::string& target, const std::string& path) {
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, AlbumShapeTest,
    ::testing::Values(ShapeCase{"EmptyAlbum", [](auto&, auto&) {}, {}, 0},
                      ShapeCase{"OnlyEmptyFolders",
                                [](const std::string& a, auto&) { MakeFolders(a + "x/y/z"); },
                                {},
                                0},
                      ShapeCase{"FilesTwoLevelsDown",
                                [](const std::string& a, auto&) {
                                  WriteFile(a + "x/y/1.jpg", "1");
                                  WriteFile(a + "x/y/2.txt", "2");
                                },
                                {"x/y/1.jpg", "x/y/2.txt"},
                                0},
                      ShapeCase{"HiddenFilesCount",
                                [](const std::string& a, auto&) {
                                  WriteFile(a + ".DS_Store", "");
                                  WriteFile(a + ".thumbnails/t.png", "");
                                },
                                {".DS_Store", ".thumbnails/t.png"},
                                0},
                      ShapeCase{"LinkToFolderOutsideIsFollowed",
                                [](const std::string& a, const std::string& o) {
                                  WriteFile(o + "p.jpg", "p");
                                  Link(o, a + "elsewhere");
                                },
                                {"elsewhere/p.jpg"},
                                0},
                      ShapeCase{"LinkToAncestorEnds",
                                [](const std::string& a, auto&) {
                                  WriteFile(a + "top.jpg", "t");
                                  WriteFile(a + "sub/x.jpg", "x");
                                  Link("..", a + "sub/up");
                                  Link(a, a + "sub/absolute-up");
                                },
                                {"sub/x.jpg", "top.jpg"},
                                0},
                      ShapeCase{"LinkToItsOwnFolderEnds",
                                [](const std::string& a, auto&) {
                                  WriteFile(a + "f", "f");
                                  Link(".", a + "self");
                                },
                                {"f"},
                                0},
                      ShapeCase{"LinksBetweenSiblingsEnd",
                                [](const std::string& a, auto&) {
                                  WriteFile(a + "a/f", "f");
                                  WriteFile(a + "b/g", "g");
                                  Link("../b", a + "a/to-b");
                                  Link("../a", a + "b/to-a");
                                },
                                {"a/f", "a/to-b/g", "b/g", "b/to-a/f"},
                                0},
                      ShapeCase{"LinkLoopOutsideEnds",
                                [](const std::string& a, const std::string& o) {
                                  WriteFile(o + "o.jpg", "o");
                                  Link(o, o + "again");
                                  Link(o, a + "out");
                                },
                                {"out/o.jpg"},
                                0},
                      ShapeCase{"LinksToFilesAndBrokenLinksAreFiles",
                                [](const std::string& a, const std::string& o) {
                                  WriteFile(o + "real.jpg", "r");
                                  Link(o + "real.jpg", a + "link.jpg");
                                  Link(o + "missing", a + "broken");
                                },
                                {"broken", "link.jpg"},
                                0},
                      ShapeCase{"SpecialFilesAreFiles",
                                [](const std::string& a, auto&) {
                                  ASSERT_EQ(mkfifo((a + "fifo").c_str(), 0644), 0);
                                },
                                {"fifo"},
                                0}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(AlbumWalkTest, AlbumThatCannotBeListedGivesNothingAndAProblem) {
  TempDir root;
  WriteFile(root / "file", "x");
  for (const std::string& album : {root / "missing/", root / "file/", std::string()}) {
    std::vector<WalkProblem> problems;
    EXPECT_TRUE(WalkAll(album, &problems).empty()) << album;
    ASSERT_EQ(problems.size(), 1u) << album;
    EXPECT_FALSE(problems[0].reason.empty());
    EXPECT_EQ(CountFiles(album), 0);
  }
}

// mkdir and open one level at a time, as the full path exceeds the system's path limit.
std::string MakeDeepTree(const std::string& root, int depth, const std::string& component) {
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  std::string relative;
  for (int i = 0; i < depth; ++i) {
    EXPECT_EQ(mkdirat(fd, component.c_str(), 0755), 0);
    const int next = openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    relative += component + "/";
  }
  const int file = openat(fd, "底.jpg", O_WRONLY | O_CREAT, 0644);
  EXPECT_EQ(write(file, "deep", 4), 4);
  close(file);
  close(fd);
  return relative + "底.jpg";
}

TEST(AlbumWalkTest, ReachesFilesBeyondThePathLimit) {
  TempDir root;
  std::string component;
  while (component.size() + 3 <= 255) component += "长";  // 255 bytes of UTF-8
  ASSERT_EQ(component.size(), 255u);
  const std::string relative = MakeDeepTree(root.path(), 20, component);
  ASSERT_GT(root.path().size() + relative.size(), 4096u);

  AlbumWalk walk(root.path());
  WalkEntry entry;
  ASSERT_TRUE(walk.Next(&entry));
  EXPECT_EQ(entry.relative_path, relative);
  struct stat status;
  EXPECT_EQ(fstatat(entry.folder_fd, entry.name.c_str(), &status, 0), 0);
  EXPECT_EQ(status.st_size, 4);
  EXPECT_FALSE(walk.Next(&entry));
  EXPECT_TRUE(walk.problems().empty());
  // std::filesystem cannot remove what lies beyond the path limit; rm can.
  testing::RunCommand("rm -rf '" + root.path() + "'*");
}

TEST(AlbumWalkTest, UnreadableFoldersAreSkippedAndReported) {
  TempDir root;
  const std::string album = root / "album/";
  WriteFile(album + "a.jpg", "a");
  WriteFile(album + "locked/hidden.jpg", "h");
  WriteFile(album + "list-only/seen.jpg", "s");
  WriteFile(album + "list-only/inner/unseen.jpg", "u");
  WriteFile(album + "z.jpg", "z");
  WriteFile(album + "unreadable-file.jpg", "secret");
  ASSERT_EQ(chmod(root.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod((album + "locked").c_str(), 0), 0);
  ASSERT_EQ(chmod((album + "list-only").c_str(), 0444), 0);
  ASSERT_EQ(chmod((album + "unreadable-file.jpg").c_str(), 0), 0);

  const auto result = testing::RunUnprivileged([&] {
    std::vector<WalkProblem> problems;
    std::vector<std::string> files = WalkAll(album, &problems);
    std::sort(files.begin(), files.end());
    std::string text = "count=" + std::to_string(CountFiles(album)) + "\n";
    for (const auto& file : files) text += "file=" + file + "\n";
    std::vector<std::string> paths;
    for (const auto& problem : problems) paths.push_back(problem.path);
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) text += "problem=" + path + "\n";
    return text;
  });
  if (!result) GTEST_SKIP() << "cannot switch to an unprivileged user";
  // A folder that can be listed but not entered still shows its files; they fail later, when
  // they are opened, and are counted like every other file.
  EXPECT_EQ(*result,
            "count=4\n"
            "file=a.jpg\n"
            "file=list-only/seen.jpg\n"
            "file=unreadable-file.jpg\n"
            "file=z.jpg\n"
            "problem=" +
                album + "list-only/inner/\n" + "problem=" + album + "locked/\n");
}

}  // namespace
}  // namespace lormex
