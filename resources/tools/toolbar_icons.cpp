#include "resources/tools/toolbar_icons.h"

#include <QColor>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

namespace lormex::pictures {

namespace {

constexpr int kSize = 16;
// Shapes are drawn at this many samples per pixel and averaged down, so that every pixel gets
// the exact share of the shapes that cover it.
constexpr int kSamples = 16;

// A picture written pixel by pixel: one string per row, one character per pixel; '.' is
// transparent and every other character is looked up in `colours`.
QImage FromRows(const char* const (&rows)[kSize], const QHash<char, QRgb>& colours) {
  QImage image(kSize, kSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const char c = rows[y][x];
      if (c != '.') image.setPixel(x, y, colours.value(c, qRgb(255, 0, 255)));
    }
  }
  return image;
}

// Vector drawing on the 16-unit grid, averaged down to 16 x 16 pixels.
QImage Render(const std::function<void(QPainter&)>& draw) {
  QImage big(kSize * kSamples, kSize * kSamples, QImage::Format_ARGB32_Premultiplied);
  big.fill(Qt::transparent);
  QPainter painter(&big);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(kSamples, kSamples);
  draw(painter);
  painter.end();

  QImage small(kSize, kSize, QImage::Format_ARGB32);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      long sum[4] = {0, 0, 0, 0};
      for (int sy = 0; sy < kSamples; ++sy) {
        const auto* line = reinterpret_cast<const QRgb*>(big.constScanLine(y * kSamples + sy));
        for (int sx = 0; sx < kSamples; ++sx) {
          const QRgb p = line[x * kSamples + sx];
          sum[0] += qRed(p);
          sum[1] += qGreen(p);
          sum[2] += qBlue(p);
          sum[3] += qAlpha(p);
        }
      }
      constexpr int kCount = kSamples * kSamples;
      const int alpha = static_cast<int>((sum[3] + kCount / 2) / kCount);
      if (alpha == 0) {
        small.setPixel(x, y, 0);
        continue;
      }
      // Premultiplied sums divided by the alpha sum give the straight colour.
      auto straight = [&](long channel) {
        return static_cast<int>(
            std::lround(255.0 * static_cast<double>(channel) / static_cast<double>(sum[3])));
      };
      small.setPixel(x, y, qRgba(straight(sum[0]), straight(sum[1]), straight(sum[2]), alpha));
    }
  }
  return small;
}

// Folders share their outline: the back with its tab on the left, the front flap opening to
// the right. The picture in the folder is drawn into the rows above the flap.
const QHash<char, QRgb>& FolderColours(bool light) {
  static const QHash<char, QRgb> kLight = {
      {'O', qRgb(0xB0, 0x84, 0x2A)}, {'b', qRgb(0xEE, 0xD0, 0x78)}, {'t', qRgb(0xF8, 0xE2, 0x9C)},
      {'f', qRgb(0xFD, 0xE8, 0x9A)}, {'h', qRgb(0xFF, 0xF6, 0xCF)}, {'S', qRgb(0x8E, 0x98, 0xA8)},
      {'s', qRgb(0xFF, 0xFF, 0xFF)}, {'l', qRgb(0xB4, 0xC2, 0xD8)}, {'d', qRgb(0xF0, 0xD4, 0x7C)}};
  static const QHash<char, QRgb> kYellow = {
      {'O', qRgb(0x9C, 0x6A, 0x0C)}, {'b', qRgb(0xE2, 0xA8, 0x22)}, {'t', qRgb(0xF0, 0xBE, 0x3C)},
      {'f', qRgb(0xFA, 0xCC, 0x3E)}, {'h', qRgb(0xFF, 0xE4, 0x82)}, {'d', qRgb(0xEC, 0xB4, 0x2A)},
      {'F', qRgb(0x5C, 0x40, 0x28)}, {'w', qRgb(0xFF, 0xFF, 0xFF)}, {'k', qRgb(0x78, 0xBE, 0xF0)},
      {'u', qRgb(0xFF, 0xD8, 0x3A)}, {'g', qRgb(0x4C, 0xAA, 0x48)}, {'G', qRgb(0x2E, 0x7E, 0x32)}};
  return light ? kLight : kYellow;
}

QImage FolderWithPhotograph() {
  static const char* const kRows[kSize] = {
      "...FFFFFFFFFF...",  //
      "...FwwwwwwwwF...",  //
      ".OOFwkkkkkuwF...",  //
      "OttFwkkkkkkwF...",  //
      "ObbFwkkgkkkwFO..",  //
      "ObbFwkgggkkwFO..",  //
      "ObbFwggGggkwFO..",  //
      "ObbOOOOOOOOOOOOO",  //
      "ObbOhhhhhhhhhhhO",  //
      "ObOfffffffffffO.",  //
      "ObOfffffffffffO.",  //
      "OOfffffffffffO..",  //
      "OOfffffffffffO..",  //
      "OfddddddddddO...",  //
      "OOOOOOOOOOOOO...",  //
      "................",  //
  };
  return FromRows(kRows, FolderColours(false));
}

}  // namespace

QImage DrawOpenFolderIcon() {
  static const char* const kRows[kSize] = {
      "................",  //
      "................",  //
      "....SSSSSSSSS...",  //
      ".OOOSsssssssS...",  //
      "OttOSslllllsSO..",  //
      "ObbbSsssssssSO..",  //
      "ObbbSslllllsSO..",  //
      "ObbOOOOOOOOOOOOO",  //
      "ObbOhhhhhhhhhhhO",  //
      "ObOfffffffffffO.",  //
      "ObOfffffffffffO.",  //
      "OOfffffffffffO..",  //
      "OOfffffffffffO..",  //
      "OfddddddddddO...",  //
      "OOOOOOOOOOOOO...",  //
      "................",  //
  };
  return FromRows(kRows, FolderColours(true));
}

