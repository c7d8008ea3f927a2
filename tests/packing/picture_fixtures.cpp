#include "tests/packing/picture_fixtures.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace lormex::testing {
namespace {

struct FixtureError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void FixtureErrorExit(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<FixtureError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->message);
  std::longjmp(error->jump, 1);
}

// The independent decoder must see a clean file: a warning is as bad as an error.
void FixtureEmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) FixtureErrorExit(cinfo);
}

void PutU16(Bytes* out, unsigned value, bool big_endian) {
  if (big_endian) {
    out->push_back(std::uint8_t(value >> 8));
    out->push_back(std::uint8_t(value));
  } else {
    out->push_back(std::uint8_t(value));
    out->push_back(std::uint8_t(value >> 8));
  }
}

void PutU32(Bytes* out, std::uint32_t value, bool big_endian) {
  if (big_endian) {
    PutU16(out, value >> 16, true);
    PutU16(out, value & 0xFFFF, true);
  } else {
    PutU16(out, value & 0xFFFF, false);
    PutU16(out, value >> 16, false);
  }
}

// An Exif block with a description tag and then the orientation tag in IFD0.
Bytes ExifBlock(int orientation, bool big_endian) {
  Bytes out = {'E', 'x', 'i', 'f', 0, 0};
  out.push_back(big_endian ? 'M' : 'I');
  out.push_back(big_endian ? 'M' : 'I');
  PutU16(&out, 42, big_endian);
  PutU32(&out, 8, big_endian);
  PutU16(&out, 2, big_endian);
  PutU16(&out, 0x010E, big_endian);  // ImageDescription, ASCII, 4 bytes inline
  PutU16(&out, 2, big_endian);
  PutU32(&out, 4, big_endian);
  out.insert(out.end(), {'a', 'b', 'c', 0});
  PutU16(&out, 0x0112, big_endian);  // Orientation, SHORT
  PutU16(&out, 3, big_endian);
  PutU32(&out, 1, big_endian);
  PutU16(&out, static_cast<unsigned>(orientation), big_endian);
  PutU16(&out, 0, big_endian);
  PutU32(&out, 0, big_endian);  // no next IFD
  return out;
}

// Three single-component DC scans, then every AC coefficient of every component on its own with
// two refinement steps: a valid progression of 570 scans.
std::vector<jpeg_scan_info> ManyScans() {
  std::vector<jpeg_scan_info> scans;
  for (int c = 0; c < 3; ++c) scans.push_back({1, {c, 0, 0, 0}, 0, 0, 0, 0});
  for (int c = 0; c < 3; ++c) {
    for (int k = 1; k < 64; ++k) {
      scans.push_back({1, {c, 0, 0, 0}, k, k, 0, 2});
      scans.push_back({1, {c, 0, 0, 0}, k, k, 2, 1});
      scans.push_back({1, {c, 0, 0, 0}, k, k, 1, 0});
    }
  }
  return scans;
}

}  // namespace

TestPixels FlatPixels(int width, int height, std::vector<std::uint8_t> sample) {
  TestPixels pixels{width, height, static_cast<int>(sample.size()), {}};
  pixels.samples.reserve(std::size_t(width) * height * sample.size());
  for (int i = 0; i < width * height; ++i) {
    pixels.samples.insert(pixels.samples.end(), sample.begin(), sample.end());
  }
  return pixels;
}

TestPixels QuarterPixels(int width, int height) {
  TestPixels pixels{width, height, 3, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2, bottom = y >= height / 2;
      const Rgb& c = bottom ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
      for (int v : c) pixels.samples.push_back(std::uint8_t(v));
    }
  }
  return pixels;
}

TestPixels GradientPixels(int width, int height) {
  TestPixels pixels{width, height, 3, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      pixels.samples.push_back(std::uint8_t(x * 255 / std::max(1, width - 1)));
      pixels.samples.push_back(std::uint8_t(y * 255 / std::max(1, height - 1)));
      pixels.samples.push_back(128);
    }
  }
  return pixels;
}

