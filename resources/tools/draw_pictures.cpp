// Draws the pictures that the program carries and writes them in their stored forms:
//   draw_pictures <resources folder> [--preview <png file>]
// The preview shows every written file as the program decodes it, enlarged and on checkered,
// light, dark and blue grounds, so that transparency and pixel placement can be judged.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/embedded_images.h"
#include "resources/tools/banner.h"
#include "resources/tools/exif_jpeg.h"
#include "resources/tools/ico_file.h"
#include "resources/tools/logo_mark.h"
#include "resources/tools/toolbar_icons.h"

namespace lormex::pictures {
namespace {

struct ToolbarIcon {
  const char* file;
  int bit_count;
  QImage (*draw)();
};

// The six toolbar pictures with the colour depth each is stored with.
const std::vector<ToolbarIcon>& ToolbarIcons() {
  static const std::vector<ToolbarIcon> kIcons = {
      {"open_folder.ico", 32, DrawOpenFolderIcon},
      {"settings.ico", 8, DrawSettingsIcon},
      {"add_album.ico", 24, DrawAddAlbumIcon},
      {"delete_album.ico", 32, DrawDeleteAlbumIcon},
      {"clear_albums.ico", 32, DrawClearAlbumsIcon},
      {"start_packing.ico", 32, DrawStartPackingIcon},
  };
  return kIcons;
}

constexpr int kApplicationIconSizes[] = {128, 64, 48, 32, 16};
constexpr int kThemeIconSizes[] = {16, 32, 48, 64, 128, 256};
constexpr int kBannerQuality = 92;

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    std::fprintf(stderr, "draw_pictures: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s (%lld bytes)\n", qPrintable(path), static_cast<long long>(bytes.size()));
  return true;
}

bool WriteIco(const QString& path, const std::vector<IcoImage>& images) {
  QString error;
  const QByteArray bytes = EncodeIco(images, &error);
  if (bytes.isEmpty()) {
    std::fprintf(stderr, "draw_pictures: %s: %s\n", qPrintable(path), qPrintable(error));
    return false;
  }
  return WriteBytes(path, bytes);
}

bool WritePictures(const QString& folder) {
  QString error;
  const QByteArray banner = EncodeExifJpeg(DrawBanner(), kBannerQuality, &error);
  if (banner.isEmpty()) {
    std::fprintf(stderr, "draw_pictures: banner: %s\n", qPrintable(error));
    return false;
  }
  bool ok = WriteBytes(folder + QStringLiteral("/banner.jpg"), banner);
  for (const ToolbarIcon& icon : ToolbarIcons()) {
    ok = WriteIco(folder + QLatin1Char('/') + QLatin1String(icon.file),
                  {IcoImage{icon.draw(), icon.bit_count}}) &&
         ok;
  }

  std::vector<IcoImage> application_icon;
  for (int size : kApplicationIconSizes) application_icon.push_back({LogoMarkImage(size), 8});
  ok = WriteIco(folder + QStringLiteral("/lormex.ico"), application_icon) && ok;

  for (int size : kThemeIconSizes) {
    const QString path = folder + QStringLiteral("/icons/hicolor/%1x%1/apps/lormex.png").arg(size);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!LogoMarkImage(size).save(path, "PNG")) {
      std::fprintf(stderr, "draw_pictures: cannot write %s\n", qPrintable(path));
      ok = false;
    } else {
      std::printf("%s\n", qPrintable(path));
    }
  }
  return ok;
}

// The picture a written file gives in the program; for the application icon every size.
std::vector<QImage> ReadBack(const QString& path, bool all_sizes = false) {
  std::vector<QImage> images;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "draw_pictures: cannot read back %s\n", qPrintable(path));
    return images;
  }
  const QByteArray bytes = file.readAll();
  if (!all_sizes) {
    const QImage image = DecodeStoredImage(bytes);
    if (!image.isNull()) images.push_back(image);
  } else {
    // Qt's reader gives every size; it is good enough for the 8-bit application icon.
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "ico");
    for (int i = 0; i < reader.imageCount(); ++i) {
      reader.jumpToImage(i);
      images.push_back(reader.read());
    }
  }
  if (images.empty()) std::fprintf(stderr, "draw_pictures: cannot decode %s\n", qPrintable(path));
  return images;
}

