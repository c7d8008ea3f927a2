// The pictures carried inside the program: their stored bytes, the slots they are decoded into,
// their transparency, and the icon decoder on crafted and damaged files.
#include "app/embedded_images.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>
#include <QtEndian>
#include <algorithm>
#include <ostream>
#include <vector>

namespace lormex {
namespace {

QByteArray Resource(const char* name) {
  QFile file(QStringLiteral(":/lormex/") + QLatin1String(name));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
  return file.readAll();
}

int U8(const QByteArray& bytes, int at) { return static_cast<unsigned char>(bytes.at(at)); }
int U16(const QByteArray& bytes, int at) {
  return qFromLittleEndian<quint16>(bytes.constData() + at);
}
qint64 U32(const QByteArray& bytes, int at) {
  return qFromLittleEndian<quint32>(bytes.constData() + at);
}
int BigU16(const QByteArray& bytes, int at) { return U8(bytes, at) << 8 | U8(bytes, at + 1); }

struct StoredIcon {
  const char* file;
  int slot;
  int bit_count;
  int file_length;
  int data_length;
  QPoint inside;  // a pixel of the drawing
};

const StoredIcon kStoredIcons[] = {
    {"open_folder.ico", OpenFolderIcon, 32, 1150, 1128, {8, 10}},
    {"settings.ico", SettingsIcon, 8, 1406, 1384, {8, 4}},
    {"add_album.ico", AddAlbumIcon, 24, 894, 872, {8, 10}},
    {"delete_album.ico", DeleteAlbumIcon, 32, 1150, 1128, {8, 8}},
    {"clear_albums.ico", ClearAlbumsIcon, 32, 1150, 1128, {8, 8}},
    {"start_packing.ico", StartPackingIcon, 32, 1150, 1128, {8, 8}},
};

void PrintTo(const StoredIcon& icon, std::ostream* out) { *out << icon.file; }

class StoredIconTest : public ::testing::TestWithParam<StoredIcon> {};

TEST_P(StoredIconTest, HasTheIconFileLayout) {
  const StoredIcon& icon = GetParam();
  const QByteArray bytes = Resource(icon.file);
  ASSERT_EQ(bytes.size(), icon.file_length);

  // File header: reserved, icon type, one image.
  EXPECT_EQ(U16(bytes, 0), 0);
  EXPECT_EQ(U16(bytes, 2), 1);
  EXPECT_EQ(U16(bytes, 4), 1);
  // Directory entry: 16 x 16, no colour count, 1 plane, the depth, data size and offset 22.
  EXPECT_EQ(U8(bytes, 6), 16);
  EXPECT_EQ(U8(bytes, 7), 16);
  EXPECT_EQ(U8(bytes, 8), 0);
  EXPECT_EQ(U8(bytes, 9), 0);
  EXPECT_EQ(U16(bytes, 10), 1);
  EXPECT_EQ(U16(bytes, 12), icon.bit_count);
  EXPECT_EQ(U32(bytes, 14), icon.data_length);
  EXPECT_EQ(U32(bytes, 18), 22);
  // Bitmap information header: colour and mask rows together 32 high, uncompressed, palette
  // entries only for 8 bits (0 = all 256).
  EXPECT_EQ(U32(bytes, 22), 40);
  EXPECT_EQ(U32(bytes, 26), 16);
  EXPECT_EQ(U32(bytes, 30), 32);
  EXPECT_EQ(U16(bytes, 34), 1);
  EXPECT_EQ(U16(bytes, 36), icon.bit_count);
  EXPECT_EQ(U32(bytes, 38), 0);
  EXPECT_EQ(U32(bytes, 54), 0);
  const int palette = icon.bit_count == 8 ? 256 * 4 : 0;
  const int rows = 16 * (16 * icon.bit_count / 8);
  EXPECT_EQ(40 + palette + rows + 16 * 4, icon.data_length);

  if (icon.bit_count == 32) {
    // Readers that only know the mask must cut out exactly the fully transparent pixels.
    const int pixels_at = 22 + 40;
    const int mask_at = pixels_at + rows;
    for (int row = 0; row < 16; ++row) {
      for (int x = 0; x < 16; ++x) {
        const int alpha = U8(bytes, pixels_at + row * 64 + x * 4 + 3);
        const bool masked = (U8(bytes, mask_at + row * 4 + x / 8) >> (7 - x % 8) & 1) != 0;
        EXPECT_EQ(masked, alpha == 0) << "row " << row << " x " << x;
      }
    }
  }
}

TEST_P(StoredIconTest, KeepsItsTransparencyInItsSlot) {
  const StoredIcon& icon = GetParam();
  LoadEmbeddedImages();
  const QImage image = EmbeddedImage(icon.slot);
  ASSERT_EQ(image.size(), QSize(16, 16));
  ASSERT_TRUE(image.hasAlphaChannel());
  for (const QPoint corner : {QPoint(0, 0), QPoint(15, 0), QPoint(15, 15)}) {
    EXPECT_EQ(image.pixelColor(corner).alpha(), 0) << corner.x() << "," << corner.y();
  }
  EXPECT_EQ(image.pixelColor(icon.inside).alpha(), 255);

  // What the toolbar and the list rows are given keeps it too.
  const QImage shown = EmbeddedPixmap(icon.slot).toImage();
  EXPECT_EQ(shown.pixelColor(0, 0).alpha(), 0);
  EXPECT_EQ(shown.pixelColor(icon.inside).alpha(), 255);
  EXPECT_TRUE(EmbeddedIcon(icon.slot).availableSizes().contains(QSize(16, 16)));
}

TEST_P(StoredIconTest, IsRefusedWhenCutShort) {
  const QByteArray bytes = Resource(GetParam().file);
  ASSERT_FALSE(DecodeStoredImage(bytes).isNull());
  for (int length = 0; length < bytes.size(); ++length) {
    EXPECT_TRUE(DecodeStoredImage(bytes.left(length)).isNull()) << "length " << length;
  }
}

INSTANTIATE_TEST_SUITE_P(, StoredIconTest, ::testing::ValuesIn(kStoredIcons),
                         [](const ::testing::TestParamInfo<StoredIcon>& param_info) {
                           QString name = QLatin1String(param_info.param.file);
                           name.chop(4);
                           return name.remove(QLatin1Char('_')).toStdString();
                         });

TEST(StoredBanner, IsABaselineJpegThatBeginsWithExif) {
  const QByteArray bytes = Resource("banner.jpg");
  ASSERT_GT(bytes.size(), 100);
  EXPECT_EQ(BigU16(bytes, 0), 0xFFD8);
  EXPECT_EQ(BigU16(bytes, 2), 0xFFE1);
  EXPECT_EQ(bytes.mid(6, 6), QByteArray("Exif\0\0", 6));
  const QByteArray tiff = bytes.mid(12, 4);
  EXPECT_TRUE(tiff == QByteArray("II*\0", 4) || tiff == QByteArray("MM\0*", 4));

  // Walk the segments up to the scan and read the frame header.
  int at = 2;
  int frame = -1;
  while (at + 4 <= bytes.size() && BigU16(bytes, at) != 0xFFDA) {
    const int marker = BigU16(bytes, at);
    ASSERT_EQ(marker & 0xFF00, 0xFF00) << "at " << at;
    const bool start_of_frame = marker >= 0xFFC0 && marker <= 0xFFCF && marker != 0xFFC4 &&
                                marker != 0xFFC8 && marker != 0xFFCC;
    if (start_of_frame) {
      EXPECT_EQ(frame, -1) << "a second frame header";
      EXPECT_EQ(marker, 0xFFC0) << "not baseline";
      frame = at;
    }
    at += 2 + BigU16(bytes, at + 2);
  }
  ASSERT_NE(frame, -1);
  EXPECT_EQ(U8(bytes, frame + 4), 8);        // bits per sample
  EXPECT_EQ(BigU16(bytes, frame + 5), 380);  // height
  EXPECT_EQ(BigU16(bytes, frame + 7), 150);  // width
  EXPECT_EQ(U8(bytes, frame + 9), 3);        // components
  EXPECT_EQ(BigU16(bytes, bytes.size() - 2), 0xFFD9);
}

TEST(StoredApplicationIcon, HoldsFiveEightBitSizes) {
  const QByteArray bytes = Resource("lormex.ico");
  ASSERT_GE(bytes.size(), 6 + 5 * 16);
  EXPECT_EQ(U16(bytes, 0), 0);
  EXPECT_EQ(U16(bytes, 2), 1);
  ASSERT_EQ(U16(bytes, 4), 5);
  qint64 end_of_previous = 6 + 5 * 16;
  const int sizes[] = {128, 64, 48, 32, 16};
  for (int i = 0; i < 5; ++i) {
    const int entry = 6 + 16 * i;
    const int size = sizes[i];
    EXPECT_EQ(U8(bytes, entry), size);
    EXPECT_EQ(U8(bytes, entry + 1), size);
    EXPECT_EQ(U16(bytes, entry + 4), 1);
    EXPECT_EQ(U16(bytes, entry + 6), 8);
    const qint64 length = U32(bytes, entry + 8);
    const qint64 offset = U32(bytes, entry + 12);
    EXPECT_EQ(length, 40 + 256 * 4 + size * size + size * ((size + 31) / 32 * 4));
    EXPECT_EQ(offset, end_of_previous) << "entries must follow each other without gaps";
    ASSERT_LE(offset + length, bytes.size());
    EXPECT_EQ(U32(bytes, static_cast<int>(offset) + 8), 2 * size);
    EXPECT_EQ(U16(bytes, static_cast<int>(offset) + 14), 8);
    end_of_previous = offset + length;
  }
  EXPECT_EQ(end_of_previous, bytes.size());
}

TEST(EmbeddedImages, FillSlotsZeroAndTwoToSevenAndLeaveSlotOneEmpty) {
  LoadEmbeddedImages();
  const struct {
    int slot;
    QSize size;
  } kSlots[] = {{BannerImage, {150, 380}},   {OpenFolderIcon, {16, 16}},
                {SettingsIcon, {16, 16}},    {AddAlbumIcon, {16, 16}},
                {DeleteAlbumIcon, {16, 16}}, {ClearAlbumsIcon, {16, 16}},
                {StartPackingIcon, {16, 16}}};
  for (const auto& expected : kSlots) {
    EXPECT_EQ(EmbeddedImage(expected.slot).size(), expected.size) << "slot " << expected.slot;
    EXPECT_EQ(EmbeddedPixmap(expected.slot).size(), expected.size) << "slot " << expected.slot;
    EXPECT_FALSE(EmbeddedIcon(expected.slot).isNull()) << "slot " << expected.slot;
  }
  EXPECT_FALSE(EmbeddedImage(BannerImage).hasAlphaChannel());
  for (int empty : {1, -1, kImageSlotCount}) {
    EXPECT_TRUE(EmbeddedImage(empty).isNull()) << "slot " << empty;
    EXPECT_TRUE(EmbeddedPixmap(empty).isNull()) << "slot " << empty;
    EXPECT_TRUE(EmbeddedIcon(empty).isNull()) << "slot " << empty;
  }
}

TEST(EmbeddedImages, ApplicationIconHasFiveSizesOfTheLogoMark) {
  const QIcon icon = ApplicationIcon();
  std::vector<int> sizes;
  for (const QSize& size : icon.availableSizes()) {
    EXPECT_EQ(size.width(), size.height());
    sizes.push_back(size.width());
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, std::vector<int>({16, 32, 48, 64, 128}));
  for (int size : {16, 32, 48, 64, 128}) {
    const QImage image = icon.pixmap(QSize(size, size)).toImage();
    ASSERT_EQ(image.size(), QSize(size, size));
    const int unit = size / 16;
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << size << ": rounded corner";
    const QColor glyph = image.pixelColor(4 * unit, 8 * unit);
    const QColor ground = image.pixelColor(1 * unit, 8 * unit);
    EXPECT_EQ(glyph, QColor(Qt::white)) << size;
    EXPECT_EQ(ground.alpha(), 255) << size;
    EXPECT_GT(ground.red(), 150) << size;
    EXPECT_LT(ground.green(), 90) << size;
  }
}

TEST(EmbeddedImages, ThemeIconsHaveTheSizesOfTheirFolders) {
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const QString path =
        QStringLiteral(LORMEX_RESOURCES_DIR "/icons/hicolor/%1x%1/apps/lormex.png").arg(size);
    const QImage image(path);
    ASSERT_FALSE(image.isNull()) << path.toStdString();
    EXPECT_EQ(image.size(), QSize(size, size));
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_LT(image.pixelColor(0, 0).alpha(), 128) << size << ": rounded corner";
    EXPECT_EQ(image.pixelColor(size / 2, size / 2).alpha(), 255) << size;
  }
}

// A small icon file for the decoder: every entry is one colour, with its top-left pixel cut
// out (by the alpha channel at 32 bits, by the mask otherwise).
struct TestEntry {
  int size;
  int bit_count;
  QRgb colour;
  bool alpha_channel = true;  // false: a 32-bit image whose alpha is 0 throughout
};

void Put16(QByteArray& out, int value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>(value >> 8 & 0xFF));
}

