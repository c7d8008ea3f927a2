#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packing/picture_reencoder.h"
#include "tests/packing/picture_fixtures.h"

namespace lormex {
namespace {

using testing::BmpFixtureOptions;
using testing::Bytes;
using testing::kBlue;
using testing::kGreen;
using testing::kRed;
using testing::kWhite;
using testing::Rgb;
using testing::TestPixels;

// Left half red, right half blue: two colours, for a 1-bit palette.
TestPixels TwoTone(int width, int height) {
  TestPixels pixels{width, height, 3, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb& c = x < width / 2 ? kRed : kBlue;
      for (int v : c) pixels.samples.push_back(std::uint8_t(v));
    }
  }
  return pixels;
}

struct BmpCase {
  const char* name;
  TestPixels pixels;
  BmpFixtureOptions options;
  std::array<Rgb, 4> quarters;  // expected upright: top left, top right, bottom left, bottom right
};

BmpFixtureOptions Bmp(int bits, int header_size = 40, bool top_down = false) {
  BmpFixtureOptions options;
  options.bits = bits;
  options.header_size = header_size;
  options.top_down = top_down;
  return options;
}

BmpFixtureOptions Masked(int bits, int header_size, std::array<std::uint32_t, 4> masks,
                         int alpha = -1, int pixel_count = 0) {
  BmpFixtureOptions options = Bmp(bits, header_size);
  options.bit_fields = true;
  options.masks = masks;
  if (alpha >= 0) options.alpha.assign(std::size_t(pixel_count), std::uint8_t(alpha));
  return options;
}

BmpFixtureOptions WithoutLastPadding(BmpFixtureOptions options) {
  options.drop_last_padding = true;
  return options;
}

const std::array<Rgb, 4> kQuarters = {kRed, kGreen, kBlue, kWhite};
// Half-transparent colours laid over white.
const std::array<Rgb, 4> kQuartersOverWhite = {Rgb{255, 127, 127}, Rgb{127, 255, 127},
                                               Rgb{127, 127, 255}, kWhite};

class BmpSourceTest : public ::testing::TestWithParam<BmpCase> {};

// Every layout lands upright with the right colours: row order (bottom-up or top-down), row
// padding, palettes and bit order, masks, the ignored spare byte and alpha over white.
TEST_P(BmpSourceTest, ConvertsToTheSamePicture) {
  const BmpCase& c = GetParam();
  PictureReencoder reencoder;
  Bytes out;
  const ReencodeOutcome outcome = reencoder.ReencodeBytes(
      testing::EncodeFixtureBmp(c.pixels, c.options), {c.pixels.width, 95}, &out);
  ASSERT_TRUE(outcome.ok) << outcome.error;
  const testing::DecodedJpeg decoded = testing::DecodeFixtureJpeg(out);
  ASSERT_TRUE(decoded.ok) << decoded.error;
  ASSERT_EQ(decoded.width, c.pixels.width);
  ASSERT_EQ(decoded.height, c.pixels.height);
  const int w = decoded.width, qw = w / 2, qh = decoded.height / 2;
  for (int q = 0; q < 4; ++q) {
    const int x0 = (q % 2) * qw + qw / 4, y0 = (q / 2) * qh + qh / 4;
    const Rgb mean = testing::MeanColour(decoded.rgb, w, x0, y0, x0 + qw / 2, y0 + qh / 2);
    for (int ch = 0; ch < 3; ++ch) {
      EXPECT_NEAR(mean[std::size_t(ch)], c.quarters[std::size_t(q)][std::size_t(ch)], 40)
          << "quarter " << q << ", channel " << ch;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpSourceTest,
    ::testing::Values(
        BmpCase{"Bits24BottomUp", testing::QuarterPixels(32, 16), Bmp(24), kQuarters},
        BmpCase{"Bits24TopDown", testing::QuarterPixels(32, 16), Bmp(24, 40, true), kQuarters},
        BmpCase{"Bits24PaddedRows", testing::QuarterPixels(30, 16), Bmp(24), kQuarters},
        BmpCase{"Bits24LastPaddingMissing", testing::QuarterPixels(30, 16),
                WithoutLastPadding(Bmp(24)), kQuarters},
        BmpCase{"Bits32SpareByteIgnored", testing::QuarterPixels(32, 16), Bmp(32), kQuarters},
        BmpCase{"Bits16Plain555", testing::QuarterPixels(32, 16), Bmp(16), kQuarters},
        BmpCase{"Bits16Masks565", testing::QuarterPixels(32, 16),
                Masked(16, 40, {0xF800, 0x07E0, 0x001F, 0}), kQuarters},
        BmpCase{"Bits32MasksHeader52", testing::QuarterPixels(32, 16),
                Masked(32, 52, {0xFF, 0xFF00, 0xFF0000, 0}), kQuarters},
        BmpCase{"Bits32OpaqueAlphaV5", testing::QuarterPixels(32, 16),
                Masked(32, 124, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 255, 32 * 16), kQuarters},
        BmpCase{"Bits32HalfAlphaV4", testing::QuarterPixels(32, 16),
                Masked(32, 108, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 128, 32 * 16),
                kQuartersOverWhite},
        BmpCase{"Bits32HalfAlphaHeader56", testing::QuarterPixels(32, 16),
                Masked(32, 56, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 128, 32 * 16),
                kQuartersOverWhite},
        BmpCase{"Bits8Palette", testing::QuarterPixels(32, 16), Bmp(8), kQuarters},
        BmpCase{"Bits4PaletteOddWidth", testing::QuarterPixels(34, 16), Bmp(4), kQuarters},
        BmpCase{"Bits1Palette", TwoTone(36, 16), Bmp(1), {kRed, kBlue, kRed, kBlue}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(BmpSourceTest, IsResizedLikeAJpeg) {
  PictureReencoder reencoder;
  Bytes out;
  const ReencodeOutcome outcome = reencoder.ReencodeBytes(
      testing::EncodeFixtureBmp(testing::QuarterPixels(300, 200), {}), {150, 70}, &out);
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ(outcome.result, (PictureSize{150, 100}));
  const testing::DecodedJpeg decoded = testing::DecodeFixtureJpeg(out);
  EXPECT_EQ(decoded.width, 150);
  EXPECT_EQ(decoded.height, 100);
}

}  // namespace
}  // namespace lormex
