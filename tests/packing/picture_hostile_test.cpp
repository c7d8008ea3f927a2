#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "packing/picture_reencoder.h"
#include "tests/packing/picture_fixtures.h"
#include "tests/packing/unprivileged.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::Bytes;
using testing::EncodeFixtureJpeg;
using testing::JpegFixtureOptions;

constexpr const char* kCorrupt = "图片已损坏";
constexpr const char* kUnsupported = "不支持的图片格式";
constexpr const char* kTooLarge = "图片尺寸过大";
constexpr const char* kUnknown = "不是可识别的图片";

Bytes Baseline() { return EncodeFixtureJpeg(testing::GradientPixels(48, 32)); }

Bytes Progressive() {
  JpegFixtureOptions options;
  options.progressive = true;
  return EncodeFixtureJpeg(testing::GradientPixels(48, 32), options);
}

Bytes Noise(std::size_t count, std::uint32_t seed) {
  Bytes out;
  for (std::size_t i = 0; i < count; ++i) {
    seed = seed * 1664525 + 1013904223;
    out.push_back(std::uint8_t(seed >> 24));
  }
  return out;
}

std::size_t FirstFrameHeader(const Bytes& jpeg) {
  for (const testing::MarkerAt& m : testing::ListMarkers(jpeg)) {
    if (m.code == 0xC0 || m.code == 0xC1 || m.code == 0xC2 || m.code == 0xC9 || m.code == 0xCA) {
      return m.offset;
    }
  }
  ADD_FAILURE() << "no frame header";
  return 0;
}

// The frame header with other sample precision or size.
Bytes Patched(Bytes jpeg, int precision, int width, int height) {
  const std::size_t sof = FirstFrameHeader(jpeg);
  if (precision > 0) jpeg[sof + 4] = std::uint8_t(precision);
  jpeg[sof + 5] = std::uint8_t(height >> 8);
  jpeg[sof + 6] = std::uint8_t(height);
  jpeg[sof + 7] = std::uint8_t(width >> 8);
  jpeg[sof + 8] = std::uint8_t(width);
  return jpeg;
}

Bytes Cut(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

// Everything up to the end of the first scan header: tables and frame, no coded data.
Bytes HeaderOnly() {
  const Bytes jpeg = Baseline();
  const std::size_t sos = std::size_t(testing::FindMarker(jpeg, 0xDA));
  return Cut(jpeg, sos + 2 + (std::size_t(jpeg[sos + 2]) << 8 | jpeg[sos + 3]));
}

// The last scan once more before the end marker: a progression that repeats itself.
Bytes RepeatedLastScan() {
  Bytes jpeg = Progressive();
  std::size_t last_scan = 0, end = 0;
  for (const testing::MarkerAt& m : testing::ListMarkers(jpeg)) {
    if (m.code == 0xDA) last_scan = m.offset;
    if (m.code == 0xD9) end = m.offset;
  }
  const Bytes scan(jpeg.begin() + std::ptrdiff_t(last_scan), jpeg.begin() + std::ptrdiff_t(end));
  jpeg.insert(jpeg.begin() + std::ptrdiff_t(end), scan.begin(), scan.end());
  return jpeg;
}

// A restart marker in the middle of data that has none.
Bytes StrayRestartMarker() {
  Bytes jpeg = EncodeFixtureJpeg(testing::NoisePixels(64, 64, 9));
  const std::size_t sos = std::size_t(testing::FindMarker(jpeg, 0xDA));
  std::size_t middle = (sos + jpeg.size()) / 2;
  while (jpeg[middle - 1] == 0xFF || jpeg[middle] == 0x00) ++middle;
  jpeg.insert(jpeg.begin() + std::ptrdiff_t(middle), {0xFF, 0xD3});
  return jpeg;
}

// The end marker replaced by the start of a marker segment that the file cuts short: the rows
// are all there, but the file is damaged behind them.
Bytes DamageAfterLastScan() {
  Bytes jpeg = Baseline();
  jpeg.resize(jpeg.size() - 2);
  jpeg.insert(jpeg.end(), {0xFF, 0xE1, 0x00, 0x10, 'E', 'x'});
  return jpeg;
}

Bytes WithSpace(JpegFixtureOptions::Space space, std::vector<std::uint8_t> sample) {
  JpegFixtureOptions options;
  options.space = space;
  return EncodeFixtureJpeg(testing::FlatPixels(48, 32, std::move(sample)), options);
}

Bytes Option(const std::function<void(JpegFixtureOptions*)>& set) {
  JpegFixtureOptions options;
  set(&options);
  return EncodeFixtureJpeg(testing::GradientPixels(48, 32), options);
}

// Thousands of APP2 markers that all claim to be piece 1 of 1 of a profile.
Bytes IccFlood() {
  JpegFixtureOptions options;
  const Bytes piece = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1, 'x'};
  options.extra_app2.assign(3000, piece);
  return EncodeFixtureJpeg(testing::GradientPixels(48, 32), options);
}

