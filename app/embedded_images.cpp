#include "app/embedded_images.h"

#include <QFile>
#include <QString>
#include <QtEndian>
#include <array>
#include <vector>

namespace lormex {

namespace {

// The pictures inside the program (resources/CMakeLists.txt) in the order they are decoded.
struct StoredImage {
  int slot;
  const char* resource;
};
constexpr StoredImage kStoredImages[] = {
    {BannerImage, ":/lormex/banner.jpg"},
    {OpenFolderIcon, ":/lormex/open_folder.ico"},
    {AddAlbumIcon, ":/lormex/add_album.ico"},
    {DeleteAlbumIcon, ":/lormex/delete_album.ico"},
    {ClearAlbumsIcon, ":/lormex/clear_albums.ico"},
    {StartPackingIcon, ":/lormex/start_packing.ico"},
    {SettingsIcon, ":/lormex/settings.ico"},
};
constexpr char kApplicationIconResource[] = ":/lormex/lormex.ico";

std::array<QImage, kImageSlotCount>& Slots() {
  static std::array<QImage, kImageSlotCount> images;
  return images;
}

QByteArray ReadResource(const char* resource) {
  QFile file(QString::fromLatin1(resource));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// Little-endian reads; every caller proves the range with Has() first.
class Bytes {
 public:
  explicit Bytes(QByteArrayView data) : data_(data) {}

  bool Has(qint64 offset, qint64 length) const {
    return offset >= 0 && length >= 0 && offset <= data_.size() && length <= data_.size() - offset;
  }
  QByteArrayView Slice(qint64 offset, qint64 length) const {
    return data_.sliced(static_cast<qsizetype>(offset), static_cast<qsizetype>(length));
  }
  QByteArrayView View() const { return data_; }
  int U8(qint64 at) const { return static_cast<unsigned char>(data_[static_cast<qsizetype>(at)]); }
  int U16(qint64 at) const { return qFromLittleEndian<quint16>(Pointer(at)); }
  quint32 U32(qint64 at) const { return qFromLittleEndian<quint32>(Pointer(at)); }
  qint32 S32(qint64 at) const { return qFromLittleEndian<qint32>(Pointer(at)); }

 private:
  const char* Pointer(qint64 at) const { return data_.data() + at; }

  QByteArrayView data_;
};

constexpr qint64 kFileHeaderSize = 6;
constexpr qint64 kDirectoryEntrySize = 16;
constexpr qint64 kInfoHeaderSize = 40;
constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

struct IconEntry {
  int width;
  int height;
  int bit_count;
  qint64 size;
  qint64 offset;
};

bool LooksLikeIcon(const Bytes& file) {
  return file.Has(0, 4) && file.U16(0) == 0 && file.U16(2) == 1;
}

bool IsPng(const Bytes& data) {
  return data.View().startsWith(QByteArrayView(kPngSignature, sizeof(kPngSignature) - 1));
}

// The directory of an icon file; empty when it has no entry or is cut short.
std::vector<IconEntry> ReadDirectory(const Bytes& file) {
  if (!file.Has(0, kFileHeaderSize)) return {};
  const int count = file.U16(4);
  if (!file.Has(kFileHeaderSize, count * kDirectoryEntrySize)) return {};
  std::vector<IconEntry> entries;
  for (int i = 0; i < count; ++i) {
    const qint64 at = kFileHeaderSize + i * kDirectoryEntrySize;
    IconEntry entry;
    // A size byte of 0 stands for 256 pixels.
    entry.width = file.U8(at) == 0 ? 256 : file.U8(at);
    entry.height = file.U8(at + 1) == 0 ? 256 : file.U8(at + 1);
    entry.bit_count = file.U16(at + 6);
    entry.size = file.U32(at + 8);
    entry.offset = file.U32(at + 12);
    // Some writers leave the depth out of the directory; the image itself still tells it.
    if (entry.bit_count == 0 && file.Has(entry.offset, entry.size)) {
      const Bytes data(file.Slice(entry.offset, entry.size));
      if (IsPng(data)) {
        entry.bit_count = 32;
      } else if (data.Has(0, 16)) {
        entry.bit_count = data.U16(14);
      }
    }
    entries.push_back(entry);
  }
  return entries;
}

// Of the entries as large as the first, the deepest; the earlier one on a tie.
const IconEntry& ChooseEntry(const std::vector<IconEntry>& entries) {
  const IconEntry* best = &entries.front();
  for (const IconEntry& entry : entries) {
    if (entry.width == entries.front().width && entry.height == entries.front().height &&
        entry.bit_count > best->bit_count) {
      best = &entry;
    }
  }
  return *best;
}

QImage DecodePngEntry(const Bytes& data, const IconEntry& entry) {
  const QImage image = QImage::fromData(data.View(), "PNG");
  if (image.width() != entry.width || image.height() != entry.height) return {};
  return image.convertToFormat(QImage::Format_ARGB32);
}

// A bitmap entry: info header, palette (1 to 8 bits), colour rows bottom-up, then the 1-bit
// mask rows (1 = transparent). Only the plain uncompressed layout is taken.
QImage DecodeBitmapEntry(const Bytes& data, const IconEntry& entry) {
  if (!data.Has(0, kInfoHeaderSize)) return {};
  const qint64 header_size = data.U32(0);
  const int bits = data.U16(14);
  const bool known_depth = bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
  if (header_size < kInfoHeaderSize || data.S32(4) != entry.width ||
      data.S32(8) != 2 * entry.height || data.U16(12) != 1 || !known_depth || data.U32(16) != 0) {
    return {};
  }
  const int width = entry.width;
  const int height = entry.height;
  const qint64 palette_limit = bits <= 8 ? qint64{1} << bits : 0;
  const qint64 palette_size =
      bits <= 8 ? (data.U32(32) == 0 ? palette_limit : qint64{data.U32(32)}) : 0;
  if (palette_size > palette_limit) return {};
  const qint64 palette_at = header_size;
  const qint64 pixels_at = palette_at + 4 * palette_size;
  const qint64 stride = (qint64{width} * bits + 31) / 32 * 4;
  const qint64 mask_stride = (qint64{width} + 31) / 32 * 4;
  const qint64 mask_at = pixels_at + stride * height;
  if (!data.Has(palette_at, 4 * palette_size) || !data.Has(pixels_at, stride * height)) return {};
  // Without a mask only a 32-bit image still knows its transparency.
  const bool has_mask = data.Has(mask_at, mask_stride * height);
  if (!has_mask && bits != 32) return {};

  QImage image(width, height, QImage::Format_ARGB32);
  if (image.isNull()) return {};
  bool any_alpha = false;
  for (int y = 0; y < height; ++y) {
    const qint64 line = pixels_at + stride * (height - 1 - y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      if (bits == 32) {
        const qint64 at = line + 4 * x;
        const int alpha = data.U8(at + 3);
        any_alpha = any_alpha || alpha != 0;
        out[x] = qRgba(data.U8(at + 2), data.U8(at + 1), data.U8(at), alpha);
      } else if (bits == 24) {
        const qint64 at = line + 3 * x;
        out[x] = qRgb(data.U8(at + 2), data.U8(at + 1), data.U8(at));
      } else {
        const qint64 bit = qint64{x} * bits;
        const int byte = data.U8(line + bit / 8);
        const int index = (byte >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
        if (index < palette_size) {
          const qint64 at = palette_at + 4 * index;
          out[x] = qRgb(data.U8(at + 2), data.U8(at + 1), data.U8(at));
        } else {
          out[x] = qRgb(0, 0, 0);
        }
      }
    }
  }

  // An alpha channel that is zero throughout comes from writers that rely on the mask alone.
  if (bits != 32 || !any_alpha) {
    for (int y = 0; y < height; ++y) {
      const qint64 line = mask_at + mask_stride * (height - 1 - y);
      auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < width; ++x) {
        const bool transparent = has_mask && ((data.U8(line + x / 8) >> (7 - x % 8)) & 1) != 0;
        out[x] = transparent ? 0 : (out[x] | 0xFF000000u);
      }
    }
  }
  return image;
}

QImage DecodeIconEntry(const Bytes& file, const IconEntry& entry) {
  if (!file.Has(entry.offset, entry.size)) return {};
  const Bytes data(file.Slice(entry.offset, entry.size));
  return IsPng(data) ? DecodePngEntry(data, entry) : DecodeBitmapEntry(data, entry);
}

}  // namespace

QImage DecodeStoredImage(QByteArrayView data) {
  const Bytes file(data);
  if (!LooksLikeIcon(file)) return QImage::fromData(data);
  const std::vector<IconEntry> entries = ReadDirectory(file);
  if (entries.empty()) return {};
  return DecodeIconEntry(file, ChooseEntry(entries));
}

void LoadEmbeddedImages() {
  for (const StoredImage& stored : kStoredImages) {
    Slots()[stored.slot] = DecodeStoredImage(ReadResource(stored.resource));
  }
}

QImage EmbeddedImage(int slot) {
  if (slot < 0 || slot >= kImageSlotCount) return {};
  return Slots()[slot];
}

QIcon EmbeddedIcon(int slot) {
  const QImage image = EmbeddedImage(slot);
  return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

QPixmap EmbeddedPixmap(int slot) {
  const QImage image = EmbeddedImage(slot);
  return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QIcon ApplicationIcon() {
  const QByteArray bytes = ReadResource(kApplicationIconResource);
  const Bytes file(bytes);
  if (!LooksLikeIcon(file)) return {};
  QIcon icon;
  for (const IconEntry& entry : ReadDirectory(file)) {
    const QImage image = DecodeIconEntry(file, entry);
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

}  // namespace lormex
