#include "packing/bmp_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdlib>

#include "packing/picture_limits.h"

namespace lormex {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kLargestInfoHeader = 124;
constexpr std::uint32_t kPlain = 0;           // BI_RGB
constexpr std::uint32_t kBitFields = 3;       // BI_BITFIELDS
constexpr std::uint32_t kAlphaBitFields = 6;  // BI_ALPHABITFIELDS

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

// One colour channel of a 16- or 32-bit pixel, given by a contiguous bit mask.
class Channel {
 public:
  // False when the mask is not one run of bits.
  bool Set(std::uint32_t mask) {
    mask_ = mask;
    if (mask == 0) {
      shift_ = 0;
      bits_ = 0;
      return true;
    }
    shift_ = std::countr_zero(mask);
    const std::uint32_t run = mask >> shift_;
    if ((run & (run + 1)) != 0) return false;
    bits_ = std::popcount(mask);
    if (bits_ <= 8) {
      // Stretch short fields to the full 0..255 range, rounded.
      const std::uint32_t top = run;
      for (std::uint32_t v = 0; v <= top; ++v)
        scale_[v] = static_cast<std::uint8_t>((v * 255 + top / 2) / top);
    }
    return true;
  }

  bool present() const { return mask_ != 0; }

  std::uint8_t Of(std::uint32_t pixel) const {
    if (bits_ == 0) return 0;
    const std::uint32_t value = (pixel & mask_) >> shift_;
    return bits_ <= 8 ? scale_[value] : static_cast<std::uint8_t>(value >> (bits_ - 8));
  }