// An Exif block whose TIFF data is noise.
Bytes NoisyExif() {
  Bytes jpeg = Baseline();
  Bytes segment = {0xFF, 0xE1, 0x01, 0x06, 'E', 'x', 'i', 'f', 0, 0};
  const Bytes noise = Noise(0x106 - 8, 4);
  segment.insert(segment.end(), noise.begin(), noise.end());
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

Bytes WithTrailingGarbage() {
  Bytes jpeg = Baseline();
  const Bytes noise = Noise(1000, 5);
  jpeg.insert(jpeg.end(), noise.begin(), noise.end());
  return jpeg;
}

// An arithmetic-coded picture cut short inside its first scan, closed by an end marker. A
// marker inside arithmetic-coded data is legal and the decoder quietly supplies zeros after it,
// so it would decode without a word of the damage.
Bytes ArithmeticCutInsideScan(bool progressive) {
  JpegFixtureOptions options;
  options.arithmetic = true;
  options.progressive = progressive;
  Bytes jpeg = EncodeFixtureJpeg(testing::NoisePixels(64, 128, 3), options);
  for (const testing::MarkerAt& m : testing::ListMarkers(jpeg)) {
    if (m.code != 0xDA) continue;
    const std::size_t data =
        m.offset + 2 + std::size_t(jpeg[m.offset + 2] << 8 | jpeg[m.offset + 3]);
    jpeg.resize(data + (jpeg.size() - data) / 10);
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
    return jpeg;
  }
  ADD_FAILURE() << "no scan";
  return jpeg;
}

struct HostileCase {
  const char* name;
  Bytes bytes;
  bool ok;
  const char* error;  // the expected reason when it fails; nullptr: any reason
};

class HostilePictureTest : public ::testing::TestWithParam<HostileCase> {};

// Each picture ends either as a valid re-encoded JPEG or as a reported failure with nothing
// written; none may crash, hang or come out as a grey-filled picture. Run under ASan/UBSan too.
TEST_P(HostilePictureTest, EndsAsAValidPictureOrAFailure) {
  const HostileCase& c = GetParam();
  PictureReencoder reencoder;
  Bytes out = {1, 2, 3};
  const ReencodeOutcome outcome = reencoder.ReencodeBytes(c.bytes, {40, 70}, &out);
  ASSERT_EQ(outcome.ok, c.ok) << outcome.error;
  if (c.ok) {
    EXPECT_TRUE(outcome.error.empty());
    const testing::DecodedJpeg decoded = testing::DecodeFixtureJpeg(out);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 40);
    EXPECT_EQ(decoded.components, 3);
    EXPECT_FALSE(decoded.has_app1);
    EXPECT_FALSE(decoded.progressive);
  } else {
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(outcome.error.empty());
    if (c.error != nullptr) {
      EXPECT_EQ(outcome.error, c.error);
    }
  }
}

// A line "<key>: <n> kB" of /proc/self/status, or -1.
long StatusKiB(const char* key) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long value = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, key, std::strlen(key)) == 0) {
      value = std::strtol(line + std::strlen(key) + 1, nullptr, 10);
    }
  }
  std::fclose(status);
  return value;
}