void Checkers(QPainter& painter, const QRect& area, int cell) {
  for (int y = area.top(); y <= area.bottom(); y += cell) {
    for (int x = area.left(); x <= area.right(); x += cell) {
      const bool dark = ((x - area.left()) / cell + (y - area.top()) / cell) % 2 != 0;
      painter.fillRect(QRect(x, y, cell, cell).intersected(area),
                       dark ? QColor(0xC8, 0xC8, 0xC8) : QColor(0xF4, 0xF4, 0xF4));
    }
  }
}

bool WritePreview(const QString& folder, const QString& preview_path) {
  constexpr int kZoom = 8;
  constexpr int kCell = 16 * kZoom + 12;
  QImage sheet(320 + 3 * kCell + 10, 800, QImage::Format_RGB32);
  sheet.fill(QColor(0x70, 0x78, 0x84));
  QPainter painter(&sheet);

  const std::vector<QImage> banner = ReadBack(folder + QStringLiteral("/banner.jpg"));
  if (!banner.empty()) {
    painter.drawImage(QRect(10, 10, 300, 760), banner[0]);
  }

  int index = 0;
  for (const ToolbarIcon& icon : ToolbarIcons()) {
    const std::vector<QImage> images =
        ReadBack(folder + QLatin1Char('/') + QLatin1String(icon.file));
    const int x = 320 + (index % 3) * kCell;
    const int y = 10 + (index / 3) * (kCell + 40);
    ++index;
    if (images.empty()) continue;
    const QRect big(x, y, 16 * kZoom, 16 * kZoom);
    Checkers(painter, big, kZoom);
    painter.drawImage(big, images[0]);
    // Actual size on a light and a dark toolbar.
    painter.fillRect(QRect(x, y + big.height() + 4, 28, 28), QColor(0xF0, 0xF0, 0xF0));
    painter.drawImage(x + 6, y + big.height() + 10, images[0]);
    painter.fillRect(QRect(x + 32, y + big.height() + 4, 28, 28), QColor(0x30, 0x30, 0x30));
    painter.drawImage(x + 38, y + big.height() + 10, images[0]);
    painter.fillRect(QRect(x + 64, y + big.height() + 4, 28, 28), QColor(0x33, 0x99, 0xFF));
    painter.drawImage(x + 70, y + big.height() + 10, images[0]);
  }

  const std::vector<QImage> logos = ReadBack(folder + QStringLiteral("/lormex.ico"), true);
  int x = 320;
  const int y = 10 + 2 * (kCell + 40);
  for (const QImage& logo : logos) {
    const QRect area(x, y, logo.width(), logo.height());
    Checkers(painter, area, 4);
    painter.drawImage(area.topLeft(), logo);
    x += logo.width() + 8;
  }
  if (!logos.empty()) {
    const QImage& smallest = logos.back();
    const QRect big(320, y + 140, smallest.width() * kZoom, smallest.height() * kZoom);
    Checkers(painter, big, kZoom);
    painter.drawImage(big, smallest);
  }
  painter.end();
  if (!sheet.save(preview_path, "PNG")) {
    std::fprintf(stderr, "draw_pictures: cannot write %s\n", qPrintable(preview_path));
    return false;
  }
  std::printf("preview: %s\n", qPrintable(preview_path));
  return true;
}

}  // namespace
}  // namespace lormex::pictures

int main(int argc, char** argv) {
  // Painting needs no screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = QGuiApplication::arguments();
  if (args.size() != 2 && !(args.size() == 4 && args[2] == QStringLiteral("--preview"))) {
    std::fprintf(stderr, "usage: draw_pictures <resources folder> [--preview <png file>]\n");
    return 2;
  }
  const QString folder = args[1];
  if (!lormex::pictures::WritePictures(folder)) return 1;
  if (args.size() == 4 && !lormex::pictures::WritePreview(folder, args[3])) return 1;
  return 0;
}
