// Start-up decodes the pictures before the application object exists; that must work.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSize>

#include "app/embedded_images.h"

namespace lormex {
namespace {

TEST(EmbeddedImagesAtStartUp, DecodeWithoutAnApplicationObject) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  LoadEmbeddedImages();
  EXPECT_EQ(EmbeddedImage(BannerImage).size(), QSize(150, 380));
  for (int slot : {OpenFolderIcon, SettingsIcon, AddAlbumIcon, DeleteAlbumIcon, ClearAlbumsIcon,
                   StartPackingIcon}) {
    EXPECT_EQ(EmbeddedImage(slot).size(), QSize(16, 16)) << "slot " << slot;
  }
  EXPECT_TRUE(EmbeddedImage(1).isNull());
}

}  // namespace
}  // namespace lormex
