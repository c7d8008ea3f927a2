#include "resources/tools/banner.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "resources/tools/logo_mark.h"

namespace lormex::pictures {

namespace {

constexpr int kWidth = 150;
constexpr int kHeight = 380;
// Drawn this many times larger and averaged down, which gives clean edges to the small shapes.
constexpr int kScale = 4;

// A fixed sequence of numbers, so that every run draws the same picture.
class Dice {
 public:
  // A number in [low, high).
  double Next(double low, double high) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    const double unit = static_cast<double>(state_ >> 11) / static_cast<double>(1ULL << 53);
    return low + unit * (high - low);
  }
  int Pick(int count) { return static_cast<int>(Next(0, count)) % count; }

 private:
  std::uint64_t state_ = 0x2545F4914F6CDD1DULL;
};

void PaintBackground(QPainter& painter) {
  QLinearGradient sky(0, 0, 0, kHeight);
  sky.setColorAt(0.0, QColor(0xFF, 0xFF, 0xFF));
  sky.setColorAt(0.30, QColor(0xF1, 0xF8, 0xFE));
  sky.setColorAt(0.75, QColor(0xD6, 0xEA, 0xF9));
  sky.setColorAt(1.0, QColor(0xC4, 0xE0, 0xF6));
  painter.fillRect(QRectF(0, 0, kWidth, kHeight), sky);

  // A soft band of light across the middle and a few out-of-focus spots.
  QLinearGradient band(0, 120, kWidth, 260);
  band.setColorAt(0.0, QColor(255, 255, 255, 0));
  band.setColorAt(0.5, QColor(255, 255, 255, 150));
  band.setColorAt(1.0, QColor(255, 255, 255, 0));
  painter.fillRect(QRectF(0, 0, kWidth, kHeight), band);

  Dice dice;
  painter.setPen(Qt::NoPen);
  for (int i = 0; i < 14; ++i) {
    const QPointF centre(dice.Next(0, kWidth), dice.Next(40, kHeight - 60));
    const double radius = dice.Next(4, 16);
    QRadialGradient spot(centre, radius);
    spot.setColorAt(0.0, QColor(255, 255, 255, 120));
    spot.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setBrush(spot);
    painter.drawEllipse(centre, radius, radius);
  }
}

void PaintLogo(QPainter& painter) {
  const QRectF square(12, 12, 30, 30);
  painter.setPen(Qt::NoPen);
  for (int i = 3; i >= 1; --i) {
    painter.setBrush(QColor(0x40, 0x10, 0x10, 18));
    painter.drawRoundedRect(square.translated(0.6 * i, 1.0 * i), 5, 5);
  }
  PaintLogoMark(painter, square);

  // A thin rule beside the mark, carrying its red into the picture.
  QLinearGradient rule(48, 0, kWidth - 10, 0);
  rule.setColorAt(0, QColor(0xD6, 0x2C, 0x2C, 200));
  rule.setColorAt(1, QColor(0xD6, 0x2C, 0x2C, 0));
  painter.fillRect(QRectF(48, 33, kWidth - 58, 1.6), rule);
  QLinearGradient rule2(48, 0, kWidth - 30, 0);
  rule2.setColorAt(0, QColor(0x5A, 0x8C, 0xC0, 160));
  rule2.setColorAt(1, QColor(0x5A, 0x8C, 0xC0, 0));
  painter.fillRect(QRectF(48, 38, kWidth - 78, 1.0), rule2);
}

// One small portrait photograph: a white print with a head and shoulders on a plain backdrop.
void PaintPortrait(QPainter& painter, const QRectF& print, Dice& dice) {
  static constexpr std::array<QRgb, 8> kBackdrops = {0xFFB8D4EC, 0xFFE9D8C4, 0xFFCFE3C8,
                                                     0xFFF1C9C9, 0xFFD9D2EA, 0xFFF4E2B0,
                                                     0xFFBFD8D4, 0xFFE6E6E6};
  static constexpr std::array<QRgb, 5> kSkins = {0xFFF6D2B4, 0xFFEBBE98, 0xFFD9A47A, 0xFFB9825A,
                                                 0xFF8C5A3C};
  static constexpr std::array<QRgb, 6> kHair = {0xFF2B1E16, 0xFF4A3020, 0xFF7A4A24,
                                                0xFFC89A50, 0xFF1A1A1A, 0xFF9A9AA0};
  static constexpr std::array<QRgb, 7> kClothes = {0xFF2F4F7F, 0xFF8C2F39, 0xFF3F6F4A, 0xFF444444,
                                                   0xFFF0F0F0, 0xFF6A4C8C, 0xFFD98C2B};

  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x20, 0x30, 0x50, 40));
  painter.drawRect(print.translated(0.8, 1.2));
  painter.setBrush(Qt::white);
  painter.drawRect(print);

  const QRectF photo = print.adjusted(1.6, 1.6, -1.6, -4.0);
  painter.save();
  painter.setClipRect(photo);
  const QColor backdrop = QColor::fromRgb(kBackdrops[dice.Pick(kBackdrops.size())]);
  QRadialGradient light(photo.center() - QPointF(0, photo.height() * 0.2), photo.height());
  light.setColorAt(0, backdrop.lighter(112));
  light.setColorAt(1, backdrop.darker(112));
  painter.fillRect(photo, light);

  const double w = photo.width();
  const double h = photo.height();
  const double cx = photo.left() + w * dice.Next(0.44, 0.56);
  const QColor skin = QColor::fromRgb(kSkins[dice.Pick(kSkins.size())]);
  const QColor hair = QColor::fromRgb(kHair[dice.Pick(kHair.size())]);
  const QColor clothes = QColor::fromRgb(kClothes[dice.Pick(kClothes.size())]);
  const double head_y = photo.top() + h * 0.42;
  const double head_rx = w * 0.19;
  const double head_ry = h * 0.19;
  const bool long_hair = dice.Next(0, 1) < 0.45;

  if (long_hair) {
    painter.setBrush(hair);
    painter.drawRoundedRect(
        QRectF(cx - head_rx * 1.35, head_y - head_ry * 1.2, head_rx * 2.7, head_ry * 2.9), head_rx,
        head_rx);
  }
  painter.setBrush(clothes);
  painter.drawEllipse(QPointF(cx, photo.bottom() + h * 0.12), w * 0.46, h * 0.36);
  painter.setBrush(skin.darker(108));
  painter.drawRect(
      QRectF(cx - head_rx * 0.45, head_y + head_ry * 0.6, head_rx * 0.9, head_ry * 0.9));
  painter.setBrush(skin);
  painter.drawEllipse(QPointF(cx, head_y), head_rx, head_ry);
  painter.setBrush(hair);
  QPainterPath cap;
  cap.moveTo(cx - head_rx * 1.08, head_y + head_ry * 0.05);
  cap.cubicTo(cx - head_rx * 1.2, head_y - head_ry * 1.5, cx + head_rx * 1.2,
              head_y - head_ry * 1.5, cx + head_rx * 1.08, head_y + head_ry * 0.05);
  cap.cubicTo(cx + head_rx * 0.7, head_y - head_ry * 0.7, cx - head_rx * 0.5,
              head_y - head_ry * 0.8, cx - head_rx * 1.08, head_y + head_ry * 0.05);
  painter.drawPath(cap);
  painter.restore();
}

