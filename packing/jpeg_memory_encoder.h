#ifndef LORMEX_PACKING_JPEG_MEMORY_ENCODER_H_
#define LORMEX_PACKING_JPEG_MEMORY_ENCODER_H_

#include <cstdint>
#include <span>
#include <vector>

#include "packing/picture_failure.h"

namespace lormex {

// A resized picture as it is stored, and how to write it.
struct EncodeRequest {
  const std::uint8_t* pixels = nullptr;  // RGB, 3 bytes a pixel, rows top to bottom
  int width = 0;                         // stored size
  int height = 0;
  int orientation = 1;  // 1 to 8 as the Exif tag counts: the output is written upright
  int quality = 70;     // clamped to 1..100
  std::span<const std::uint8_t> icc_profile;  // written into the output when not empty
};

// Encodes the picture as a JPEG into `*out`, replacing its contents but keeping its capacity, so
// a reused vector stops allocating once it is large enough. libjpeg's defaults for three RGB
// components (JFIF 1.01, YCbCr 4:2:0, baseline, accurate integer DCT, standard Huffman tables),
// then libjpeg's quality scaling, plus the ICC profile when given; nothing else. Quantisation
// values are held within 8 bits, so even a quality below 24 gives a baseline file. Thread-safe
// for distinct arguments.
PictureError EncodeJpeg(const EncodeRequest& request, std::vector<std::uint8_t>* out);

}  // namespace lormex

#endif  // LORMEX_PACKING_JPEG_MEMORY_ENCODER_H_