// Memory is bounded too: whatever a file claims, re-encoding it to 40 pixels needs no more than
// a few megabytes beyond what the process held before (measured in a child process, as the growth
// of its peak resident size). Sanitizers change what a process holds, so only plain builds measure.
TEST_P(HostilePictureTest, NeedsBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer build holds memory of its own";
#endif
  constexpr long kBoundKiB = 16 * 1024;
  const Bytes& bytes = GetParam().bytes;
  const std::string result = testing::RunInChild([&bytes]() -> std::string {
    // Writing "5" resets the peak to the current resident size.
    std::FILE* clear = std::fopen("/proc/self/clear_refs", "w");
    if (clear == nullptr || std::fputs("5", clear) < 0 || std::fclose(clear) != 0) return "skip";
    const long before = StatusKiB("VmRSS:");
    PictureReencoder reencoder;
    Bytes out;
    reencoder.ReencodeBytes(bytes, {40, 70}, &out);
    const long peak = StatusKiB("VmHWM:");
    if (before < 0 || peak < 0) return "skip";
    return std::to_string(peak - before);
  });
  if (result == "skip") GTEST_SKIP() << "the peak resident size cannot be reset here";
  char* end = nullptr;
  const long growth = std::strtol(result.c_str(), &end, 10);
  ASSERT_TRUE(!result.empty() && *end == '\0') << result;
  RecordProperty("peak_growth_kib", std::to_string(growth));
  EXPECT_LT(growth, kBoundKiB) << "KiB of peak growth";
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostilePictureTest,
    ::testing::Values(
        HostileCase{"Empty", {}, false, "文件为空"},
        HostileCase{"OneByte", {0xFF}, false, kUnknown},
        HostileCase{"TextNamedJpg", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}, false,
                    kUnknown},
        HostileCase{"StartMarkerThenNoise",
                    [] {
                      Bytes b = {0xFF, 0xD8};
                      Bytes n = Noise(2000, 1);
                      b.insert(b.end(), n.begin(), n.end());
                      return b;
                    }(),
                    false, nullptr},
        HostileCase{"StartMarkerOnly", {0xFF, 0xD8}, false, kCorrupt},
        HostileCase{"HeaderOnly", HeaderOnly(), false, kCorrupt},
        HostileCase{"TruncatedHalf", Cut(Baseline(), Baseline().size() / 2), false, kCorrupt},
        HostileCase{"EndMarkerMissing", Cut(Baseline(), Baseline().size() - 2), false, kCorrupt},
        HostileCase{"ProgressiveTruncated", Cut(Progressive(), Progressive().size() * 2 / 3), false,
                    kCorrupt},
        HostileCase{"DamageAfterLastScan", DamageAfterLastScan(), false, kCorrupt},
        HostileCase{"StrayRestartMarker", StrayRestartMarker(), false, kCorrupt},
        HostileCase{"RepeatedScan", RepeatedLastScan(), false, kCorrupt},
        HostileCase{"ThousandsOfScans", Option([](auto* o) { o->many_scans = true; }), false,
                    "图片扫描段过多"},
        HostileCase{"TwelveBit", Patched(Baseline(), 12, 48, 32), false, kUnsupported},
        HostileCase{"ZeroWidth", Patched(Baseline(), 0, 0, 32), false, kCorrupt},
        HostileCase{"Claims65500Square", Patched(Baseline(), 0, 65500, 65500), false, kTooLarge},
        HostileCase{"ProgressiveClaims65500Square", Patched(Progressive(), 0, 65500, 65500), false,
                    kTooLarge},
        // Within the pixel limit, so decoding starts, but the data ends after a few blocks.
        HostileCase{"ClaimsLargeButDataEnds", Patched(Baseline(), 0, 30000, 30000), false,
                    kCorrupt},
        // Its coefficient buffers would need about 2 GB: beyond libjpeg's memory cap.
        HostileCase{"ProgressiveClaimsLarge", Patched(Progressive(), 0, 30000, 30000), false,
                    kTooLarge},
        HostileCase{"BmpSignatureOnly", Bytes{'B', 'M', 0, 0, 0, 0}, false, kCorrupt},
        HostileCase{"Progressive", Progressive(), true, nullptr},
        // Damage in arithmetic-coded data cannot be told from a whole picture, so every such
        // picture is kept as it is.
        HostileCase{"Arithmetic", Option([](auto* o) { o->arithmetic = true; }), false,
                    kUnsupported},
        HostileCase{"ArithmeticProgressive", Option([](auto* o) {
                      o->arithmetic = true;
                      o->progressive = true;
                    }),
                    false, kUnsupported},
        HostileCase{"ArithmeticCutInsideScan", ArithmeticCutInsideScan(false), false, kUnsupported},
        HostileCase{"ProgressiveArithmeticCutInsideScan", ArithmeticCutInsideScan(true), false,
                    kUnsupported},
        HostileCase{"RestartMarkers", Option([](auto* o) { o->restart_rows = 1; }), true, nullptr},
        HostileCase{"Cmyk", WithSpace(JpegFixtureOptions::Space::kCmyk, {1, 2, 3, 4}), true,
                    nullptr},
        HostileCase{"YcckAdobeInverted", WithSpace(JpegFixtureOptions::Space::kYcck, {1, 2, 3, 4}),
                    true, nullptr},
        HostileCase{"IccFlood", IccFlood(), true, nullptr},
        HostileCase{"NoisyExif", NoisyExif(), true, nullptr},
        HostileCase{"TrailingGarbage", WithTrailingGarbage(), true, nullptr}),
    [](const auto& row) { return std::string(row.param.name); });

