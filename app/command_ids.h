#ifndef LORMEX_APP_COMMAND_IDS_H_
#define LORMEX_APP_COMMAND_IDS_H_

namespace lormex {

// One identifier space for menu items, popup items, shortcuts and toolbar buttons. A toolbar
// click arrives with its button's identifier, a shortcut with the identifier of its menu item.
enum CommandId : int {
  kToolbarSettings = 0,
  kToolbarOpenOutputFolder = 1,
  kToolbarAddAlbum = 2,
  kToolbarDeleteAlbums = 3,
  kToolbarClearAlbums = 4,
  kToolbarStartPacking = 5,

  kMenuSettings = 101,
  kMenuOpenOutputFolder = 102,
  kMenuQuit = 104,
  kMenuAddAlbum = 201,
  kMenuDeleteAlbums = 202,
  kMenuClearAlbums = 203,
  kMenuStartPacking = 204,

  kTreePopupAddAlbum = 910,
  kListPopupDeleteAlbums = 911,
  kListPopupClearAlbums = 912,
  kListPopupStartPacking = 913,
};

}  // namespace lormex

#endif  // LORMEX_APP_COMMAND_IDS_H_
