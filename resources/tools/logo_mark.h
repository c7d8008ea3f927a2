#ifndef LORMEX_RESOURCES_TOOLS_LOGO_MARK_H_
#define LORMEX_RESOURCES_TOOLS_LOGO_MARK_H_

#include <QImage>
#include <QPainter>
#include <QRectF>

namespace lormex::pictures {

// Paints the logo mark, a white glyph on a red square with rounded corners, filling `square`.
void PaintLogoMark(QPainter& painter, const QRectF& square);

// The logo mark as an image of `size` x `size` pixels with soft (antialiased) corners. Sizes that
// are multiples of 16 keep every edge of the glyph on whole pixels.
QImage LogoMarkImage(int size);

}  // namespace lormex::pictures

#endif  // LORMEX_RESOURCES_TOOLS_LOGO_MARK_H_