 private:
  std::uint32_t mask_ = 0;
  int shift_ = 0;
  int bits_ = 0;
  std::array<std::uint8_t, 256> scale_{};
};

struct Layout {
  int width = 0;
  int height = 0;
  bool bottom_up = true;
  int bits = 0;
  bool masked = false;  // 16 or 32 bits read through channel masks
  Channel red, green, blue, alpha;
  std::array<std::uint8_t, 256 * 3> palette{};  // RGB; entries the file lacks stay black
};

// `c` laid over white with opacity `a`, rounded.
inline std::uint8_t OverWhite(std::uint8_t c, std::uint8_t a) {
  return static_cast<std::uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

void ConvertRow(const Layout& layout, const std::uint8_t* in, std::uint8_t* out) {
  const int width = layout.width;
  switch (layout.bits) {
    case 1:
    case 4:
    case 8: {
      const int bits = layout.bits;
      const int per_byte = 8 / bits;
      const unsigned mask = (1u << bits) - 1;
      for (int x = 0; x < width; ++x, out += 3) {
        const int shift = 8 - bits * (x % per_byte + 1);
        const unsigned index = (in[x / per_byte] >> shift) & mask;
        std::copy_n(&layout.palette[index * 3], 3, out);
      }
      return;
    }
    case 24:
      for (int x = 0; x < width; ++x, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
      return;
    default:
      break;
  }
  if (!layout.masked) {  // plain 32 bits: B, G, R and a spare byte
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
    return;
  }
  const int step = layout.bits / 8;
  for (int x = 0; x < width; ++x, in += step, out += 3) {
    const std::uint32_t pixel = step == 2 ? U16(in) : U32(in);
    out[0] = layout.red.Of(pixel);
    out[1] = layout.green.Of(pixel);
    out[2] = layout.blue.Of(pixel);
    if (layout.alpha.present()) {
      const std::uint8_t a = layout.alpha.Of(pixel);
      out[0] = OverWhite(out[0], a);
      out[1] = OverWhite(out[1], a);
      out[2] = OverWhite(out[2], a);
    }
  }
}

PictureError Truncated(const ByteSource& source) {
  if (source.read_error() != 0) return {PictureFailure::kReadError, source.read_error()};
  return {PictureFailure::kCorrupt};
}

}  // namespace

PictureError DecodeBmp(ByteSource* source, std::vector<std::uint8_t>* row_buffer,
                       PictureSink* sink) {
  std::uint8_t file_header[kFileHeaderSize];
  std::uint8_t info[kLargestInfoHeader] = {};
  if (!source->ReadExact(file_header, kFileHeaderSize) || !source->ReadExact(info, 4)) {
    return Truncated(*source);
  }
  if (file_header[0] != 'B' || file_header[1] != 'M') return {PictureFailure::kUnknownContent};
  const std::uint32_t pixel_offset = U32(file_header + 10);
  const std::uint32_t info_size = U32(info);
  if (info_size != 40 && info_size != 52 && info_size != 56 && info_size != 108 &&
      info_size != 124) {
    return {PictureFailure::kUnsupported};
  }
  if (!source->ReadExact(info + 4, info_size - 4)) return Truncated(*source);
  std::uint64_t position = kFileHeaderSize + info_size;

  Layout layout;
  const auto width = static_cast<std::int32_t>(U32(info + 4));
  const auto height = static_cast<std::int32_t>(U32(info + 8));
  const std::uint16_t planes = U16(info + 12);
  layout.bits = U16(info + 14);
  const std::uint32_t compression = U32(info + 16);
  const std::uint32_t colours_used = U32(info + 32);
  if (width < 1 || width > kMaxPictureSide || height == 0 || height < -kMaxPictureSide ||
      height > kMaxPictureSide || planes != 1) {
    return {PictureFailure::kCorrupt};
  }
  layout.width = width;
  layout.height = std::abs(height);
  layout.bottom_up = height > 0;
  const int bits = layout.bits;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return {PictureFailure::kCorrupt};
  }

  if (compression == kBitFields || compression == kAlphaBitFields) {
    if (bits != 16 && bits != 32) return {PictureFailure::kUnsupported};
    std::uint8_t masks[16] = {};
    if (info_size >= 52) {
      std::copy_n(info + 40, info_size >= 56 ? 16 : 12, masks);
    } else {
      const std::size_t count = compression == kAlphaBitFields ? 16 : 12;
      if (!source->ReadExact(masks, count)) return Truncated(*source);
      position += count;
    }
    const bool with_alpha = info_size >= 56 || compression == kAlphaBitFields;
    if (!layout.red.Set(U32(masks)) || !layout.green.Set(U32(masks + 4)) ||
        !layout.blue.Set(U32(masks + 8)) || !layout.alpha.Set(with_alpha ? U32(masks + 12) : 0)) {
      return {PictureFailure::kUnsupported};
    }
    layout.masked = true;
  } else if (compression == kPlain) {
    if (bits == 16) {
      layout.red.Set(0x7C00);
      layout.green.Set(0x03E0);
      layout.blue.Set(0x001F);
      layout.masked = true;
    }
  } else {
    return {PictureFailure::kUnsupported};
  }

  if (bits <= 8) {
    const std::uint32_t declared = colours_used == 0 ? 1u << bits : colours_used;
    const std::uint32_t entries = std::min<std::uint32_t>(declared, 256);
    for (std::uint32_t i = 0; i < entries; ++i) {
      std::uint8_t entry[4];
      if (!source->ReadExact(entry, 4)) return Truncated(*source);
      layout.palette[i * 3] = entry[2];
      layout.palette[i * 3 + 1] = entry[1];
      layout.palette[i * 3 + 2] = entry[0];
    }
    position += std::uint64_t{entries} * 4;
  }
  if (pixel_offset < position || pixel_offset - position > source->remaining()) {
    return {PictureFailure::kCorrupt};
  }
  if (!source->Skip(pixel_offset - position)) return Truncated(*source);

  // Every row is padded to 4 bytes; the padding of the last row may be missing.
  const std::uint64_t stride = (std::uint64_t(width) * std::uint64_t(bits) + 31) / 32 * 4;
  const std::uint64_t row_bytes = (std::uint64_t(width) * std::uint64_t(bits) + 7) / 8;
  const std::uint64_t needed = stride * std::uint64_t(layout.height - 1) + row_bytes;
  if (source->remaining() < needed) return Truncated(*source);
  try {
    row_buffer->resize(static_cast<std::size_t>(stride) + std::size_t(width) * 3);
  } catch (...) {
    return {PictureFailure::kOutOfMemory};
  }
  std::uint8_t* raw = row_buffer->data();
  std::uint8_t* rgb = raw + stride;

  const PictureFailure refused = sink->Begin(layout.width, layout.height, layout.bottom_up ? 4 : 1);
  if (refused != PictureFailure::kNone) return {refused};
  for (int y = 0; y < layout.height; ++y) {
    if (!source->ReadExact(raw, static_cast<std::size_t>(row_bytes))) return Truncated(*source);
    if (y + 1 < layout.height && !source->Skip(stride - row_bytes)) return Truncated(*source);
    ConvertRow(layout, raw, rgb);
    sink->Row(rgb);
  }
  return {};
}

}  // namespace lormex
