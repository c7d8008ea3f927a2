#ifndef LORMEX_TESTS_PACKING_PICTURE_FIXTURES_H_
#define LORMEX_TESTS_PACKING_PICTURE_FIXTURES_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lormex::testing {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<int, 3>;

// Raw samples, `components` bytes a pixel (3: RGB, 1: grey, 4: CMYK as Adobe writes it).
struct TestPixels {
  int width = 0;
  int height = 0;
  int components = 3;
  Bytes samples;
};

TestPixels FlatPixels(int width, int height, std::vector<std::uint8_t> sample);
// Red, green, blue and white quarters (top left, top right, bottom left, bottom right): any
// turn or mirror of the picture moves the colours.
TestPixels QuarterPixels(int width, int height);
// Smooth horizontal and vertical ramps, noise-free.
TestPixels GradientPixels(int width, int height);
// Pseudo-random RGB noise, so the compressed file is large.
TestPixels NoisePixels(int width, int height, std::uint32_t seed);

inline const Rgb kRed = {255, 0, 0};
inline const Rgb kGreen = {0, 255, 0};
inline const Rgb kBlue = {0, 0, 255};
inline const Rgb kWhite = {255, 255, 255};

struct JpegFixtureOptions {
  enum class Space { kYCbCr, kRgb, kGray, kCmyk, kYcck };
  Space space = Space::kYCbCr;  // how the file stores its colours
  int quality = 92;
  bool progressive = false;
  bool arithmetic = false;
  int restart_rows = 0;
  bool many_scans = false;   // a valid progression of several hundred scans
  int exif_orientation = 0;  // 0: no Exif block
  bool big_endian_exif = false;
  Bytes icc_profile;              // written when not empty
  std::vector<Bytes> extra_app2;  // APP2 payloads written as they are
};

// Encodes `pixels` with libjpeg as the options say.
Bytes EncodeFixtureJpeg(const TestPixels& pixels, const JpegFixtureOptions& options = {});

// An ICC profile of `size` bytes (at least 128) whose colour space field is `space`.
Bytes FakeIccProfile(const char (&space)[5], std::size_t size);

// What an independent libjpeg decode says about a JPEG.
struct DecodedJpeg {
  bool ok = false;
  std::string error;
  int width = 0;
  int height = 0;
  int components = 0;
  bool ycbcr = false;
  bool progressive = false;
  bool arithmetic = false;
  int restart_interval = 0;
  bool jfif = false;
  int jfif_major = 0;
  int jfif_minor = 0;
  int density_unit = -1;
  int x_density = 0;
  int y_density = 0;
  std::array<int, 3> h_sampling{};
  std::array<int, 3> v_sampling{};
  int first_luma_quant = 0;
  int max_quant = 0;
  bool has_app1 = false;
  Bytes icc_profile;
  std::vector<int> markers;  // marker codes from SOI up to the first SOS
  Bytes rgb;                 // decoded pixels
};

DecodedJpeg DecodeFixtureJpeg(const Bytes& jpeg);

// Mean colour of the rectangle [x0, x1) x [y0, y1) of an RGB picture of `width` pixels a row.
Rgb MeanColour(const Bytes& rgb, int width, int x0, int y0, int x1, int y1);

// The BMP layouts the tests write.
struct BmpFixtureOptions {
  int bits = 24;  // 1, 4, 8 (palette), 16, 24, 32
  bool top_down = false;
  int header_size = 40;  // 40, 52, 56, 108, 124
  bool bit_fields = false;
  std::array<std::uint32_t, 4> masks{};  // R, G, B, A for bit fields
  std::vector<std::uint8_t> alpha;       // one value a pixel, for masks with alpha
  bool drop_last_padding = false;
  std::uint32_t compression_override = 0xFFFFFFFF;  // to write an unsupported compression
};

// Writes `pixels` (RGB) as a BMP; paletted layouts take the distinct colours as the palette.
Bytes EncodeFixtureBmp(const TestPixels& pixels, const BmpFixtureOptions& options);

// The markers of a JPEG in file order, entropy-coded data skipped: the marker code (the byte
// after 0xFF) and the offset of its 0xFF.
struct MarkerAt {
  int code = 0;
  std::size_t offset = 0;
};
std::vector<MarkerAt> ListMarkers(const Bytes& jpeg);

// Offset of the first marker `code` in a JPEG, or -1.
long FindMarker(const Bytes& jpeg, int code);

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_PACKING_PICTURE_FIXTURES_H_
