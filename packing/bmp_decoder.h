#ifndef LORMEX_PACKING_BMP_DECODER_H_
#define LORMEX_PACKING_BMP_DECODER_H_

#include <cstdint>
#include <vector>

#include "packing/byte_source.h"
#include "packing/picture_failure.h"
#include "packing/picture_sink.h"

namespace lormex {

// Decodes the BMP in `source` row by row into `sink`, as RGB in stored order: a bottom-up BMP is
// reported with orientation 4 (mirrored top to bottom), so its rows stream without seeking.
// Takes the info header of 40 bytes and its later versions (52, 56, 108, 124), 1, 4 and 8 bits
// with a palette, 16 and 32 bits plain or with bit fields, 24 bits. An alpha channel (bit fields
// only; the spare byte of plain 32 bits is ignored) is laid over white. Every size is checked
// against the bytes the source really holds before anything is allocated, so a row buffer is
// all it ever allocates. Compressed BMPs (RLE, embedded JPEG or PNG) are unsupported.
// `row_buffer` is reused between calls. Thread-safe for distinct arguments.
PictureError DecodeBmp(ByteSource* source, std::vector<std::uint8_t>* row_buffer,
                       PictureSink* sink);

}  // namespace lormex

#endif  // LORMEX_PACKING_BMP_DECODER_H_
