#include <gtest/gtest.h>

#include <climits>

#include "packing/picture_reencoder.h"

namespace lormex {
namespace {

struct SizeCase {
  const char* name;
  int width;
  int height;
  int max_side;
  PictureSize expected;
};

class ScaledPictureSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ScaledPictureSizeTest, GivesTheSizeOfTheRule) {
  const SizeCase& c = GetParam();
  const PictureSize size = ScaledPictureSize(c.width, c.height, c.max_side);
  EXPECT_EQ(size.width, c.expected.width);
  EXPECT_EQ(size.height, c.expected.height);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScaledPictureSizeTest,
    ::testing::Values(SizeCase{"LandscapeReduced", 4000, 3000, 2000, {2000, 1500}},
                      SizeCase{"PortraitReduced", 3000, 4000, 2000, {1500, 2000}},
                      SizeCase{"ThirdRoundedDown", 6000, 4000, 2000, {2000, 1333}},
                      SizeCase{"SquareEnlarged", 1000, 1000, 2000, {2000, 2000}},
                      SizeCase{"SmallEnlarged", 800, 600, 2000, {2000, 1500}},
                      // 57 / 4000 in single precision is a little above 0.01425, so 28.5 becomes
                      // 29; in double precision the product stays below 28.5 and would give 28.
                      SizeCase{"SinglePrecisionRatio", 57, 4000, 2000, {29, 2000}},
                      // 2000 / (32 / 3) is 187.5 in double precision (188 after rounding to even);
                      // the single precision ratio is a little larger and gives 187.4999944.
                      SizeCase{"SinglePrecisionRatioLandscape", 32, 3, 2000, {2000, 187}},
                      // Exact halves go to the even neighbour, in both directions.
                      SizeCase{"HalfToEvenDownPortrait", 1000, 4000, 450, {112, 450}},
                      SizeCase{"HalfToEvenDownLandscape", 4000, 1000, 450, {450, 112}},
                      SizeCase{"HalfToEvenUpPortrait", 1000, 4000, 454, {114, 454}},
                      SizeCase{"HalfToEvenUpLandscape", 4000, 1000, 454, {454, 114}},
                      SizeCase{"NarrowSideBecomesZero", 5000, 2, 100, {100, 0}},
                      SizeCase{"TallSideBecomesZero", 2, 5000, 100, {0, 100}},
                      SizeCase{"OnePixel", 1, 1, 2000, {2000, 2000}},
                      SizeCase{"SquareCountsAsTall", 4000, 4000, 450, {450, 450}},
                      SizeCase{"NearlySquareRoundsUp", 4001, 4000, 2000, {2000, 2000}},
                      SizeCase{"ZeroLimit", 6000, 4000, 0, {0, 0}},
                      SizeCase{"NegativeLimit", 1000, 1000, -5, {-5, -5}},
                      SizeCase{"NoWidth", 0, 4000, 2000, {0, 0}},
                      SizeCase{"NegativeHeight", 4000, -1, 2000, {0, 0}},
                      SizeCase{"HugeLimitDoesNotOverflow", 2, 1, INT_MAX, {INT_MAX, 1073741824}},
                      SizeCase{"WidestPossible", 65500, 1, 2000, {2000, 0}}),
    [](const ::testing::TestParamInfo<SizeCase>& row) { return row.param.name; });

}  // namespace
}  // namespace lormex
