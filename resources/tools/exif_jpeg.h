#ifndef LORMEX_RESOURCES_TOOLS_EXIF_JPEG_H_
#define LORMEX_RESOURCES_TOOLS_EXIF_JPEG_H_

#include <QByteArray>
#include <QImage>
#include <QString>

namespace lormex::pictures {

// Encodes `image` as a baseline JPEG file with 8-bit samples and three components whose first
// segment after the start marker is an Exif block (no JFIF block). Gives an empty array and sets
// `error` when libjpeg fails.
QByteArray EncodeExifJpeg(const QImage& image, int quality, QString* error);

}  // namespace lormex::pictures

#endif  // LORMEX_RESOURCES_TOOLS_EXIF_JPEG_H_