TestPixels NoisePixels(int width, int height, std::uint32_t seed) {
  TestPixels pixels{width, height, 3, {}};
  std::uint32_t state = seed | 1;
  for (int i = 0; i < width * height * 3; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    pixels.samples.push_back(std::uint8_t(state));
  }
  return pixels;
}

Bytes FakeIccProfile(const char (&space)[5], std::size_t size) {
  Bytes profile(std::max<std::size_t>(size, 128), 0);
  for (std::size_t i = 0; i < 4; ++i) profile[i] = std::uint8_t(profile.size() >> (24 - 8 * i));
  std::memcpy(&profile[12], "mntr", 4);
  std::memcpy(&profile[16], space, 4);
  std::memcpy(&profile[20], "XYZ ", 4);
  std::memcpy(&profile[36], "acsp", 4);
  for (std::size_t i = 128; i < profile.size(); ++i) profile[i] = std::uint8_t(i * 7);
  return profile;
}

Bytes EncodeFixtureJpeg(const TestPixels& pixels, const JpegFixtureOptions& options) {
  using Space = JpegFixtureOptions::Space;
  // Everything with a destructor exists before setjmp, so a longjmp skips none.
  std::vector<jpeg_scan_info> scans = ManyScans();
  Bytes exif = ExifBlock(options.exif_orientation, options.big_endian_exif);
  std::vector<JSAMPROW> rows(std::size_t(pixels.height));
  for (int y = 0; y < pixels.height; ++y) {
    rows[std::size_t(y)] = const_cast<JSAMPROW>(
        &pixels.samples[std::size_t(y) * std::size_t(pixels.width) * pixels.components]);
  }
  Bytes result;

  jpeg_compress_struct cinfo{};
  FixtureError error{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  cinfo.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = FixtureErrorExit;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    ADD_FAILURE() << "fixture encoding failed: " << error.message;
    return result;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(pixels.width);
  cinfo.image_height = JDIMENSION(pixels.height);
  cinfo.input_components = pixels.components;
  cinfo.in_color_space =
      pixels.components == 1 ? JCS_GRAYSCALE : (pixels.components == 4 ? JCS_CMYK : JCS_RGB);
  jpeg_set_defaults(&cinfo);
  if (options.space == Space::kRgb) jpeg_set_colorspace(&cinfo, JCS_RGB);
  if (options.space == Space::kYcck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
  jpeg_set_quality(&cinfo, options.quality, FALSE);
  if (options.progressive) jpeg_simple_progression(&cinfo);
  if (options.many_scans) {
    cinfo.scan_info = scans.data();
    cinfo.num_scans = static_cast<int>(scans.size());
  }
  cinfo.arith_code = options.arithmetic ? TRUE : FALSE;
  cinfo.restart_in_rows = options.restart_rows;
  jpeg_start_compress(&cinfo, TRUE);
  if (options.exif_orientation != 0) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
  }
  if (!options.icc_profile.empty()) {
    jpeg_write_icc_profile(&cinfo, options.icc_profile.data(),
                           static_cast<unsigned>(options.icc_profile.size()));
  }
  for (const Bytes& payload : options.extra_app2) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 2, payload.data(), static_cast<unsigned>(payload.size()));
  }
  jpeg_write_scanlines(&cinfo, rows.data(), cinfo.image_height);
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  result.assign(buffer, buffer + size);
  std::free(buffer);
  return result;
}