void Put32(QByteArray& out, qint64 value) {
  Put16(out, static_cast<int>(value & 0xFFFF));
  Put16(out, static_cast<int>(value >> 16 & 0xFFFF));
}

QByteArray EntryData(const TestEntry& entry) {
  const int size = entry.size;
  const int bits = entry.bit_count;
  const int palette_entries = bits <= 8 ? 1 << bits : 0;
  QByteArray data;
  Put32(data, 40);
  Put32(data, size);
  Put32(data, 2 * size);
  Put16(data, 1);
  Put16(data, bits);
  for (int i = 0; i < 6; ++i) Put32(data, 0);
  for (int i = 0; i < palette_entries; ++i) {
    // Index 1 holds the colour, everything else is black.
    const QRgb colour = i == 1 ? entry.colour : qRgb(0, 0, 0);
    data.append(static_cast<char>(qBlue(colour)));
    data.append(static_cast<char>(qGreen(colour)));
    data.append(static_cast<char>(qRed(colour)));
    data.append('\0');
  }
  const int stride = (size * bits + 31) / 32 * 4;
  for (int row = 0; row < size; ++row) {  // bottom row first; the cut-out pixel is in the last
    QByteArray line(stride, '\0');
    for (int x = 0; x < size; ++x) {
      const bool cut_out = row == size - 1 && x == 0;
      if (bits == 32) {
        line[4 * x] = static_cast<char>(qBlue(entry.colour));
        line[4 * x + 1] = static_cast<char>(qGreen(entry.colour));
        line[4 * x + 2] = static_cast<char>(qRed(entry.colour));
        line[4 * x + 3] = static_cast<char>(entry.alpha_channel && !cut_out ? 0xFF : 0);
      } else if (bits == 24) {
        line[3 * x] = static_cast<char>(qBlue(entry.colour));
        line[3 * x + 1] = static_cast<char>(qGreen(entry.colour));
        line[3 * x + 2] = static_cast<char>(qRed(entry.colour));
      } else {
        const int bit = x * bits;
        line[bit / 8] = static_cast<char>(line[bit / 8] | 1 << (8 - bits - bit % 8));
      }
    }
    data.append(line);
  }
  const int mask_stride = (size + 31) / 32 * 4;
  for (int row = 0; row < size; ++row) {
    QByteArray line(mask_stride, '\0');
    if (row == size - 1) line[0] = static_cast<char>(0x80);
    data.append(line);
  }
  return data;
}

