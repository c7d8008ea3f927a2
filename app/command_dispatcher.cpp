#include "app/command_dispatcher.h"

#include "app/command_ids.h"

namespace lormex {

void CommandDispatcher::Dispatch(int id) const {
  switch (id) {
    case kMenuSettings:
    case kToolbarSettings:
      handler_->ShowSettingsDialog();
      break;
    case kMenuOpenOutputFolder:
    case kToolbarOpenOutputFolder:
      handler_->OpenOutputFolder();
      break;
    case kMenuAddAlbum:
    case kTreePopupAddAlbum:
    case kToolbarAddAlbum:
      handler_->AddAlbum(QString());
      break;
    case kMenuDeleteAlbums:
    case kListPopupDeleteAlbums:
    case kToolbarDeleteAlbums:
      handler_->DeleteAlbums();
      break;
    case kMenuClearAlbums:
    case kListPopupClearAlbums:
    case kToolbarClearAlbums:
      handler_->ClearAlbums();
      break;
    case kMenuStartPacking:
    case kListPopupStartPacking:
    case kToolbarStartPacking:
      handler_->StartPacking();
      break;
    case kMenuQuit:
      handler_->Quit();
      break;
    default:
      break;
  }
}

void CommandDispatcher::DispatchDrop(const QString& text) const { handler_->AddAlbum(text); }

}  // namespace lormex
