#include "app/main_controller.h"

#include <QCoreApplication>

#include "albums/album_list_controller.h"
#include "app/app_texts.h"
#include "app/embedded_images.h"
#include "app/main_window.h"
#include "app/user_prompts.h"
#include "packing/packing_run_controller.h"
#include "settings/settings_dialog.h"

namespace lormex {

MainController::MainController(SettingsStore* settings, UserPrompts* prompts, int picture_threads)
    : settings_(settings),
      prompts_(prompts),
      picture_threads_(picture_threads),
      dispatcher_(this) {}

// The run goes first: its thread may still be handing over its last update.
MainController::~MainController() {
  packing_.reset();
  albums_.reset();
}

bool MainController::PackingBusy() const { return packing_busy_.load(); }

void MainController::OpenMainWindow() {
  main_window_ = std::make_unique<MainWindow>(&dispatcher_);
  main_window_->setWindowTitle(AppTitle());
  main_window_->setWindowIcon(ApplicationIcon());
  main_window_->CreateMenus();
  main_window_->CreateMainGadgets();
  albums_ = std::make_unique<AlbumListController>(main_window_.get(), prompts_, &packing_busy_);
  packing_ = std::make_unique<PackingRunController>(
      main_window_.get(), prompts_, settings_, albums_.get(), &packing_busy_, picture_threads_);
  main_window_->DisableDeleteCommands(1);
  main_window_->DisablePackingCommands(1);
}

void MainController::ShowSettingsDialog() {
  lormex::ShowSettingsDialog(settings_, prompts_, PreferenceFileName().toStdString(),
                             main_window_.get());
}

void MainController::OpenOutputFolder() { packing_->OpenOutputFolder(); }

void MainController::AddAlbum(const QString& text) { albums_->AddAlbum(text); }

void MainController::DeleteAlbums() { albums_->DeleteAlbums(); }

void MainController::ClearAlbums() { albums_->ClearAlbums(); }

void MainController::StartPacking() { packing_->StartPacking(); }

void MainController::Quit() { QCoreApplication::quit(); }

}  // namespace lormex