DecodedJpeg DecodeFixtureJpeg(const Bytes& jpeg) {
  DecodedJpeg decoded;
  for (const MarkerAt& marker : ListMarkers(jpeg)) {
    if (marker.code == 0xDA) break;
    decoded.markers.push_back(marker.code);
  }
  decoded.rgb.reserve(1 << 20);
  std::vector<JSAMPROW> row(1);

  jpeg_decompress_struct cinfo{};
  FixtureError error{};
  JOCTET* icc = nullptr;
  unsigned int icc_size = 0;
  cinfo.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = FixtureErrorExit;
  error.pub.emit_message = FixtureEmitMessage;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    std::free(icc);
    decoded.ok = false;
    decoded.error = error.message;
    return decoded;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  decoded.width = int(cinfo.image_width);
  decoded.height = int(cinfo.image_height);
  decoded.components = cinfo.num_components;
  decoded.ycbcr = cinfo.jpeg_color_space == JCS_YCbCr;
  decoded.progressive = cinfo.progressive_mode;
  decoded.arithmetic = cinfo.arith_code;
  decoded.restart_interval = int(cinfo.restart_interval);
  decoded.jfif = cinfo.saw_JFIF_marker;
  decoded.jfif_major = cinfo.JFIF_major_version;
  decoded.jfif_minor = cinfo.JFIF_minor_version;
  decoded.density_unit = cinfo.density_unit;
  decoded.x_density = cinfo.X_density;
  decoded.y_density = cinfo.Y_density;
  for (int c = 0; c < std::min(3, cinfo.num_components); ++c) {
    decoded.h_sampling[std::size_t(c)] = cinfo.comp_info[c].h_samp_factor;
    decoded.v_sampling[std::size_t(c)] = cinfo.comp_info[c].v_samp_factor;
  }
  if (cinfo.quant_tbl_ptrs[0] != nullptr) {
    decoded.first_luma_quant = cinfo.quant_tbl_ptrs[0]->quantval[0];
  }
  for (JQUANT_TBL* table : cinfo.quant_tbl_ptrs) {
    if (table == nullptr) continue;
    for (UINT16 value : table->quantval)
      decoded.max_quant = std::max<int>(decoded.max_quant, value);
  }
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 1) decoded.has_app1 = true;
  }
  if (jpeg_read_icc_profile(&cinfo, &icc, &icc_size)) {
    decoded.icc_profile.assign(icc, icc + icc_size);
    std::free(icc);
    icc = nullptr;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  decoded.rgb.resize(std::size_t(cinfo.output_width) * cinfo.output_height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    row[0] = &decoded.rgb[std::size_t(cinfo.output_scanline) * cinfo.output_width * 3];
    jpeg_read_scanlines(&cinfo, row.data(), 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  decoded.ok = true;
  return decoded;
}

Rgb MeanColour(const Bytes& rgb, int width, int x0, int y0, int x1, int y1) {
  Rgb mean{};
  double sum[3] = {};
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      for (int c = 0; c < 3; ++c) sum[c] += rgb[(std::size_t(y) * width + x) * 3 + c];
    }
  }
  const double count = double(x1 - x0) * double(y1 - y0);
  for (int c = 0; c < 3; ++c) mean[std::size_t(c)] = int(sum[c] / count + 0.5);
  return mean;
}

