#ifndef LORMEX_PACKING_JPEG_SOURCE_DECODER_H_
#define LORMEX_PACKING_JPEG_SOURCE_DECODER_H_

#include <cstdint>
#include <vector>

#include "packing/byte_source.h"
#include "packing/jpeg_markers.h"
#include "packing/picture_failure.h"
#include "packing/picture_sink.h"

namespace lormex {

// Decodes the JPEG in `source` at full size with 8 bits a sample and hands its rows to `sink` as
// RGB: grayscale as three equal channels, CMYK and YCCK (Adobe's inverted inks) by
// R = C * K / 255 and so on, rounded down. The first Exif block and the ICC profile pieces go to
// `markers` (cleared first). Fails, rather than giving a grey-filled picture, on any damage the
// decoder notices (corrupt or missing data, bogus progression), and on 12-bit data, more than
// kMaxJpegScans scans or whole-image buffers over kDecoderMemoryLimit. `scratch` is reused for
// marker payloads. Thread-safe for distinct arguments.
PictureError DecodeJpeg(ByteSource* source, JpegMarkers* markers,
                        std::vector<std::uint8_t>* scratch, PictureSink* sink);

// Turns `pixels` CMYK samples (inverted, as Adobe writes them) into RGB by R = C * K / 255,
// G = M * K / 255, B = Y * K / 255, each rounded down.
void InvertedCmykToRgb(const std::uint8_t* cmyk, std::uint8_t* rgb, int pixels);

}  // namespace lormex

#endif  // LORMEX_PACKING_JPEG_SOURCE_DECODER_H_
