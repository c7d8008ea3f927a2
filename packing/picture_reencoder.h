#ifndef LORMEX_PACKING_PICTURE_REENCODER_H_
#define LORMEX_PACKING_PICTURE_REENCODER_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace lormex {

struct PictureSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// The size of a re-encoded picture of `width` x `height` whose longer side becomes `max_side`:
// the ratio width / height is taken in single precision, the other side is computed in double
// precision from it and rounded to the nearest integer, an exact half to the even neighbour.
// Smaller pictures are enlarged. A side may come out as 0 (or below, for max_side <= 0); a
// width or height of 0 or less gives 0 x 0. Independent of the floating-point rounding mode.
// Thread-safe.
PictureSize ScaledPictureSize(int width, int height, int max_side);

struct ReencodeSettings {
  int max_side = 2000;  // ImageMaxWidth at the moment the picture is taken up
  int quality = 70;     // ImageQuality; clamped to 1..100 for the encoder
};

// What became of one picture. On failure `error` holds a short reason in the product's language
// (Chinese, e.g. "图片已损坏") and the caller stores the original bytes unchanged instead.
struct ReencodeOutcome {
  bool ok = false;
  std::string error;
  PictureSize source;  // upright size of the decoded picture, when known (also on failure)
  PictureSize result;  // upright size of the encoded picture; 0 x 0 on failure
};

// Decodes a picture by its content (JPEG or BMP), turns it upright by its Exif orientation,
// resizes it by ScaledPictureSize (area averaging when shrinking, linear interpolation when
// enlarging) and encodes it as a baseline JFIF JPEG with libjpeg's defaults, carrying an RGB ICC
// profile of the source and no other metadata. Decoding streams rows into the resampler, so
// memory stays near the size of the output whatever the size of the source. A damaged,
// truncated, unsupported or absurdly large picture fails (never a partly grey result), as does a
// side of 0; the limits are in packing/picture_limits.h. Any input is safe to pass. Buffers are
// kept between pictures; use one reencoder per thread.
class PictureReencoder {
 public:
  PictureReencoder();
  ~PictureReencoder();
  PictureReencoder(const PictureReencoder&) = delete;
  PictureReencoder& operator=(const PictureReencoder&) = delete;

  // Re-encodes the file at `path` into `*jpeg` (replacing its contents, keeping its capacity;
  // empty on failure). The file is read in pieces, never held whole.
  ReencodeOutcome ReencodeFile(const std::string& path, const ReencodeSettings& settings,
                               std::vector<std::uint8_t>* jpeg);

  // The same for a picture already in memory.
  ReencodeOutcome ReencodeBytes(std::span<const std::uint8_t> data,
                                const ReencodeSettings& settings, std::vector<std::uint8_t>* jpeg);

 private:
  struct Buffers;
  std::unique_ptr<Buffers> buffers_;
};

}  // namespace lormex

#endif  // LORMEX_PACKING_PICTURE_REENCODER_H_
