#include "albums/album_rules.h"

#include <gtest/gtest.h>

namespace lormex {
namespace {

struct NameCase {
  const char* path;
  const char* name;
};

class AlbumNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(AlbumNameTest, LastFolderNameLessItsExtension) {
  EXPECT_EQ(AlbumNameFromPath(GetParam().path), GetParam().name) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Names, AlbumNameTest,
    ::testing::Values(NameCase{"/photos/Wedding 2016.05/", "Wedding 2016"},
                      NameCase{"/photos/Trip 2016.05 final/", "Trip 2016.05 final"},
                      NameCase{"/photos/.raw/", ".raw"}, NameCase{"/photos/name./", "name."},
                      NameCase{"/photos/a.b.c/", "a.b"}, NameCase{"/photos/a b.c d.e/", "a b.c d"},
                      NameCase{"/photos/x.y z/", "x.y z"}, NameCase{"/photos/..a/", "."},
                      NameCase{"/photos/婚礼 2016.05/", "婚礼 2016"},
                      NameCase{"/photos/Album/", "Album"}, NameCase{"/a/", "a"}, NameCase{"/", ""},
                      NameCase{"", ""},
                      // A path without the trailing separator loses its last character.
                      NameCase{"/photos/Album", "Albu"}));

TEST(AlbumPathLengthTest, OnlyEmptyAndRootAreTooShort) {
  EXPECT_FALSE(IsLongEnoughForAlbum(""));
  EXPECT_FALSE(IsLongEnoughForAlbum("/"));
  EXPECT_TRUE(IsLongEnoughForAlbum("/a/"));
  EXPECT_TRUE(IsLongEnoughForAlbum("/home/studio/Wedding/"));
}

TEST(DroppedAlbumPathsTest, EachLineBecomesAFolderPathWithASeparator) {
  EXPECT_EQ(DroppedAlbumPaths("/a/b/"), (std::vector<std::string>{"/a/b/"}));
  EXPECT_EQ(DroppedAlbumPaths("/a/b"), (std::vector<std::string>{"/a/b/"}));
  EXPECT_EQ(DroppedAlbumPaths("/x\n/y/\n\n/z"), (std::vector<std::string>{"/x/", "/y/", "/z/"}));
  EXPECT_EQ(DroppedAlbumPaths("/"), (std::vector<std::string>{"/"}));
  EXPECT_TRUE(DroppedAlbumPaths("").empty());
}

}  // namespace
}  // namespace lormex
