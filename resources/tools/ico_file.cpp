#include "resources/tools/ico_file.h"

#include <QHash>
#include <cstdint>

namespace lormex::pictures {

namespace {

constexpr int kHeaderSize = 6;
constexpr int kDirectoryEntrySize = 16;
constexpr int kInfoHeaderSize = 40;

void PutU8(QByteArray& out, int value) { out.append(static_cast<char>(value & 0xFF)); }

void PutU16(QByteArray& out, int value) {
  PutU8(out, value);
  PutU8(out, value >> 8);
}

void PutU32(QByteArray& out, std::uint32_t value) {
  PutU16(out, static_cast<int>(value & 0xFFFF));
  PutU16(out, static_cast<int>(value >> 16));
}

int RowBytes(int width, int bit_count) { return (width * bit_count + 31) / 32 * 4; }

// Image data size of one entry: info header, palette, colour rows, mask rows.
int DataSize(int size, int bit_count) {
  const int palette = bit_count == 8 ? 256 * 4 : 0;
  return kInfoHeaderSize + palette + size * RowBytes(size, bit_count) + size * RowBytes(size, 1);
}

bool Opaque(QRgb pixel, int bit_count) { return bit_count == 32 || qAlpha(pixel) >= 128; }

// The colour a masked (8 and 24-bit) image keeps for a pixel: the straight colour for covered
// pixels, black for cut-out ones, so that the classic XOR drawing leaves the background intact.
// Fully transparent 32-bit pixels are zeroed too, so the files do not carry stray colours.
QRgb StoredColour(QRgb pixel, int bit_count) {
  if (bit_count == 32) return qAlpha(pixel) == 0 ? 0 : pixel;
  if (qAlpha(pixel) < 128) return qRgb(0, 0, 0);
  return qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
}

bool EncodeEntry(const IcoImage& entry, QByteArray& out, QString* error) {
  const QImage image = entry.image.convertToFormat(QImage::Format_ARGB32);
  const int size = image.width();
  const int bits = entry.bit_count;

  QVector<QRgb> palette;
  QHash<QRgb, int> index_of;
  if (bits == 8) {
    // Black first: the cut-out pixels point at it.
    palette.append(qRgb(0, 0, 0));
    index_of.insert(qRgb(0, 0, 0), 0);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const QRgb colour = StoredColour(image.pixel(x, y), bits);
        if (!index_of.contains(colour)) {
          index_of.insert(colour, static_cast<int>(palette.size()));
          palette.append(colour);
        }
      }
    }
    if (palette.size() > 256) {
      *error = QStringLiteral("%1 colours do not fit a 256-colour palette").arg(palette.size());
      return false;
    }
  }

  PutU32(out, kInfoHeaderSize);
  PutU32(out, static_cast<std::uint32_t>(size));
  PutU32(out, static_cast<std::uint32_t>(size * 2));  // colour rows and mask rows together
  PutU16(out, 1);                                     // planes
  PutU16(out, bits);
  PutU32(out, 0);  // no compression
  PutU32(out, static_cast<std::uint32_t>(DataSize(size, bits) - kInfoHeaderSize -
                                         (bits == 8 ? 256 * 4 : 0)));
  PutU32(out, 0);  // horizontal resolution
  PutU32(out, 0);  // vertical resolution
  PutU32(out, 0);  // all 2^bits palette entries
  PutU32(out, 0);  // all colours important

  if (bits == 8) {
    for (int i = 0; i < 256; ++i) {
      const QRgb colour = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
      PutU8(out, qBlue(colour));
      PutU8(out, qGreen(colour));
      PutU8(out, qRed(colour));
      PutU8(out, 0);
    }
  }

  const int row_bytes = RowBytes(size, bits);
  for (int y = size - 1; y >= 0; --y) {
    QByteArray row;
    for (int x = 0; x < size; ++x) {
      const QRgb colour = StoredColour(image.pixel(x, y), bits);
      if (bits == 8) {
        PutU8(row, index_of.value(colour));
      } else {
        PutU8(row, qBlue(colour));
        PutU8(row, qGreen(colour));
        PutU8(row, qRed(colour));
        if (bits == 32) PutU8(row, qAlpha(colour));
      }
    }
    row.append(row_bytes - row.size(), '\0');
    out.append(row);
  }

  const int mask_bytes = RowBytes(size, 1);
  for (int y = size - 1; y >= 0; --y) {
    QByteArray row(mask_bytes, '\0');
    for (int x = 0; x < size; ++x) {
      const QRgb pixel = image.pixel(x, y);
      const bool cut_out = bits == 32 ? qAlpha(pixel) == 0 : !Opaque(pixel, bits);
      if (cut_out) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    }
    out.append(row);
  }
  return true;
}

}  // namespace

QByteArray EncodeIco(const std::vector<IcoImage>& images, QString* error) {
  QByteArray file;
  PutU16(file, 0);  // reserved
  PutU16(file, 1);  // icon
  PutU16(file, static_cast<int>(images.size()));

  int offset = kHeaderSize + kDirectoryEntrySize * static_cast<int>(images.size());
  for (const IcoImage& entry : images) {
    const int size = entry.image.width();
    const int bits = entry.bit_count;
    if (entry.image.height() != size || size < 1 || size > 256) {
      *error = QStringLiteral("icon images must be square, 1 to 256 pixels");
      return {};
    }
    if (bits != 8 && bits != 24 && bits != 32) {
      *error = QStringLiteral("unsupported colour depth %1").arg(bits);
      return {};
    }
    const int data_size = DataSize(size, bits);
    PutU8(file, size == 256 ? 0 : size);
    PutU8(file, size == 256 ? 0 : size);
    PutU8(file, 0);  // palette colours: 0 also for a full 256-colour palette
    PutU8(file, 0);  // reserved
    PutU16(file, 1);
    PutU16(file, bits);
    PutU32(file, static_cast<std::uint32_t>(data_size));
    PutU32(file, static_cast<std::uint32_t>(offset));
    offset += data_size;
  }
  for (const IcoImage& entry : images) {
    if (!EncodeEntry(entry, file, error)) return {};
  }
  return file;
}

}  // namespace lormex::pictures
