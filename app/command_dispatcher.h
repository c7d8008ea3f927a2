#ifndef LORMEX_APP_COMMAND_DISPATCHER_H_
#define LORMEX_APP_COMMAND_DISPATCHER_H_

#include <QString>

namespace lormex {

// The operations that commands lead to. Each runs to its end on the GUI thread.
class CommandHandler {
 public:
  virtual ~CommandHandler() = default;
  virtual void ShowSettingsDialog() = 0;
  virtual void OpenOutputFolder() = 0;
  // An empty text takes the folder selected in the folder tree; otherwise the dropped text.
  virtual void AddAlbum(const QString& text) = 0;
  virtual void DeleteAlbums() = 0;
  virtual void ClearAlbums() = 0;
  virtual void StartPacking() = 0;
  // Ends the main event loop.
  virtual void Quit() = 0;
};

// The one table that turns command identifiers and file drops into operations.
class CommandDispatcher {
 public:
  explicit CommandDispatcher(CommandHandler* handler) : handler_(handler) {}

  // Runs the action of `id`; an identifier the table does not list does nothing.
  void Dispatch(int id) const;

  // A file list dropped on the album list, its paths joined by line feeds.
  void DispatchDrop(const QString& text) const;

 private:
  CommandHandler* handler_;
};

}  // namespace lormex

#endif  // LORMEX_APP_COMMAND_DISPATCHER_H_
