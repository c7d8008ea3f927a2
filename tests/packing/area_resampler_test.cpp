#include "packing/area_resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "packing/jpeg_source_decoder.h"

namespace lormex {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Pushes a whole picture row by row and gives the output.
Bytes Resample(const Bytes& rgb, int sw, int sh, int dw, int dh) {
  AreaResampler resampler;
  resampler.Begin(sw, sh, dw, dh);
  for (int y = 0; y < sh; ++y) {
    EXPECT_FALSE(resampler.complete()) << "finished before source row " << y;
    resampler.PushRow(&rgb[std::size_t(y) * sw * 3]);
  }
  EXPECT_TRUE(resampler.complete());
  return Bytes(resampler.pixels(), resampler.pixels() + std::size_t(dw) * dh * 3);
}

// A grey picture from one row of values, repeated (or one column, transposed).
Bytes GreyRow(const std::vector<int>& values) {
  Bytes out;
  for (int v : values) out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)});
  return out;
}

std::vector<int> Reds(const Bytes& rgb) {
  std::vector<int> out;
  for (std::size_t i = 0; i < rgb.size(); i += 3) out.push_back(rgb[i]);
  return out;
}

struct SizeCase {
  int sw, sh, dw, dh;
};

class FlatColourTest : public ::testing::TestWithParam<SizeCase> {};

// Weights that do not sum to one (a missed edge share, a wrong normalisation) show up at once on
// a flat picture, on every axis mode and their mixtures.
TEST_P(FlatColourTest, StaysExactlyFlat) {
  const SizeCase c = GetParam();
  Bytes source;
  for (int i = 0; i < c.sw * c.sh; ++i) source.insert(source.end(), {201, 99, 7});
  const Bytes out = Resample(source, c.sw, c.sh, c.dw, c.dh);
  for (std::size_t i = 0; i < out.size(); i += 3) {
    ASSERT_EQ(out[i], 201) << "pixel " << i / 3;
    ASSERT_EQ(out[i + 1], 99) << "pixel " << i / 3;
    ASSERT_EQ(out[i + 2], 7) << "pixel " << i / 3;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlatColourTest,
                         ::testing::Values(SizeCase{60, 40, 20, 13}, SizeCase{7, 5, 3, 2},
                                           SizeCase{3, 3, 7, 8}, SizeCase{5, 5, 5, 5},
                                           SizeCase{1, 1, 4, 3}, SizeCase{9, 1, 2, 1},
                                           SizeCase{1, 9, 1, 2}, SizeCase{10, 10, 1, 1},
                                           SizeCase{4, 6, 5, 5}, SizeCase{6, 4, 5, 5},
                                           SizeCase{101, 57, 100, 58}, SizeCase{2, 2, 2, 3}));

struct LineCase {
  const char* name;
  std::vector<int> source;
  int size;
  std::vector<int> expected;
};

class LineTest : public ::testing::TestWithParam<LineCase> {};

// Exact area shares when shrinking and linear interpolation between pixel centres when
// enlarging, checked along both axes.
TEST_P(LineTest, AveragesAreasOrInterpolates) {
  const LineCase& c = GetParam();
  const int n = int(c.source.size());
  const Bytes line = GreyRow(c.source);
  EXPECT_EQ(Reds(Resample(line, n, 1, c.size, 1)), c.expected) << "horizontal";
  EXPECT_EQ(Reds(Resample(line, 1, n, 1, c.size)), c.expected) << "vertical";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineTest,
    ::testing::Values(
        // 3 -> 2: each output covers one and a half source pixels.
        LineCase{"ThreeToTwo", {0, 90, 180}, 2, {30, 150}},
        // 5 -> 2: (10 + 20 + 30 / 2) / 2.5 and (30 / 2 + 40 + 50) / 2.5.
        LineCase{"FiveToTwo", {10, 20, 30, 40, 50}, 2, {18, 42}},
        LineCase{"ExactThirds", {30, 60, 90, 0, 0, 3}, 2, {60, 1}},
        LineCase{"CheckerIsAveragedNotPicked", {0, 255}, 1, {128}},
        // Centres at -0.25, 0.25, 0.75 and 1.25 source pixels; the outer ones are clamped.
        LineCase{"TwoToFour", {0, 200}, 4, {0, 50, 150, 200}},
        LineCase{"OneToThree", {77}, 3, {77, 77, 77}},
        LineCase{"Unchanged", {1, 2, 250, 4}, 4, {1, 2, 250, 4}}),
    [](const ::testing::TestParamInfo<LineCase>& row) { return row.param.name; });

TEST(AreaResamplerTest, BlocksAreMeansOfTheirPixels) {
  const int sw = 12, sh = 9, dw = 4, dh = 3;
  Bytes source;
  std::uint32_t state = 12345;
  for (int i = 0; i < sw * sh * 3; ++i) {
    state = state * 1103515245 + 12345;
    source.push_back(std::uint8_t(state >> 16));
  }
  const Bytes out = Resample(source, sw, sh, dw, dh);
  for (int y = 0; y < dh; ++y) {
    for (int x = 0; x < dw; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int j = 0; j < 3; ++j) {
          for (int i = 0; i < 3; ++i) sum += source[((y * 3 + j) * sw + x * 3 + i) * 3 + c];
        }
        EXPECT_NEAR(out[(std::size_t(y) * dw + x) * 3 + c], sum / 9, 0.5 + 1e-3)
            << x << "," << y << " channel " << c;
      }
    }
  }
}

TEST(AreaResamplerTest, EqualSizeKeepsEveryByte) {
  Bytes source;
  for (int i = 0; i < 7 * 5 * 3; ++i) source.push_back(std::uint8_t(i * 37));
  EXPECT_EQ(Resample(source, 7, 5, 7, 5), source);
}

TEST(AreaResamplerTest, ReuseStartsAfresh) {
  AreaResampler resampler;
  const Bytes white = GreyRow(std::vector<int>(8, 255));
  resampler.Begin(8, 8, 3, 3);
  for (int y = 0; y < 5; ++y) resampler.PushRow(white.data());  // abandoned half way
  const Bytes black = GreyRow(std::vector<int>(8, 0));
  resampler.Begin(8, 8, 3, 3);
  for (int y = 0; y < 8; ++y) resampler.PushRow(black.data());
  resampler.PushRow(white.data());  // beyond the source height: ignored
  ASSERT_TRUE(resampler.complete());
  for (int i = 0; i < 27; ++i) EXPECT_EQ(resampler.pixels()[i], 0) << i;
}

TEST(InvertedCmykToRgbTest, IsTheFlooredProductForEverySamplePair) {
  Bytes cmyk, rgb(3);
  for (int k = 0; k < 256; ++k) {
    for (int v = 0; v < 256; ++v) {
      const std::uint8_t pixel[4] = {std::uint8_t(v), std::uint8_t(255 - v), 0, std::uint8_t(k)};
      InvertedCmykToRgb(pixel, rgb.data(), 1);
      ASSERT_EQ(rgb[0], v * k / 255) << v << " " << k;
      ASSERT_EQ(rgb[1], (255 - v) * k / 255) << v << " " << k;
      ASSERT_EQ(rgb[2], 0);
    }
  }
}

}  // namespace
}  // namespace lormex
