#ifndef LORMEX_PACKING_EXIF_ORIENTATION_H_
#define LORMEX_PACKING_EXIF_ORIENTATION_H_

#include <cstdint>
#include <span>

namespace lormex {

// The orientation tag (0x0112) of IFD0 in the TIFF data of an Exif block (the bytes after
// "Exif\0\0"), either byte order. 1 (as stored) when the tag is missing, out of range or the data
// is damaged; never reads outside `tiff`.
int ExifOrientation(std::span<const std::uint8_t> tiff);

// True for the orientations 5 to 8, whose upright picture has width and height exchanged.
bool OrientationSwapsSides(int orientation);

// Where the pixel (u, v) of the upright picture lies in the stored picture:
// x = x0 + u * du_x + v * dv_x, y = y0 + u * du_y + v * dv_y.
struct OrientationMap {
  int x0 = 0;
  int y0 = 0;
  int du_x = 1;
  int du_y = 0;
  int dv_x = 0;
  int dv_y = 1;
};

// The map for an orientation 1 to 8 (anything else counts as 1) of a stored picture of
// `stored_width` x `stored_height` pixels.
OrientationMap UprightToStored(int orientation, int stored_width, int stored_height);

}  // namespace lormex

#endif  // LORMEX_PACKING_EXIF_ORIENTATION_H_
