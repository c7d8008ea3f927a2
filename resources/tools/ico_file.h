#ifndef LORMEX_RESOURCES_TOOLS_ICO_FILE_H_
#define LORMEX_RESOURCES_TOOLS_ICO_FILE_H_

#include <QByteArray>
#include <QImage>
#include <QString>
#include <vector>

namespace lormex::pictures {

// One image of an icon file and the colour depth it is stored with: 8 (256-colour palette and
// mask), 24 (colour and mask) or 32 (colour with alpha, and mask).
struct IcoImage {
  QImage image;
  int bit_count = 32;
};

// Encodes `images` (square, 1 to 256 pixels) as one ICO file holding one bitmap per image in the
// given order, the directory first and the image data directly after it. For 8 and 24 bits a pixel
// is transparent when its alpha is below 128 and is then stored black, as the mask only cuts it
// out. Gives an empty array and sets `error` when an image cannot be stored (wrong size, more than
// 256 colours for 8 bits).
QByteArray EncodeIco(const std::vector<IcoImage>& images, QString* error);

}  // namespace lormex::pictures

#endif  // LORMEX_RESOURCES_TOOLS_ICO_FILE_H_