QByteArray IconFile(const std::vector<TestEntry>& entries) {
  QByteArray file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, static_cast<int>(entries.size()));
  qint64 offset = 6 + 16 * static_cast<qint64>(entries.size());
  QByteArray data;
  for (const TestEntry& entry : entries) {
    const QByteArray one = EntryData(entry);
    file.append(static_cast<char>(entry.size & 0xFF));  // 256 is written as 0
    file.append(static_cast<char>(entry.size & 0xFF));
    file.append('\0');
    file.append('\0');
    Put16(file, 1);
    Put16(file, entry.bit_count);
    Put32(file, one.size());
    Put32(file, offset);
    offset += one.size();
    data.append(one);
  }
  return file + data;
}

constexpr QRgb kRed = 0xFFE02020;
constexpr QRgb kGreen = 0xFF20A040;
constexpr QRgb kBlue = 0xFF2040E0;
constexpr QRgb kYellow = 0xFFF0D020;

struct ChoiceCase {
  const char* name;
  std::vector<TestEntry> entries;
  int expected_size;
  QRgb expected_colour;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) { *out << c.name; }

class IconChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(IconChoiceTest, DecodesTheDeepestEntryOfTheFirstSize) {
  const ChoiceCase& c = GetParam();
  const QImage image = DecodeStoredImage(IconFile(c.entries));
  ASSERT_EQ(image.size(), QSize(c.expected_size, c.expected_size));
  EXPECT_EQ(image.pixel(c.expected_size / 2, c.expected_size / 2), c.expected_colour);
  EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
  EXPECT_EQ(image.pixelColor(1, 0).alpha(), 255);
}