Bytes EncodeFixtureBmp(const TestPixels& pixels, const BmpFixtureOptions& options) {
  const int bits = options.bits;
  const int width = pixels.width, height = pixels.height;
  std::vector<Rgb> palette;
  auto colour_at = [&](int x, int y) {
    const std::uint8_t* p = &pixels.samples[(std::size_t(y) * width + x) * 3];
    return Rgb{p[0], p[1], p[2]};
  };
  if (bits <= 8) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (std::find(palette.begin(), palette.end(), colour_at(x, y)) == palette.end()) {
          palette.push_back(colour_at(x, y));
        }
      }
    }
    EXPECT_LE(palette.size(), std::size_t(1) << bits) << "too many colours for the palette";
  }
  const bool masks_after_header = options.bit_fields && options.header_size == 40;
  const std::uint32_t palette_bytes = bits <= 8 ? (4u << bits) : 0;
  const std::uint32_t offset =
      14 + std::uint32_t(options.header_size) + (masks_after_header ? 12 : 0) + palette_bytes;
  const std::uint32_t stride = (std::uint32_t(width) * bits + 31) / 32 * 4;
  std::uint32_t compression = options.bit_fields ? 3 : 0;
  if (options.compression_override != 0xFFFFFFFF) compression = options.compression_override;

  Bytes out = {'B', 'M'};
  PutU32(&out, offset + stride * height, false);
  PutU32(&out, 0, false);
  PutU32(&out, offset, false);
  Bytes info;
  PutU32(&info, std::uint32_t(options.header_size), false);
  PutU32(&info, std::uint32_t(width), false);
  PutU32(&info, std::uint32_t(options.top_down ? -height : height), false);
  PutU16(&info, 1, false);
  PutU16(&info, unsigned(bits), false);
  PutU32(&info, compression, false);
  PutU32(&info, stride * height, false);
  PutU32(&info, 2835, false);
  PutU32(&info, 2835, false);
  PutU32(&info, 0, false);
  PutU32(&info, 0, false);
  if (options.header_size >= 52) {
    for (int i = 0; i < (options.header_size >= 56 ? 4 : 3); ++i) {
      PutU32(&info, options.bit_fields ? options.masks[std::size_t(i)] : 0, false);
    }
  }
  info.resize(std::size_t(options.header_size), 0);
  out.insert(out.end(), info.begin(), info.end());
  if (masks_after_header) {
    for (int i = 0; i < 3; ++i) PutU32(&out, options.masks[std::size_t(i)], false);
  }
  for (std::uint32_t i = 0; i < palette_bytes / 4; ++i) {
    const Rgb c = i < palette.size() ? palette[i] : Rgb{0, 0, 0};
    out.insert(out.end(), {std::uint8_t(c[2]), std::uint8_t(c[1]), std::uint8_t(c[0]), 0});
  }

  auto field = [](std::uint32_t mask, int value) -> std::uint32_t {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const std::uint32_t top = mask >> shift;
    return ((std::uint32_t(value) * top + 127) / 255) << shift;
  };
  for (int i = 0; i < height; ++i) {
    const int y = options.top_down ? i : height - 1 - i;
    Bytes row(stride, 0);
    for (int x = 0; x < width; ++x) {
      const Rgb c = colour_at(x, y);
      if (bits <= 8) {
        const auto index =
            std::uint32_t(std::find(palette.begin(), palette.end(), c) - palette.begin());
        const int per_byte = 8 / bits;
        row[std::size_t(x / per_byte)] |= std::uint8_t(index << (8 - bits * (x % per_byte + 1)));
      } else if (bits == 24) {
        row[std::size_t(x) * 3] = std::uint8_t(c[2]);
        row[std::size_t(x) * 3 + 1] = std::uint8_t(c[1]);
        row[std::size_t(x) * 3 + 2] = std::uint8_t(c[0]);
      } else {
        std::array<std::uint32_t, 4> masks = options.masks;
        if (!options.bit_fields) {
          masks = bits == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                             : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
        }
        const int alpha = options.alpha.empty() ? 255 : options.alpha[std::size_t(y) * width + x];
        const std::uint32_t value = field(masks[0], c[0]) | field(masks[1], c[1]) |
                                    field(masks[2], c[2]) | field(masks[3], alpha);
        for (int b = 0; b < bits / 8; ++b) {
          row[std::size_t(x) * (bits / 8) + b] = std::uint8_t(value >> (8 * b));
        }
      }
    }
    if (options.drop_last_padding && i == height - 1) {
      row.resize((std::size_t(width) * bits + 7) / 8);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

std::vector<MarkerAt> ListMarkers(const Bytes& jpeg) {
  std::vector<MarkerAt> markers;
  std::size_t i = 0;
  while (i + 1 < jpeg.size()) {
    if (jpeg[i] != 0xFF) {
      ++i;
      continue;
    }
    const int code = jpeg[i + 1];
    if (code == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (code == 0x00 || (code >= 0xD0 && code <= 0xD7)) {  // stuffed byte or restart marker
      i += 2;
      continue;
    }
    markers.push_back({code, i});
    if (code == 0xD8 || code == 0x01) {
      i += 2;
      continue;
    }
    if (code == 0xD9) break;
    if (i + 3 >= jpeg.size()) break;
    // A segment with a length; after SOS the entropy-coded data follows and is scanned bytewise.
    i += 2 + (std::size_t(jpeg[i + 2]) << 8 | jpeg[i + 3]);
  }
  return markers;
}

long FindMarker(const Bytes& jpeg, int code) {
  for (const MarkerAt& marker : ListMarkers(jpeg)) {
    if (marker.code == code) return long(marker.offset);
  }
  return -1;
}

}  // namespace lormex::testing
