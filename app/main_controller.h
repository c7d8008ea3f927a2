#ifndef LORMEX_APP_MAIN_CONTROLLER_H_
#define LORMEX_APP_MAIN_CONTROLLER_H_

#include <QObject>
#include <atomic>
#include <memory>

#include "app/command_dispatcher.h"
#include "settings/settings.h"

namespace lormex {

class AlbumListController;
class MainWindow;
class PackingRunController;
class UserPrompts;

// Binds the main window to the operations of the program: it owns the window, receives every
// dispatched command and runs the operation on the GUI thread.
class MainController : public QObject, public CommandHandler {
  Q_OBJECT

 public:
  // `picture_threads` of 0 uses one picture thread per processor.
  MainController(SettingsStore* settings, UserPrompts* prompts, int picture_threads = 0);
  ~MainController() override;

  // Opens the main window and fills it; the delete and packing commands start disabled.
  void OpenMainWindow();

  MainWindow* main_window() const { return main_window_.get(); }
  AlbumListController* albums() const { return albums_.get(); }
  PackingRunController* packing() const { return packing_.get(); }
  // True while a packing run is in progress.
  bool PackingBusy() const;
  // The flag itself, shared by the run and the album list operations.
  std::atomic<bool>* PackingBusyFlag() { return &packing_busy_; }
  const CommandDispatcher& dispatcher() const { return dispatcher_; }

  void ShowSettingsDialog() override;
  void OpenOutputFolder() override;
  void AddAlbum(const QString& text) override;
  void DeleteAlbums() override;
  void ClearAlbums() override;
  void StartPacking() override;
  void Quit() override;

 private:
  SettingsStore* settings_;
  UserPrompts* prompts_;
  int picture_threads_;
  CommandDispatcher dispatcher_;
  std::unique_ptr<MainWindow> main_window_;
  std::atomic<bool> packing_busy_{false};
  std::unique_ptr<AlbumListController> albums_;
  std::unique_ptr<PackingRunController> packing_;
};

}  // namespace lormex

#endif  // LORMEX_APP_MAIN_CONTROLLER_H_
