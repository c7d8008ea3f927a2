#include "packing/exif_orientation.h"

#include <cstddef>

namespace lormex {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kEntrySize = 12;

class TiffReader {
 public:
  TiffReader(std::span<const std::uint8_t> data, bool big_endian)
      : data_(data), big_endian_(big_endian) {}

  bool U16(std::size_t offset, std::uint16_t* value) const {
    if (offset > data_.size() || data_.size() - offset < 2) return false;
    std::uint16_t a = data_[offset], b = data_[offset + 1];
    *value = static_cast<std::uint16_t>(big_endian_ ? (a << 8) | b : (b << 8) | a);
    return true;
  }

  bool U32(std::size_t offset, std::uint32_t* value) const {
    std::uint16_t first, second;
    if (!U16(offset, &first) || !U16(offset + 2, &second)) return false;
    *value =
        big_endian_ ? (std::uint32_t{first} << 16) | second : (std::uint32_t{second} << 16) | first;
    return true;
  }

 private:
  std::span<const std::uint8_t> data_;
  bool big_endian_;
};

}  // namespace

int ExifOrientation(std::span<const std::uint8_t> tiff) {
  if (tiff.size() < 8) return 1;
  bool big_endian;
  if (tiff[0] == 'I' && tiff[1] == 'I') {
    big_endian = false;
  } else if (tiff[0] == 'M' && tiff[1] == 'M') {
    big_endian = true;
  } else {
    return 1;
  }
  TiffReader reader(tiff, big_endian);
  std::uint16_t magic, count;
  std::uint32_t ifd;
  if (!reader.U16(2, &magic) || magic != 42 || !reader.U32(4, &ifd) || ifd < 8 ||
      !reader.U16(ifd, &count)) {
    return 1;
  }
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t entry = std::size_t{ifd} + 2 + i * kEntrySize;
    std::uint16_t tag, type, value;
    std::uint32_t values;
    if (!reader.U16(entry, &tag) || !reader.U16(entry + 2, &type) ||
        !reader.U32(entry + 4, &values) || !reader.U16(entry + 8, &value)) {
      return 1;
    }
    if (tag != kOrientationTag) continue;
    if (type != kTypeShort || values < 1 || value < 1 || value > 8) return 1;
    return value;
  }
  return 1;
}

bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

OrientationMap UprightToStored(int orientation, int stored_width, int stored_height) {
  const int right = stored_width - 1;
  const int bottom = stored_height - 1;
  switch (orientation) {
    case 2:  // mirrored left to right
      return {right, 0, -1, 0, 0, 1};
    case 3:  // turned by 180 degrees
      return {right, bottom, -1, 0, 0, -1};
    case 4:  // mirrored top to bottom
      return {0, bottom, 1, 0, 0, -1};
    case 5:  // mirrored along the main diagonal
      return {0, 0, 0, 1, 1, 0};
    case 6:  // must be turned clockwise by a quarter to stand upright
      return {0, bottom, 0, -1, 1, 0};
    case 7:  // mirrored along the other diagonal
      return {right, bottom, 0, -1, -1, 0};
    case 8:  // must be turned anticlockwise by a quarter
      return {right, 0, 0, 1, -1, 0};
    default:
      return {};
  }
}

}  // namespace lormex