QImage DrawSettingsIcon() {
  // Eight teeth set off the axes by half a tooth pitch, so that all of them get the same
  // staircase and the wheel keeps its symmetry at this size.
  static const char* const kShape[kSize] = {
      "................",  //
      "....###..###....",  //
      "....###..###....",  //
      ".....######.....",  //
      ".##.########.##.",  //
      ".##############.",  //
      ".######..######.",  //
      "...###....###...",  //
      "...###....###...",  //
      ".######..######.",  //
      ".##############.",  //
      ".##.########.##.",  //
      ".....######.....",  //
      "....###..###....",  //
      "....###..###....",  //
      "................",  //
  };
  constexpr double kCentre = 8.0;
  auto inside = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < kSize && y < kSize && kShape[y][x] == '#';
  };
  QImage image(kSize, kSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if (!inside(x, y)) continue;
      const double cx = x + 0.5 - kCentre;
      const double cy = y + 0.5 - kCentre;
      const bool hole_rim = std::hypot(cx, cy) < 3.2;
      const bool edge =
          !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
      // Light falls from the top left: outer edges facing it are lit, the rim of the hole on
      // that side lies in shadow.
      const double light = std::clamp(0.5 - (cx + cy) / 16.0, 0.0, 1.0);
      double v;
      if (edge) {
        v = hole_rim ? 0.30 + 0.18 * (1.0 - light) : 0.30 + 0.16 * light;
      } else {
        v = 0.60 + 0.32 * light;
      }
      image.setPixel(x, y, QColor::fromRgbF(v - 0.02, v, std::min(1.0, v + 0.04)).rgb());
    }
  }
  return image;
}

QImage DrawAddAlbumIcon() { return FolderWithPhotograph(); }

QImage DrawDeleteAlbumIcon() {
  // Two bars three pixels wide along the diagonals, each with a dark rim, so that the cross
  // stands out from the yellow and blue under it.
  constexpr int kFirst = 3;
  constexpr int kLast = 12;
  auto core = [](int x, int y) {
    const bool in_range = x >= kFirst && x <= kLast && y >= kFirst && y <= kLast;
    return in_range && (std::abs(x - y) <= 1 || std::abs(x + y - (kSize - 1)) <= 1);
  };
  QImage image = FolderWithPhotograph();
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      if (core(x, y)) {
        // The middle line of each bar is lighter, as if the bars were rounded.
        const bool middle = x == y || x + y == kSize - 1;
        image.setPixel(x, y, middle ? qRgb(0xFF, 0x4A, 0x3C) : qRgb(0xE0, 0x1C, 0x18));
      } else if (core(x - 1, y) || core(x + 1, y) || core(x, y - 1) || core(x, y + 1)) {
        image.setPixel(x, y, qRgb(0x86, 0x0A, 0x0A));
      }
    }
  }
  return image;
}

QImage DrawClearAlbumsIcon() {
  return Render([](QPainter& painter) {
    QLinearGradient red(0, 1, 0, 15);
    red.setColorAt(0, QColor(0xF0, 0x4E, 0x46));
    red.setColorAt(1, QColor(0xC8, 0x1E, 0x1E));
    painter.setPen(QPen(QColor(0x9A, 0x14, 0x14), 1.0));
    painter.setBrush(red);
    painter.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    QPainterPath cross;
    cross.moveTo(5, 5);
    cross.lineTo(11, 11);
    cross.moveTo(11, 5);
    cross.lineTo(5, 11);
    painter.strokePath(cross, QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
  });
}

QImage DrawStartPackingIcon() {
  // The top is a rhombus on the 2:1 grid, the two visible sides hang from its front edges; the
  // tape runs along the seam of the closed flaps and on down the right side. Outer edges are
  // dark, the edges between the faces are lit.
  static const char* const kRows[kSize] = {
      "................",  //
      "......OOOO......",  //
      "....OOhhttOO....",  //
      "..OOTTttttttOO..",  //
      "OOhtttTTttttttOO",  //
      "OlEEttttTTttEErO",  //
      "OlllEEttttUUrrrO",  //
      "OlllllEEEErUUrrO",  //
      "OllllllEerrUUrrO",  //
      "OllllllEerrUUrrO",  //
      "OllllllEerrUUrrO",  //
      "OllllllEerrrrrrO",  //
      "OOlllllEerrrrrOO",  //
      "..OOlllEerrrOO..",  //
      "....OOlEerOO....",  //
      "......OOOO......",  //
  };
  static const QHash<char, QRgb> kColours = {
      {'O', qRgb(0x8A, 0x4C, 0x06)}, {'h', qRgb(0xFF, 0xF0, 0xB8)}, {'t', qRgb(0xFF, 0xDC, 0x78)},
      {'l', qRgb(0xF6, 0xA8, 0x30)}, {'r', qRgb(0xD4, 0x7E, 0x12)}, {'T', qRgb(0xD0, 0x96, 0x44)},
      {'U', qRgb(0xA8, 0x70, 0x2A)}, {'E', qRgb(0xFF, 0xD0, 0x6A)}, {'e', qRgb(0xB0, 0x66, 0x0C)}};
  return FromRows(kRows, kColours);
}

}  // namespace lormex::pictures
