#ifndef LORMEX_APP_EMBEDDED_IMAGES_H_
#define LORMEX_APP_EMBEDDED_IMAGES_H_

#include <QByteArrayView>
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace lormex {

// The numbered image slots that the program's pictures are decoded into. Slot 1 is never used.
enum ImageSlot : int {
  BannerImage = 0,
  OpenFolderIcon = 2,
  SettingsIcon = 3,
  AddAlbumIcon = 4,
  DeleteAlbumIcon = 5,
  ClearAlbumsIcon = 6,
  StartPackingIcon = 7,
};
inline constexpr int kImageSlotCount = 8;

// Decodes the pictures carried inside the program into their slots, in the order 0, 2, 4, 5, 6,
// 7, 3. A picture that cannot be decoded leaves its slot empty; nothing is reported. Call once
// on the main thread at start-up, before any lookup; needs no QGuiApplication.
void LoadEmbeddedImages();

// The decoded picture of `slot`: ARGB with its transparency for the icons, an opaque image for
// the banner, a null image for an empty slot, slot 1 or a number outside 0 to 7. Any thread,
// after LoadEmbeddedImages has returned.
QImage EmbeddedImage(int slot);

// The picture of `slot` for toolbar buttons, list rows and image buttons; a null icon for an
// empty slot. GUI thread, once the QGuiApplication exists.
QIcon EmbeddedIcon(int slot);

// The picture of `slot` for image displays; a null pixmap for an empty slot. GUI thread, once
// the QGuiApplication exists.
QPixmap EmbeddedPixmap(int slot);

// The program's icon with all five sizes (128, 64, 48, 32 and 16 pixels) of the carried icon
// file, for the window icon; a null icon if that file cannot be decoded. GUI thread, once the
// QGuiApplication exists.
QIcon ApplicationIcon();

// Decodes one stored picture. Data that begins like an icon file (reserved field 0, type 1) is
// read as one: of the directory entries as large as the first, the one with the most bits per
// pixel (the earlier on a tie) becomes an ARGB image with its transparency (the alpha channel
// of 32-bit images, the mask of the others). Other data goes to Qt's image readers. Gives a
// null image when the data cannot be decoded, also for every truncated or inconsistent icon
// file. Any thread.
QImage DecodeStoredImage(QByteArrayView data);

}  // namespace lormex

#endif  // LORMEX_APP_EMBEDDED_IMAGES_H_
