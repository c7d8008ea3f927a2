#ifndef LORMEX_RESOURCES_TOOLS_TOOLBAR_ICONS_H_
#define LORMEX_RESOURCES_TOOLS_TOOLBAR_ICONS_H_

#include <QImage>

namespace lormex::pictures {

// The six 16 x 16 toolbar pictures, straight (not premultiplied) ARGB. Pixels outside the
// drawing are fully transparent; the pictures stored with a mask use only alpha 0 and 255.

// An open light-yellow folder with a sheet showing at the top.
QImage DrawOpenFolderIcon();
// A grey metal gear wheel.
QImage DrawSettingsIcon();
// An open yellow folder holding a framed photograph.
QImage DrawAddAlbumIcon();
// The folder with the photograph under a large red cross.
QImage DrawDeleteAlbumIcon();
// A red square with rounded corners and a white cross.
QImage DrawClearAlbumsIcon();
// A closed yellow-orange box seen from above at an angle.
QImage DrawStartPackingIcon();

}  // namespace lormex::pictures

#endif  // LORMEX_RESOURCES_TOOLS_TOOLBAR_ICONS_H_
