#ifndef LORMEX_PACKING_PICTURE_LIMITS_H_
#define LORMEX_PACKING_PICTURE_LIMITS_H_

#include <cstdint>

namespace lormex {

// Limits that keep a hostile or absurd picture within bounded time and memory. A picture beyond
// them is stored unchanged, so nothing is lost by being strict.

// The longest side libjpeg can encode or decode; BMP sources are held to the same bound.
inline constexpr int kMaxPictureSide = 65500;

// Decoding is streamed, so the source size costs time, not memory: about 13 s at 80 MP/s.
inline constexpr std::uint64_t kMaxSourcePixels = std::uint64_t{1} << 30;

// The resized picture is held whole (3 bytes a pixel): 768 MiB at most. The settings dialog
// allows 9000 x 9000 = 81 MP; only an edited preference file goes beyond that.
inline constexpr std::uint64_t kMaxOutputPixels = std::uint64_t{1} << 28;

// What libjpeg may use for whole-image coefficient buffers (progressive and multi-scan files):
// enough for an 85 MP progressive 4:2:0 photo or a 42 MP 4:4:4 one.
inline constexpr long kDecoderMemoryLimit = 256L * 1024 * 1024;

// A real progressive file has about ten scans; a few hundred is already absurd.
inline constexpr int kMaxJpegScans = 500;

}  // namespace lormex

#endif  // LORMEX_PACKING_PICTURE_LIMITS_H_