void PaintPhotoWall(QPainter& painter) {
  Dice dice;
  constexpr int kColumns = 4;
  constexpr int kRows = 4;
  constexpr double kLeft = 20;
  constexpr double kTop = 58;
  constexpr double kCellWidth = 31;
  constexpr double kCellHeight = 36;
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const double x = kLeft + column * kCellWidth + (row % 2) * 3.0 + dice.Next(-1.2, 1.2);
      const double y = kTop + row * kCellHeight + dice.Next(-1.2, 1.2);
      painter.save();
      painter.translate(x + 13, y + 16);
      painter.rotate(dice.Next(-5, 5));
      PaintPortrait(painter, QRectF(-13, -16, 26, 32), dice);
      painter.restore();
    }
  }
}

void PaintGlobe(QPainter& painter) {
  const QPointF centre(12, 236);
  constexpr double kRadius = 42;
  painter.save();
  painter.setPen(Qt::NoPen);
  QRadialGradient halo(centre, kRadius + 10);
  halo.setColorAt(0.80, QColor(0x60, 0xA8, 0xE0, 70));
  halo.setColorAt(1.0, QColor(0x60, 0xA8, 0xE0, 0));
  painter.setBrush(halo);
  painter.drawEllipse(centre, kRadius + 10, kRadius + 10);

  QRadialGradient ocean(centre + QPointF(-12, -16), kRadius * 1.5);
  ocean.setColorAt(0.0, QColor(0x8C, 0xD2, 0xF8));
  ocean.setColorAt(0.55, QColor(0x2E, 0x8A, 0xD4));
  ocean.setColorAt(1.0, QColor(0x14, 0x4E, 0x96));
  painter.setBrush(ocean);
  painter.drawEllipse(centre, kRadius, kRadius);

  QPainterPath ball;
  ball.addEllipse(centre, kRadius, kRadius);
  painter.setClipPath(ball);

  // Land, in coordinates relative to the centre.
  QLinearGradient land(centre.x(), centre.y() - kRadius, centre.x(), centre.y() + kRadius);
  land.setColorAt(0, QColor(0x8E, 0xD0, 0x6A));
  land.setColorAt(1, QColor(0x3C, 0x8E, 0x3E));
  painter.setBrush(land);
  painter.translate(centre);
  QPainterPath north;
  north.moveTo(-10, -38);
  north.cubicTo(4, -44, 22, -36, 26, -26);
  north.cubicTo(30, -16, 20, -12, 14, -6);
  north.cubicTo(8, 0, 10, 8, 2, 8);
  north.cubicTo(-6, 8, -4, -4, -14, -8);
  north.cubicTo(-24, -12, -26, -30, -10, -38);
  painter.drawPath(north);
  QPainterPath south;
  south.moveTo(12, 10);
  south.cubicTo(22, 8, 30, 14, 28, 22);
  south.cubicTo(26, 30, 18, 34, 14, 40);
  south.cubicTo(10, 34, 12, 26, 8, 20);
  south.cubicTo(6, 16, 6, 11, 12, 10);
  painter.drawPath(south);
  QPainterPath island;
  island.addEllipse(QPointF(34, -4), 4, 6);
  painter.drawPath(island);

  // Parallels and meridians.
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(255, 255, 255, 80), 0.6));
  for (double lat : {-28.0, -14.0, 0.0, 14.0, 28.0}) {
    const double half = std::sqrt(kRadius * kRadius - lat * lat);
    painter.drawEllipse(QPointF(0, lat), half, half * 0.12);
  }
  for (double width : {0.25, 0.6, 0.9}) {
    painter.drawEllipse(QPointF(0, 0), kRadius * width, kRadius);
  }
  painter.drawLine(QPointF(0, -kRadius), QPointF(0, kRadius));

  // Light from the top left and a shaded limb.
  QRadialGradient shine(QPointF(-14, -18), kRadius * 0.9);
  shine.setColorAt(0, QColor(255, 255, 255, 110));
  shine.setColorAt(1, QColor(255, 255, 255, 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(shine);
  painter.drawEllipse(QPointF(0, 0), kRadius, kRadius);
  QRadialGradient limb(QPointF(-6, -8), kRadius * 1.25);
  limb.setColorAt(0.75, QColor(0, 20, 60, 0));
  limb.setColorAt(1.0, QColor(0, 20, 60, 90));
  painter.setBrush(limb);
  painter.drawEllipse(QPointF(0, 0), kRadius, kRadius);
  painter.restore();
}

// A photo book lying flat: the cover seen from above at an angle, with the page edges below it.
void PaintBook(QPainter& painter, const QPointF& front_left, double width, double depth,
               double thickness, const QColor& cover, bool photo_on_cover) {
  const double slant = depth * 0.55;
  const QPointF a = front_left;
  const QPointF b = a + QPointF(width, 0);
  const QPointF c = b + QPointF(slant, -depth);
  const QPointF d = a + QPointF(slant, -depth);
  const QPointF down(0, thickness);
  painter.setPen(Qt::NoPen);

  // Page block on the front and the right, cover boards around it.
  painter.setBrush(cover.darker(135));
  painter.drawPolygon(QPolygonF({b, c, c + down, b + down}));
  painter.setBrush(QColor(0xF6, 0xF0, 0xE0));
  painter.drawRect(QRectF(a.x() + 0.6, a.y() + 0.5, width - 0.6, thickness - 1.0));
  painter.setPen(QPen(QColor(0xC8, 0xBE, 0xA8), 0.3));
  for (double y = a.y() + 1.3; y < a.y() + thickness - 0.8; y += 0.9) {
    painter.drawLine(QPointF(a.x() + 0.8, y), QPointF(b.x(), y));
  }
  painter.setPen(Qt::NoPen);
  painter.setBrush(cover.darker(115));
  painter.drawRect(QRectF(a.x(), a.y() + thickness - 0.7, width + 0.4, 0.7));
  painter.drawRect(QRectF(a.x(), a.y(), 0.8, thickness));

  QLinearGradient top(d, b);
  top.setColorAt(0, cover.lighter(118));
  top.setColorAt(1, cover);
  painter.setBrush(top);
  painter.drawPolygon(QPolygonF({a, b, c, d}));
  if (photo_on_cover) {
    // A picture framed on the cover.
    auto at = [&](double u, double v) { return a + (b - a) * u + (d - a) * v; };
    painter.setBrush(Qt::white);
    painter.drawPolygon(QPolygonF({at(0.28, 0.2), at(0.72, 0.2), at(0.72, 0.8), at(0.28, 0.8)}));
    painter.setBrush(QColor(0x7E, 0xB8, 0xE6));
    painter.drawPolygon(
        QPolygonF({at(0.32, 0.45), at(0.68, 0.45), at(0.68, 0.74), at(0.32, 0.74)}));
    painter.setBrush(QColor(0x5A, 0xA8, 0x4E));
    painter.drawPolygon(
        QPolygonF({at(0.32, 0.26), at(0.68, 0.26), at(0.68, 0.45), at(0.5, 0.52), at(0.32, 0.42)}));
  }
}

void PaintBoxWithBooks(QPainter& painter) {
  const QColor cardboard(0xCB, 0x93, 0x58);
  const QColor cardboard_dark(0x9C, 0x68, 0x36);
  // Opening of the box: front edge y = 276, back edge 12 higher and shifted right.
  const QPointF front_left(74, 276), front_right(136, 276);
  const QPointF back_left(86, 264), back_right(148, 264);
  const QPointF bottom_left(74, 326), bottom_right(136, 326), bottom_back(148, 314);
  painter.save();
  painter.setPen(Qt::NoPen);

  // Shadow on the ground.
  QRadialGradient ground(QPointF(112, 326), 46);
  ground.setColorAt(0, QColor(0x30, 0x40, 0x60, 70));
  ground.setColorAt(1, QColor(0x30, 0x40, 0x60, 0));
  painter.setBrush(ground);
  painter.drawEllipse(QPointF(112, 326), 46, 9);

  // Back flap standing up, inner back wall, and the left flap folded out.
  painter.setBrush(cardboard.darker(108));
  painter.drawPolygon(QPolygonF(
      {back_left, back_right, back_right + QPointF(-4, -20), back_left + QPointF(2, -22)}));
  painter.setBrush(cardboard_dark);
  painter.drawPolygon(QPolygonF({front_left, back_left, back_right, front_right}));

  // The stack of photo books rising out of the opening.
  struct Book {
    double x, y, width, depth, thickness;
    QRgb cover;
    bool photo;
  };
  static constexpr std::array<Book, 4> kBooks = {{
      {82, 272, 44, 9, 6, 0xFF2E5C8A, false},
      {84, 266, 41, 9, 5.5, 0xFF8C2F3C, false},
      {80, 260.5, 44, 9, 5.5, 0xFFF2F2EE, true},
      {85, 254, 38, 9, 6.5, 0xFF3F7F5A, true},
  }};
  for (const Book& book : kBooks) {
    PaintBook(painter, QPointF(book.x, book.y), book.width, book.depth, book.thickness,
              QColor::fromRgb(book.cover), book.photo);
  }

  // Front and right side of the box.
  QLinearGradient front(0, 276, 0, 326);
  front.setColorAt(0, cardboard.lighter(106));
  front.setColorAt(1, cardboard.darker(106));
  painter.setBrush(front);
  painter.drawPolygon(QPolygonF({front_left, front_right, bottom_right, bottom_left}));
  painter.setBrush(cardboard.darker(125));
  painter.drawPolygon(QPolygonF({front_right, back_right, bottom_back, bottom_right}));
  // Tape and a label on the front.
  painter.setBrush(QColor(0xB8, 0x84, 0x4A));
  painter.drawRect(QRectF(101, 276, 8, 50));
  painter.setBrush(QColor(0xF4, 0xEE, 0xE2));
  painter.drawRect(QRectF(80, 296, 16, 10));
  painter.setBrush(QColor(0xC0, 0xB6, 0xA4));
  painter.drawRect(QRectF(82, 299, 12, 1));
  painter.drawRect(QRectF(82, 302, 8, 1));

  // Front flap folded down and the right flap folded out.
  painter.setBrush(cardboard.lighter(112));
  painter.drawPolygon(QPolygonF(
      {front_left, front_right, front_right + QPointF(3, 10), front_left + QPointF(-5, 10)}));
  painter.setBrush(cardboard.darker(112));
  painter.drawPolygon(QPolygonF(
      {front_right, back_right, back_right + QPointF(6, 6), front_right + QPointF(8, 8)}));
  painter.setBrush(cardboard.lighter(104));
  painter.drawPolygon(QPolygonF(
      {front_left, back_left, back_left + QPointF(-16, -2), front_left + QPointF(-14, 2)}));

  painter.setPen(QPen(QColor(0x6E, 0x48, 0x22, 150), 0.5));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolygon(QPolygonF({front_left, front_right, bottom_right, bottom_left}));
  painter.drawPolyline(QPolygonF({front_right, back_right, bottom_back, bottom_right}));
  painter.restore();
}

// A hand resting on the keys, seen from above: the wrist at the origin, the fingers pointing up.
// Unmirrored it is a left hand, its thumb towards the middle of the keyboard.
void PaintHand(QPainter& painter, const QPointF& wrist, double direction, bool mirrored) {
  const QColor skin(0xF2, 0xC8, 0xA4);
  const QColor skin_shade(0xDC, 0xA6, 0x80);
  const QColor line(0xC2, 0x86, 0x62);
  painter.save();
  painter.translate(wrist);
  painter.rotate(direction);
  painter.scale(mirrored ? -1.45 : 1.45, 1.45);

  QLinearGradient lit(-14, 0, 14, 0);
  lit.setColorAt(0, skin_shade);
  lit.setColorAt(0.45, skin);
  lit.setColorAt(1, skin_shade);

  // Little to index finger, drawn first so that the back of the hand covers their roots.
  struct Finger {
    double x, length, width, tilt;
  };
  static constexpr std::array<Finger, 4> kFingers = {
      {{-9.6, 11.5, 5.4, -9}, {-3.2, 15.0, 6.2, -3}, {3.4, 16.5, 6.4, 2}, {10.0, 14.5, 6.0, 7}}};
  painter.setPen(QPen(line, 0.45));
  for (const Finger& finger : kFingers) {
    painter.save();
    painter.translate(finger.x, -20);
    painter.rotate(finger.tilt);
    painter.setBrush(lit);
    painter.drawRoundedRect(
        QRectF(-finger.width / 2, -finger.length, finger.width, finger.length + 6),
        finger.width / 2, finger.width / 2);
    // Nail and the crease of the middle joint.
    painter.setBrush(QColor(0xF9, 0xDE, 0xD2));
    painter.drawRoundedRect(
        QRectF(-finger.width * 0.3, -finger.length + 1.0, finger.width * 0.6, 3.6), 1.2, 1.2);
    painter.drawLine(QPointF(-finger.width * 0.3, -finger.length * 0.45),
                     QPointF(finger.width * 0.3, -finger.length * 0.45));
    painter.restore();
  }

  // Thumb, reaching in towards the space bar.
  painter.save();
  painter.translate(11, -7);
  painter.rotate(38);
  painter.setBrush(lit);
  painter.drawRoundedRect(QRectF(-3.4, -15, 6.8, 19), 3.4, 3.4);
  painter.setBrush(QColor(0xF9, 0xDE, 0xD2));
  painter.drawRoundedRect(QRectF(-2.0, -14, 4.0, 3.8), 1.4, 1.4);
  painter.restore();

  // Back of the hand from the wrist to the knuckles.
  QPainterPath back;
  back.moveTo(-10.5, 6);
  back.cubicTo(-12, -6, -15, -14, -13, -21);
  back.cubicTo(-8, -25, 8, -25, 12.5, -20);
  back.cubicTo(14, -12, 13, -4, 10.5, 6);
  back.closeSubpath();
  painter.setBrush(lit);
  painter.drawPath(back);
  painter.setPen(QPen(line, 0.35));
  for (const Finger& finger : kFingers) {
    painter.drawLine(QPointF(finger.x * 0.8, -12), QPointF(finger.x * 0.95, -19));
  }

  // Sleeve with a light cuff.
  painter.setPen(Qt::NoPen);
  QLinearGradient cloth(-13, 0, 13, 0);
  cloth.setColorAt(0, QColor(0x2A, 0x44, 0x6E));
  cloth.setColorAt(0.5, QColor(0x3E, 0x60, 0x94));
  cloth.setColorAt(1, QColor(0x2A, 0x44, 0x6E));
  painter.setBrush(cloth);
  painter.drawRoundedRect(QRectF(-13.5, 8, 27, 30), 4, 4);
  painter.setBrush(QColor(0xF2, 0xF4, 0xF8));
  painter.drawRoundedRect(QRectF(-12.5, 3.5, 25, 6), 2, 2);
  painter.restore();
}

void PaintLaptop(QPainter& painter) {
  // The base seen from the front and above, its far edge at the hinge.
  constexpr double kHinge = 326;
  const QPolygonF base(
      {QPointF(-10, kHinge), QPointF(160, kHinge), QPointF(190, 392), QPointF(-40, 392)});
  painter.save();
  painter.setPen(Qt::NoPen);
  // Shadow of the laptop on the desk behind it.
  QLinearGradient shadow(0, kHinge - 6, 0, kHinge);
  shadow.setColorAt(0, QColor(0x30, 0x50, 0x80, 0));
  shadow.setColorAt(1, QColor(0x30, 0x50, 0x80, 60));
  painter.fillRect(QRectF(0, kHinge - 6, kWidth, 6), shadow);
  QLinearGradient metal(0, kHinge, 0, 380);
  metal.setColorAt(0, QColor(0xE8, 0xEB, 0xF0));
  metal.setColorAt(1, QColor(0xB8, 0xBE, 0xC8));
  painter.setBrush(metal);
  painter.drawPolygon(base);
  // The hinge and the lower edge of the screen.
  painter.setBrush(QColor(0x55, 0x5C, 0x68));
  painter.drawRect(QRectF(0, kHinge - 1.5, kWidth, 2.5));
  painter.setBrush(QColor(0xF8, 0xFA, 0xFC));
  painter.drawRect(QRectF(0, kHinge + 1, kWidth, 0.8));

  // The keyboard is laid out flat and mapped onto the base.
  QTransform onto_base;
  const QPolygonF flat({QPointF(0, 0), QPointF(100, 0), QPointF(100, 40), QPointF(0, 40)});
  const QPolygonF keys_area(
      {QPointF(-4, kHinge + 5), QPointF(154, kHinge + 5), QPointF(172, 378), QPointF(-22, 378)});
  QTransform::quadToQuad(flat, keys_area, onto_base);
  painter.setTransform(onto_base, true);
  painter.setBrush(QColor(0x9A, 0xA1, 0xAC));
  painter.drawRoundedRect(QRectF(-1, -1, 102, 42), 1.5, 1.5);
  constexpr int kRows = 5;
  for (int row = 0; row < kRows; ++row) {
    const double y = row * 8.0 + 0.8;
    double x = 0.8 + row * 1.2;
    int column = 0;
    while (x < 99) {
      double width = 5.4;
      if (row == 4 && column == 3) width = 36;  // space bar
      const QRectF key(x, y, std::min(width, 99.2 - x), 6.4);
      painter.setBrush(QColor(0x2E, 0x33, 0x3C));
      painter.drawRoundedRect(key, 0.8, 0.8);
      painter.setBrush(QColor(0x46, 0x4C, 0x57));
      painter.drawRoundedRect(key.adjusted(0.5, 0.4, -0.5, -1.4), 0.6, 0.6);
      x += width + 1.0;
      ++column;
    }
  }
  painter.restore();

  PaintHand(painter, QPointF(36, 393), 14, false);
  PaintHand(painter, QPointF(116, 393), -14, true);
}

}  // namespace

QImage DrawBanner() {
  QImage big(kWidth * kScale, kHeight * kScale, QImage::Format_ARGB32_Premultiplied);
  big.fill(Qt::white);
  QPainter painter(&big);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(kScale, kScale);
  PaintBackground(painter);
  PaintPhotoWall(painter);
  PaintGlobe(painter);
  PaintBoxWithBooks(painter);
  PaintLaptop(painter);
  PaintLogo(painter);
  painter.end();
  return big.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
      .convertToFormat(QImage::Format_RGB32);
}

}  // namespace lormex::pictures
