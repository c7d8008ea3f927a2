#ifndef LORMEX_PACKING_PICTURE_SINK_H_
#define LORMEX_PACKING_PICTURE_SINK_H_

#include <cstdint>

#include "packing/picture_failure.h"

namespace lormex {

// Receives a decoded picture row by row, so no decoder ever holds a whole picture. Called on the
// decoding thread; neither call may throw, since they run between C library calls.
class PictureSink {
 public:
  virtual ~PictureSink() = default;

  // The stored size and the orientation (1 to 8, as the Exif tag counts) are known; called once
  // before any row. Anything but kNone ends the decoding with that failure.
  virtual PictureFailure Begin(int width, int height, int orientation) noexcept = 0;

  // The next stored row, top to bottom as stored: `width` pixels of 3 bytes (R, G, B).
  virtual void Row(const std::uint8_t* rgb) noexcept = 0;
};

}  // namespace lormex

#endif  // LORMEX_PACKING_PICTURE_SINK_H_