INSTANTIATE_TEST_SUITE_P(
    , IconChoiceTest,
    ::testing::Values(
        ChoiceCase{"Single24BitWithMask", {{16, 24, kRed}}, 16, kRed},
        ChoiceCase{"Single8BitWithMask", {{16, 8, kGreen}}, 16, kGreen},
        ChoiceCase{"Single4BitWithMask", {{16, 4, kBlue}}, 16, kBlue},
        ChoiceCase{"Single1BitWithMask", {{16, 1, kYellow}}, 16, kYellow},
        ChoiceCase{"ThirtyTwoBitWithoutAlphaUsesMask", {{16, 32, kBlue, false}}, 16, kBlue},
        ChoiceCase{"DeepestOfTheFirstSize",
                   {{16, 8, kRed}, {32, 32, kGreen}, {16, 32, kBlue}, {16, 24, kYellow}},
                   16,
                   kBlue},
        ChoiceCase{
            "EarlierOnATie", {{16, 32, kRed}, {16, 24, kYellow}, {16, 32, kGreen}}, 16, kRed},
        ChoiceCase{"DeeperOtherSizeIgnored", {{16, 8, kRed}, {48, 32, kGreen}}, 16, kRed},
        ChoiceCase{"FirstSizeDecidesNotSmallest",
                   {{32, 24, kRed}, {16, 32, kGreen}, {32, 8, kBlue}},
                   32,
                   kRed},
        ChoiceCase{"SizeByteZeroIs256", {{256, 32, kGreen}}, 256, kGreen}),
    [](const ::testing::TestParamInfo<ChoiceCase>& param_info) {
      return std::string(param_info.param.name);
    });

