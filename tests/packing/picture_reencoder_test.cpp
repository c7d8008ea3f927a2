#include "packing/picture_reencoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "packing/jpeg_memory_encoder.h"
#include "tests/packing/picture_fixtures.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::Bytes;
using testing::DecodedJpeg;
using testing::DecodeFixtureJpeg;
using testing::EncodeFixtureJpeg;
using testing::JpegFixtureOptions;
using testing::Rgb;
using Space = JpegFixtureOptions::Space;

constexpr int kMarkerSof0 = 0xC0;
constexpr int kMarkerApp0 = 0xE0;

// Re-encodes and decodes the result independently; fails the test when either step fails.
DecodedJpeg ReencodeAndDecode(PictureReencoder* reencoder, const Bytes& source,
                              ReencodeSettings settings, ReencodeOutcome* outcome = nullptr) {
  Bytes out;
  ReencodeOutcome result = reencoder->ReencodeBytes(source, settings, &out);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(result.error.empty());
  if (outcome != nullptr) *outcome = result;
  DecodedJpeg decoded = DecodeFixtureJpeg(out);
  EXPECT_TRUE(decoded.ok) << decoded.error;
  return decoded;
}

void ExpectNear(const Rgb& actual, const Rgb& expected, int tolerance, const std::string& where) {
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(actual[std::size_t(c)], expected[std::size_t(c)], tolerance)
        << where << ", channel " << c;
  }
}

TEST(PictureReencoderTest, WritesBaselineJfifWithLibjpegDefaults) {
  PictureReencoder reencoder;
  JpegFixtureOptions options;
  options.exif_orientation = 1;
  ReencodeOutcome outcome;
  const DecodedJpeg out = ReencodeAndDecode(
      &reencoder, EncodeFixtureJpeg(testing::GradientPixels(64, 48), options), {32, 70}, &outcome);
  EXPECT_EQ(outcome.source, (PictureSize{64, 48}));
  EXPECT_EQ(outcome.result, (PictureSize{32, 24}));
  EXPECT_EQ(out.width, 32);
  EXPECT_EQ(out.height, 24);
  EXPECT_EQ(out.components, 3);
  EXPECT_TRUE(out.ycbcr);
  EXPECT_EQ(out.h_sampling, (std::array<int, 3>{2, 1, 1}));
  EXPECT_EQ(out.v_sampling, (std::array<int, 3>{2, 1, 1}));
  EXPECT_FALSE(out.progressive);
  EXPECT_FALSE(out.arithmetic);
  EXPECT_EQ(out.restart_interval, 0);
  EXPECT_TRUE(out.jfif);
  EXPECT_EQ(out.jfif_major, 1);
  EXPECT_EQ(out.jfif_minor, 1);
  EXPECT_EQ(out.density_unit, 0);
  EXPECT_EQ(out.x_density, 1);
  EXPECT_EQ(out.y_density, 1);
  EXPECT_EQ(out.first_luma_quant, 10);  // 16 scaled to 60 % for quality 70
  EXPECT_FALSE(out.has_app1) << "Exif must not reach the output";
  EXPECT_TRUE(out.icc_profile.empty());
  ASSERT_FALSE(out.markers.empty());
  EXPECT_EQ(out.markers[1], kMarkerApp0);
  EXPECT_NE(std::find(out.markers.begin(), out.markers.end(), kMarkerSof0), out.markers.end());
  // The gradient survives: left dark, right bright in red; top dark, bottom bright in green.
  const Rgb left = testing::MeanColour(out.rgb, 32, 0, 0, 4, 24);
  const Rgb right = testing::MeanColour(out.rgb, 32, 28, 0, 32, 24);
  EXPECT_LT(left[0], 30);
  EXPECT_GT(right[0], 225);
}

// The encoder adds nothing to libjpeg's defaults: its bytes equal those of a plain libjpeg
// encoding of the same pixels (the reference forces nothing, as libjpeg's own default does).
class EncoderDefaultsTest : public ::testing::TestWithParam<int> {};

TEST_P(EncoderDefaultsTest, EqualsAPlainLibjpegEncoding) {
  const testing::TestPixels pixels = testing::GradientPixels(40, 30);
  JpegFixtureOptions reference;
  reference.quality = GetParam();
  EncodeRequest request;
  request.pixels = pixels.samples.data();
  request.width = 40;
  request.height = 30;
  request.quality = GetParam();
  Bytes out = {1, 2, 3};
  ASSERT_TRUE(EncodeJpeg(request, &out).ok());
  EXPECT_EQ(out, EncodeFixtureJpeg(pixels, reference));
}

