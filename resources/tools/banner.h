#ifndef LORMEX_RESOURCES_TOOLS_BANNER_H_
#define LORMEX_RESOURCES_TOOLS_BANNER_H_

#include <QImage>

namespace lormex::pictures {

// The vertical banner of the settings dialog, 150 x 380 pixels, opaque: the logo mark at the top
// left, a wall of small portrait photographs, a globe at the left edge, an open cardboard box
// with a stack of photo books at the lower right and hands on a laptop keyboard at the bottom,
// on a light blue and white background.
QImage DrawBanner();

}  // namespace lormex::pictures

#endif  // LORMEX_RESOURCES_TOOLS_BANNER_H_