struct BmpFailureCase {
  const char* name;
  std::function<void(Bytes*)> damage;
  const char* error;
};

class BmpFailureTest : public ::testing::TestWithParam<BmpFailureCase> {};

void SetU32(Bytes* b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

// Header fields are checked against the real data before anything is allocated; a declared
// width of two billion must fail at once, not allocate a row of gigabytes.
TEST_P(BmpFailureTest, Fails) {
  testing::BmpFixtureOptions options;
  options.bits = 8;
  Bytes bmp = testing::EncodeFixtureBmp(testing::QuarterPixels(32, 16), options);
  GetParam().damage(&bmp);
  PictureReencoder reencoder;
  Bytes out;
  const ReencodeOutcome outcome = reencoder.ReencodeBytes(bmp, {40, 70}, &out);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error, GetParam().error);
  EXPECT_TRUE(out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, BmpFailureTest,
    ::testing::Values(
        BmpFailureCase{"Truncated", [](Bytes* b) { b->resize(b->size() - 40); }, kCorrupt},
        BmpFailureCase{"HeaderCut", [](Bytes* b) { b->resize(30); }, kCorrupt},
        BmpFailureCase{"Rle8", [](Bytes* b) { SetU32(b, 30, 1); }, kUnsupported},
        BmpFailureCase{"EmbeddedJpeg", [](Bytes* b) { SetU32(b, 30, 4); }, kUnsupported},
        BmpFailureCase{"CoreHeader", [](Bytes* b) { SetU32(b, 14, 12); }, kUnsupported},
        BmpFailureCase{"ZeroWidth", [](Bytes* b) { SetU32(b, 18, 0); }, kCorrupt},
        BmpFailureCase{"ZeroHeight", [](Bytes* b) { SetU32(b, 22, 0); }, kCorrupt},
        BmpFailureCase{"HugeWidth", [](Bytes* b) { SetU32(b, 18, 0x7FFFFFFF); }, kCorrupt},
        BmpFailureCase{"MostNegativeHeight", [](Bytes* b) { SetU32(b, 22, 0x80000000); }, kCorrupt},
        BmpFailureCase{"WidthBeyondData", [](Bytes* b) { SetU32(b, 18, 60000); }, kCorrupt},
        BmpFailureCase{"TwoBitsPerPixel", [](Bytes* b) { (*b)[28] = 2; }, kCorrupt},
        BmpFailureCase{"PixelsInsidePalette", [](Bytes* b) { SetU32(b, 10, 100); }, kCorrupt},
        BmpFailureCase{"BitFieldsOnPalette", [](Bytes* b) { SetU32(b, 30, 3); }, kUnsupported}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(BmpFailureTest, GappedMaskIsRefused) {
  testing::BmpFixtureOptions options;
  options.bits = 32;
  options.header_size = 56;
  options.bit_fields = true;
  options.masks = {0xFF0000, 0xFF00, 0xFF, 0};
  Bytes bmp = testing::EncodeFixtureBmp(testing::QuarterPixels(8, 8), options);
  SetU32(&bmp, 14 + 40, 0x00F0F000);  // red mask with a gap
  PictureReencoder reencoder;
  Bytes out;
  EXPECT_EQ(reencoder.ReencodeBytes(bmp, {8, 70}, &out).error, kUnsupported);
}

struct FileCase {
  const char* name;
  std::function<std::string(const testing::TempDir&)> make;  // gives the path to re-encode
  int max_side;
  const char* error;  // the reason, or its beginning when it ends with "："
};

class FileFailureTest : public ::testing::TestWithParam<FileCase> {};

// What the caller must store unchanged, with the reason it shows.
TEST_P(FileFailureTest, ReportsTheReason) {
  testing::TempDir dir;
  const std::string path = GetParam().make(dir);
  PictureReencoder reencoder;
  Bytes out = {1};
  const ReencodeOutcome outcome = reencoder.ReencodeFile(path, {GetParam().max_side, 70}, &out);
  EXPECT_FALSE(outcome.ok);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(outcome.error.substr(0, std::string(GetParam().error).size()), GetParam().error)
      << outcome.error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileFailureTest,
    ::testing::Values(
        FileCase{"TextNamedJpg",
                 [](const testing::TempDir& d) {
                   testing::WriteFile(d / "broken.jpg", std::string("this is not a picture\n"));
                   return d / "broken.jpg";
                 },
                 2000, kUnknown},
        FileCase{"EmptyFile",
                 [](const testing::TempDir& d) {
                   testing::WriteFile(d / "empty.jpg", std::string());
                   return d / "empty.jpg";
                 },
                 2000, "文件为空"},
        // 5000 x 2 at a limit of 100 would be 100 x 0.
        FileCase{"SideOfZero",
                 [](const testing::TempDir& d) {
                   testing::WriteFile(d / "strip.jpg",
                                      EncodeFixtureJpeg(testing::GradientPixels(5000, 2)));
                   return d / "strip.jpg";
                 },
                 100, "缩放后的图片尺寸为 0"},
        FileCase{"LimitOfZero",
                 [](const testing::TempDir& d) {
                   testing::WriteFile(d / "a.jpg", Baseline());
                   return d / "a.jpg";
                 },
                 0, "缩放后的图片尺寸为 0"},
        FileCase{"NegativeLimit",
                 [](const testing::TempDir& d) {
                   testing::WriteFile(d / "a.jpg", Baseline());
                   return d / "a.jpg";
                 },
                 -2000, "缩放后的图片尺寸为 0"},
        FileCase{"LimitBeyondTheEncoder",
                 [](const testing::TempDir& d) {
                   testing::WriteFile(d / "a.jpg", Baseline());
                   return d / "a.jpg";
                 },
                 70000, kTooLarge},
        FileCase{"Missing", [](const testing::TempDir& d) { return d / "gone.jpg"; }, 2000,
                 "无法读取文件："},
        FileCase{"Folder",
                 [](const testing::TempDir& d) {
                   testing::MakeFolders(d / "folder.jpg");
                   return d / "folder.jpg";
                 },
                 2000, "不是普通文件"},
        // Opening a pipe for reading would wait for a writer; it must fail at once instead.
        FileCase{"Pipe",
                 [](const testing::TempDir& d) {
                   EXPECT_EQ(mkfifo((d / "pipe.jpg").c_str(), 0600), 0);
                   return d / "pipe.jpg";
                 },
                 2000, "不是普通文件"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PictureFailureTest, SideOfZeroStillReportsTheSourceSize) {
  PictureReencoder reencoder;
  Bytes out;
  const ReencodeOutcome outcome =
      reencoder.ReencodeBytes(EncodeFixtureJpeg(testing::GradientPixels(5000, 2)), {100, 70}, &out);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.source, (PictureSize{5000, 2}));
  EXPECT_EQ(outcome.result, (PictureSize{0, 0}));
}

}  // namespace
}  // namespace lormex