INSTANTIATE_TEST_SUITE_P(Qualities, EncoderDefaultsTest, ::testing::Values(24, 30, 70, 92, 100));

struct QualityCase {
  const char* name;
  int quality;
  int first_luma_quant;
};

class QualityTest : public ::testing::TestWithParam<QualityCase> {};

// Outside 1..100 the quality is clamped; below 24 the tables are held within 8 bits, so the file
// stays baseline (SOF0) instead of becoming extended sequential.
TEST_P(QualityTest, ClampsAndStaysBaseline) {
  PictureReencoder reencoder;
  const DecodedJpeg out = ReencodeAndDecode(
      &reencoder, EncodeFixtureJpeg(testing::GradientPixels(32, 32)), {16, GetParam().quality});
  EXPECT_EQ(out.first_luma_quant, GetParam().first_luma_quant);
  EXPECT_LE(out.max_quant, 255);
  EXPECT_NE(std::find(out.markers.begin(), out.markers.end(), kMarkerSof0), out.markers.end());
}

INSTANTIATE_TEST_SUITE_P(Cases, QualityTest,
                         ::testing::Values(QualityCase{"Negative", -5, 255},
                                           QualityCase{"Zero", 0, 255}, QualityCase{"One", 1, 255},
                                           QualityCase{"Default", 70, 10},
                                           QualityCase{"Hundred", 100, 1},
                                           QualityCase{"AboveHundred", 1000, 1}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(PictureReencoderTest, HigherQualityGivesLargerFiles) {
  PictureReencoder reencoder;
  const Bytes source = EncodeFixtureJpeg(testing::NoisePixels(64, 64, 7));
  Bytes low, high;
  ASSERT_TRUE(reencoder.ReencodeBytes(source, {64, 30}, &low).ok);
  ASSERT_TRUE(reencoder.ReencodeBytes(source, {64, 95}, &high).ok);
  EXPECT_LT(low.size() * 2, high.size());
}

struct ColourCase {
  const char* name;
  std::vector<std::uint8_t> sample;  // 1, 3 or 4 samples, as the file stores them
  JpegFixtureOptions options;
  Rgb expected;
};

JpegFixtureOptions With(Space space, bool progressive = false, bool arithmetic = false,
                        int restart_rows = 0) {
  JpegFixtureOptions options;
  options.space = space;
  options.progressive = progressive;
  options.arithmetic = arithmetic;
  options.restart_rows = restart_rows;
  return options;
}

class ColourSourceTest : public ::testing::TestWithParam<ColourCase> {};

// Every colour space and coding the decoder meets gives the right RGB colour and a three
// component output; the inks of CMYK and YCCK files are multiplied as C * K / 255 etc.
TEST_P(ColourSourceTest, GivesTheRightColour) {
  const ColourCase& c = GetParam();
  PictureReencoder reencoder;
  const Bytes source = EncodeFixtureJpeg(testing::FlatPixels(48, 32, c.sample), c.options);
  const DecodedJpeg out = ReencodeAndDecode(&reencoder, source, {24, 90});
  EXPECT_EQ(out.width, 24);
  EXPECT_EQ(out.height, 16);
  EXPECT_EQ(out.components, 3);
  ExpectNear(testing::MeanColour(out.rgb, 24, 0, 0, 24, 16), c.expected, 3, c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColourSourceTest,
    ::testing::Values(
        ColourCase{"YCbCr", {200, 100, 50}, With(Space::kYCbCr), {200, 100, 50}},
        ColourCase{"StoredAsRgb", {200, 100, 50}, With(Space::kRgb), {200, 100, 50}},
        ColourCase{"Grey", {128}, With(Space::kGray), {128, 128, 128}},
        ColourCase{"GreyProgressive", {60}, With(Space::kGray, true), {60, 60, 60}},
        ColourCase{"Cmyk", {200, 100, 50, 128}, With(Space::kCmyk), {100, 50, 25}},
        ColourCase{"Ycck", {200, 100, 50, 128}, With(Space::kYcck), {100, 50, 25}},
        ColourCase{"CmykFullBlack", {255, 255, 255, 0}, With(Space::kCmyk), {0, 0, 0}},
        ColourCase{"Progressive", {30, 160, 220}, With(Space::kYCbCr, true), {30, 160, 220}},
        ColourCase{"RestartMarkers",
                   {30, 160, 220},
                   With(Space::kYCbCr, false, false, 1),
                   {30, 160, 220}}),
    [](const auto& row) { return std::string(row.param.name); });

struct OrientationCase {
  int orientation;
  // Colours of the upright quarters: top left, top right, bottom left, bottom right. The stored
  // picture has red, green, blue and white in that order.
  std::array<Rgb, 4> quarters;
};

class OrientationTest : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(OrientationTest, WritesThePictureUpright) {
  const OrientationCase& c = GetParam();
  JpegFixtureOptions options;
  options.exif_orientation = c.orientation;
  options.big_endian_exif = c.orientation % 2 == 0;
  PictureReencoder reencoder;
  ReencodeOutcome outcome;
  const DecodedJpeg out = ReencodeAndDecode(
      &reencoder, EncodeFixtureJpeg(testing::QuarterPixels(64, 32), options), {32, 90}, &outcome);
  const bool turned = c.orientation >= 5;
  const int w = turned ? 16 : 32, h = turned ? 32 : 16;
  EXPECT_EQ(outcome.source, (turned ? PictureSize{32, 64} : PictureSize{64, 32}));
  ASSERT_EQ(out.width, w);
  ASSERT_EQ(out.height, h);
  EXPECT_FALSE(out.has_app1);
  // The inner half of each quarter, away from the blurred borders.
  const int qw = w / 2, qh = h / 2;
  const char* names[] = {"top left", "top right", "bottom left", "bottom right"};
  for (int q = 0; q < 4; ++q) {
    const int x0 = (q % 2) * qw + qw / 4, y0 = (q / 2) * qh + qh / 4;
    ExpectNear(testing::MeanColour(out.rgb, w, x0, y0, x0 + qw / 2, y0 + qh / 2),
               c.quarters[std::size_t(q)], 40,
               std::string("orientation ") + std::to_string(c.orientation) + ", " + names[q]);
  }
}

using testing::kBlue;
using testing::kGreen;
using testing::kRed;
using testing::kWhite;

INSTANTIATE_TEST_SUITE_P(AllEight, OrientationTest,
                         ::testing::Values(OrientationCase{1, {kRed, kGreen, kBlue, kWhite}},
                                           OrientationCase{2, {kGreen, kRed, kWhite, kBlue}},
                                           OrientationCase{3, {kWhite, kBlue, kGreen, kRed}},
                                           OrientationCase{4, {kBlue, kWhite, kRed, kGreen}},
                                           OrientationCase{5, {kRed, kBlue, kGreen, kWhite}},
                                           OrientationCase{6, {kBlue, kRed, kWhite, kGreen}},
                                           OrientationCase{7, {kWhite, kGreen, kBlue, kRed}},
                                           OrientationCase{8, {kGreen, kWhite, kRed, kBlue}}),
                         [](const auto& row) {
                           return "Orientation" + std::to_string(row.param.orientation);
                         });

TEST(PictureReencoderTest, SizeRuleUsesTheUprightPicture) {
  // Stored 600 x 400 but to be turned a quarter: upright it is 400 x 600, so the limit of 200
  // applies to its height, as for a 6000 x 4000 photo that becomes 1333 x 2000.
  JpegFixtureOptions options;
  options.exif_orientation = 6;
  PictureReencoder reencoder;
  ReencodeOutcome outcome;
  const DecodedJpeg out =
      ReencodeAndDecode(&reencoder, EncodeFixtureJpeg(testing::GradientPixels(600, 400), options),
                        {200, 70}, &outcome);
  EXPECT_EQ(outcome.source, (PictureSize{400, 600}));
  EXPECT_EQ(outcome.result, (PictureSize{133, 200}));
  EXPECT_EQ(out.width, 133);
  EXPECT_EQ(out.height, 200);
}

struct IccCase {
  const char* name;
  JpegFixtureOptions options;
  std::vector<std::uint8_t> sample;
  bool carried;
};

JpegFixtureOptions WithIcc(Space space, Bytes profile) {
  JpegFixtureOptions options;
  options.space = space;
  options.icc_profile = std::move(profile);
  options.exif_orientation = 1;
  return options;
}

class IccProfileTest : public ::testing::TestWithParam<IccCase> {};

TEST_P(IccProfileTest, CarriesOnlyRgbProfiles) {
  const IccCase& c = GetParam();
  PictureReencoder reencoder;
  const DecodedJpeg out = ReencodeAndDecode(
      &reencoder, EncodeFixtureJpeg(testing::FlatPixels(16, 16, c.sample), c.options), {16, 70});
  if (c.carried) {
    EXPECT_EQ(out.icc_profile, c.options.icc_profile);
  } else {
    EXPECT_TRUE(out.icc_profile.empty());
  }
  EXPECT_FALSE(out.has_app1);
}

JpegFixtureOptions WithIncompleteIcc() {
  JpegFixtureOptions options;
  Bytes piece = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 2};
  const Bytes profile = testing::FakeIccProfile("RGB ", 300);
  piece.insert(piece.end(), profile.begin(), profile.end());
  options.extra_app2 = {piece};  // piece 1 of 2; piece 2 never comes
  return options;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IccProfileTest,
    ::testing::Values(
        IccCase{
            "Rgb", WithIcc(Space::kYCbCr, testing::FakeIccProfile("RGB ", 3000)), {9, 8, 7}, true},
        // More than one marker holds: 150,000 bytes come in three pieces.
        IccCase{"RgbInThreePieces",
                WithIcc(Space::kYCbCr, testing::FakeIccProfile("RGB ", 150000)),
                {9, 8, 7},
                true},
        IccCase{"Grey", WithIcc(Space::kGray, testing::FakeIccProfile("GRAY", 500)), {90}, false},
        IccCase{"Cmyk",
                WithIcc(Space::kCmyk, testing::FakeIccProfile("CMYK", 500)),
                {9, 8, 7, 200},
                false},
        IccCase{"Incomplete", WithIncompleteIcc(), {9, 8, 7}, false},
        IccCase{"None", JpegFixtureOptions{}, {9, 8, 7}, false}),
    [](const auto& row) { return std::string(row.param.name); });

// State must not leak from one picture to the next: each output equals that of a fresh
// reencoder, whatever came before (a profile, a turn, a failure half way, a BMP).
TEST(PictureReencoderTest, ReuseGivesTheSameBytesAsAFreshReencoder) {
  JpegFixtureOptions turned_with_profile;
  turned_with_profile.exif_orientation = 6;
  turned_with_profile.icc_profile = testing::FakeIccProfile("RGB ", 1000);
  Bytes truncated = EncodeFixtureJpeg(testing::NoisePixels(80, 60, 3));
  truncated.resize(truncated.size() / 2);
  const std::vector<Bytes> sequence = {
      EncodeFixtureJpeg(testing::GradientPixels(120, 80), turned_with_profile),
      truncated,
      EncodeFixtureJpeg(testing::FlatPixels(50, 70, {99}), With(Space::kGray)),
      testing::EncodeFixtureBmp(testing::QuarterPixels(30, 20), {}),
      EncodeFixtureJpeg(testing::NoisePixels(33, 47, 5), With(Space::kCmyk)),
      EncodeFixtureJpeg(testing::GradientPixels(120, 80), turned_with_profile),
      EncodeFixtureJpeg(testing::QuarterPixels(20, 20)),
  };
  PictureReencoder reused;
  Bytes out;
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    const ReencodeOutcome got = reused.ReencodeBytes(sequence[i], {40, 70}, &out);
    PictureReencoder fresh;
    Bytes expected;
    const ReencodeOutcome want = fresh.ReencodeBytes(sequence[i], {40, 70}, &expected);
    EXPECT_EQ(got.ok, want.ok) << "picture " << i;
    EXPECT_EQ(got.error, want.error) << "picture " << i;
    EXPECT_EQ(out, expected) << "picture " << i;
  }
}

TEST(PictureReencoderTest, FileAndMemoryGiveTheSameBytes) {
  testing::TempDir dir;
  JpegFixtureOptions options;
  options.quality = 98;
  const Bytes jpeg = EncodeFixtureJpeg(testing::NoisePixels(400, 400, 11), options);
  ASSERT_GT(jpeg.size(), 3u * 64 * 1024) << "the file must span several reads";
  const Bytes bmp = testing::EncodeFixtureBmp(testing::NoisePixels(150, 160, 12), {});
  ASSERT_GT(bmp.size(), 64u * 1024);
  // A BMP under a JPEG name is decoded by its content.
  testing::WriteFile(dir / "photo.jpg", jpeg);
  testing::WriteFile(dir / "scan.jpg", bmp);
  PictureReencoder reencoder;
  for (const auto& [name, bytes] : {std::pair{"photo.jpg", jpeg}, std::pair{"scan.jpg", bmp}}) {
    Bytes from_file, from_memory;
    const ReencodeOutcome file_outcome = reencoder.ReencodeFile(dir / name, {100, 70}, &from_file);
    ASSERT_TRUE(file_outcome.ok) << name << ": " << file_outcome.error;
    ASSERT_TRUE(reencoder.ReencodeBytes(bytes, {100, 70}, &from_memory).ok) << name;
    EXPECT_EQ(from_file, from_memory) << name;
    EXPECT_TRUE(DecodeFixtureJpeg(from_file).ok) << name;
  }
}

}  // namespace
}  // namespace lormex
