#include "packing/exif_orientation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace lormex {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes* out, unsigned value, bool big) {
  if (big) {
    out->push_back(std::uint8_t(value >> 8));
    out->push_back(std::uint8_t(value));
  } else {
    out->push_back(std::uint8_t(value));
    out->push_back(std::uint8_t(value >> 8));
  }
}

void Put32(Bytes* out, std::uint32_t value, bool big) {
  Put16(out, big ? value >> 16 : value & 0xFFFF, big);
  Put16(out, big ? value & 0xFFFF : value >> 16, big);
}

struct Entry {
  unsigned tag;
  unsigned type;
  std::uint32_t count;
  unsigned value;
};

// TIFF data (as after "Exif\0\0") with IFD0 at `ifd_offset` holding `entries`.
Bytes Tiff(bool big, const std::vector<Entry>& entries, std::uint32_t ifd_offset = 8) {
  Bytes out;
  out.push_back(big ? 'M' : 'I');
  out.push_back(big ? 'M' : 'I');
  Put16(&out, 42, big);
  Put32(&out, ifd_offset, big);
  if (ifd_offset > out.size()) out.resize(ifd_offset, 0);
  Put16(&out, unsigned(entries.size()), big);
  for (const Entry& e : entries) {
    Put16(&out, e.tag, big);
    Put16(&out, e.type, big);
    Put32(&out, e.count, big);
    Put16(&out, e.value, big);
    Put16(&out, 0, big);
  }
  Put32(&out, 0, big);
  return out;
}

const Entry kWidthTag = {0x0100, 3, 1, 640};

TEST(ExifOrientationTest, ReadsEveryValueInBothByteOrders) {
  for (bool big : {false, true}) {
    for (unsigned value = 1; value <= 8; ++value) {
      EXPECT_EQ(ExifOrientation(Tiff(big, {kWidthTag, {0x0112, 3, 1, value}})), int(value))
          << (big ? "big" : "little") << " endian, value " << value;
    }
  }
}

struct BadCase {
  const char* name;
  Bytes tiff;
};

class ExifOrientationFallbackTest : public ::testing::TestWithParam<BadCase> {};

// Anything but a clean tag means "as stored"; ASan proves nothing is read outside the data.
TEST_P(ExifOrientationFallbackTest, GivesOne) { EXPECT_EQ(ExifOrientation(GetParam().tiff), 1); }

// `tiff` with the byte at `at` set to `value`, and cut to `size` bytes when given.
Bytes Changed(Bytes tiff, std::size_t at, std::uint8_t value, std::size_t size = 0) {
  tiff[at] = value;
  if (size != 0) tiff.resize(size);
  return tiff;
}

const Bytes kSixLittle = Tiff(false, {{0x0112, 3, 1, 6}});
const Bytes kSixBig = Tiff(true, {{0x0112, 3, 1, 6}});

INSTANTIATE_TEST_SUITE_P(
    Cases, ExifOrientationFallbackTest,
    ::testing::Values(BadCase{"Empty", {}}, BadCase{"NoTag", Tiff(false, {kWidthTag})},
                      BadCase{"ValueZero", Tiff(false, {{0x0112, 3, 1, 0}})},
                      BadCase{"ValueNine", Tiff(true, {{0x0112, 3, 1, 9}})},
                      BadCase{"WrongType", Tiff(false, {{0x0112, 4, 1, 6}})},
                      BadCase{"NoValues", Tiff(false, {{0x0112, 3, 0, 6}})},
                      BadCase{"BadByteOrder", Changed(kSixLittle, 0, 'X')},
                      BadCase{"BadMagic", Changed(kSixLittle, 2, 43)},
                      BadCase{"IfdBeyondEnd", Changed(kSixBig, 4, 0x7F)},
                      BadCase{"IfdInsideHeader", Tiff(false, {{0x0112, 3, 1, 6}}, 4)},
                      // 65535 entries declared, only the first present.
                      BadCase{"CountBeyondEnd",
                              Changed(Changed(Tiff(false, {kWidthTag, {0x0112, 3, 1, 6}}), 8, 0xFF),
                                      9, 0xFF, 8 + 2 + 12)}),
    [](const ::testing::TestParamInfo<BadCase>& row) { return row.param.name; });

TEST(ExifOrientationTest, EveryTruncationIsSafe) {
  const Bytes full = Tiff(true, {kWidthTag, {0x0112, 3, 1, 6}});
  for (std::size_t size = 0; size < full.size(); ++size) {
    // Heap copies of exactly `size` bytes, so AddressSanitizer sees any read beyond them.
    const Bytes part(full.begin(), full.begin() + std::ptrdiff_t(size));
    const int orientation = ExifOrientation(part);
    // The tag's value ends 6 bytes before the end (4 value bytes minus 2, then the next-IFD link).
    const bool whole_tag = size >= full.size() - 6;
    EXPECT_EQ(orientation, whole_tag ? 6 : 1) << "size " << size;
  }
}

}  // namespace
}  // namespace lormex
