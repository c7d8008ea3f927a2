#include "resources/tools/exif_jpeg.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <cstdint>
#include <cstdlib>

namespace lormex::pictures {

namespace {

void PutU16(QByteArray& out, int value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>((value >> 8) & 0xFF));
}

void PutU32(QByteArray& out, std::uint32_t value) {
  PutU16(out, static_cast<int>(value & 0xFFFF));
  PutU16(out, static_cast<int>(value >> 16));
}

// One IFD entry in little-endian order; `value` is the value itself when it fits four bytes,
// otherwise the offset of the value from the start of the TIFF header.
void PutEntry(QByteArray& out, int tag, int type, std::uint32_t count, std::uint32_t value) {
  PutU16(out, tag);
  PutU16(out, type);
  PutU32(out, count);
  PutU32(out, value);
}

// A minimal Exif block: TIFF header and IFD0 with orientation, resolution, software and the
// chroma siting that Exif readers expect for YCbCr data.
QByteArray ExifBlock() {
  constexpr int kShort = 3;
  constexpr int kAscii = 2;
  constexpr int kRational = 5;
  constexpr int kEntries = 6;
  constexpr std::uint32_t kIfdOffset = 8;
  constexpr std::uint32_t kDataOffset = kIfdOffset + 2 + kEntries * 12 + 4;
  static constexpr char kSoftware[] = "Lormex";

  QByteArray block("Exif\0\0", 6);
  QByteArray tiff("II*\0", 4);
  PutU32(tiff, kIfdOffset);
  PutU16(tiff, kEntries);
  PutEntry(tiff, 0x0112, kShort, 1, 1);                   // orientation: top left
  PutEntry(tiff, 0x011A, kRational, 1, kDataOffset);      // x resolution
  PutEntry(tiff, 0x011B, kRational, 1, kDataOffset + 8);  // y resolution
  PutEntry(tiff, 0x0128, kShort, 1, 2);                   // resolution unit: inch
  PutEntry(tiff, 0x0131, kAscii, sizeof(kSoftware), kDataOffset + 16);
  PutEntry(tiff, 0x0213, kShort, 1, 1);  // chroma samples centred
  PutU32(tiff, 0);                       // no further IFD
  PutU32(tiff, 72);
  PutU32(tiff, 1);
  PutU32(tiff, 72);
  PutU32(tiff, 1);
  tiff.append(kSoftware, sizeof(kSoftware));
  if (tiff.size() % 2 != 0) tiff.append('\0');
  block.append(tiff);
  return block;
}

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  manager->base.format_message(cinfo, manager->message);
  std::longjmp(manager->jump, 1);
}

}  // namespace

QByteArray EncodeExifJpeg(const QImage& image, int quality, QString* error) {
  // Everything with a destructor is made before setjmp, so the jump skips no destructor.
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  const QByteArray exif = ExifBlock();
  jpeg_compress_struct cinfo{};
  ErrorManager errors{};
  unsigned char* buffer = nullptr;
  unsigned long buffer_size = 0;

  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    *error = QString::fromLocal8Bit(errors.message);
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &buffer_size);
  cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
  cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.write_JFIF_header = FALSE;
  // Full-resolution colour: the banner is small and full of fine coloured detail.
  cinfo.comp_info[0].h_samp_factor = 1;
  cinfo.comp_info[0].v_samp_factor = 1;
  cinfo.optimize_coding = TRUE;  // still baseline: only the Huffman tables are tuned
  jpeg_start_compress(&cinfo, TRUE);
  jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exif.constData()),
                    static_cast<unsigned int>(exif.size()));
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);

  QByteArray file(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(buffer_size));
  std::free(buffer);
  return file;
}

}  // namespace lormex::pictures
