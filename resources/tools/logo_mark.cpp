#include "resources/tools/logo_mark.h"

#include <QLinearGradient>
#include <QPainterPath>

namespace lormex::pictures {

void PaintLogoMark(QPainter& painter, const QRectF& square) {
  painter.save();
  painter.translate(square.topLeft());
  // The mark is laid out on a 16-unit grid so that it stays crisp at 16, 32, 48 ... pixels.
  painter.scale(square.width() / 16.0, square.height() / 16.0);
  painter.setPen(Qt::NoPen);

  QLinearGradient red(0, 0, 0, 16);
  red.setColorAt(0, QColor(0xE8, 0x3A, 0x36));
  red.setColorAt(1, QColor(0xC4, 0x1C, 0x24));
  painter.setBrush(red);
  painter.drawRoundedRect(QRectF(0, 0, 16, 16), 2.5, 2.5);

  // A bold L holding a small square: an album corner with one picture in it.
  painter.setBrush(Qt::white);
  QPainterPath glyph;
  glyph.addRect(QRectF(3, 3, 3, 10));
  glyph.addRect(QRectF(3, 10, 10, 3));
  glyph.addRect(QRectF(8, 3, 5, 5));
  glyph.setFillRule(Qt::WindingFill);
  painter.drawPath(glyph);
  painter.restore();
}

QImage LogoMarkImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  PaintLogoMark(painter, QRectF(0, 0, size, size));
  painter.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace lormex::pictures