struct DamageCase {
  const char* name;
  int offset;  // into a one-entry 16 x 16 8-bit file
  QByteArray bytes;
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class DamagedIconTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedIconTest, LeavesTheImageEmpty) {
  QByteArray file = IconFile({{16, 8, kRed}});
  ASSERT_FALSE(DecodeStoredImage(file).isNull());
  const DamageCase& c = GetParam();
  file.replace(c.offset, c.bytes.size(), c.bytes);
  EXPECT_TRUE(DecodeStoredImage(file).isNull());
}

QByteArray Le32(qint64 value) {
  QByteArray bytes;
  Put32(bytes, value);
  return bytes;
}

QByteArray Le16(int value) {
  QByteArray bytes;
  Put16(bytes, value);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    , DamagedIconTest,
    ::testing::Values(
        DamageCase{"NoEntries", 4, Le16(0)}, DamageCase{"DirectoryBeyondTheEnd", 4, Le16(100)},
        DamageCase{"DataBeyondTheEnd", 14, Le32(2000)},
        DamageCase{"OffsetBeyondTheEnd", 18, Le32(5000)},
        DamageCase{"OffsetWrapsAround", 18, Le32(0xFFFFFFF0)},
        DamageCase{"InfoHeaderTooLarge", 22, Le32(0x7FFFFFFF)},
        DamageCase{"InfoHeaderTooSmall", 22, Le32(12)}, DamageCase{"WidthDisagrees", 26, Le32(17)},
        DamageCase{"HeightWithoutMask", 30, Le32(16)},
        DamageCase{"NegativeHeight", 30, Le32(0xFFFFFFE0)}, DamageCase{"NoPlane", 34, Le16(0)},
        DamageCase{"SixteenBits", 36, Le16(16)}, DamageCase{"Compressed", 38, Le32(1)},
        DamageCase{"PaletteLargerThanTheDepthAllows", 54, Le32(300)}),
    [](const ::testing::TestParamInfo<DamageCase>& param_info) {
      return std::string(param_info.param.name);
    });

TEST(DecodeStoredImage, GivesNothingForUnknownOrCutJpegData) {
  EXPECT_TRUE(DecodeStoredImage(QByteArray()).isNull());
  EXPECT_TRUE(DecodeStoredImage(QByteArray("not a picture")).isNull());
  EXPECT_TRUE(DecodeStoredImage(Resource("banner.jpg").left(200)).isNull());
}

}  // namespace
}  // namespace lormex
