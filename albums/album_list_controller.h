#ifndef LORMEX_ALBUMS_ALBUM_LIST_CONTROLLER_H_
#define LORMEX_ALBUMS_ALBUM_LIST_CONTROLLER_H_

#include <QString>
#include <atomic>
#include <string>
#include <vector>

namespace lormex {

class MainWindow;
class UserPrompts;

// The operations that change the album list: add (from the folder tree or a drop), delete the
// selected albums, clear. `AlbumList` and the rows of the album list view change only together,
// so the album at position i always belongs to row i. Every operation runs on the GUI thread and
// does nothing while a packing run is in progress.
class AlbumListController {
 public:
  AlbumListController(MainWindow* window, UserPrompts* prompts,
                      const std::atomic<bool>* packing_busy);

  // With an empty text, adds the folder selected in the folder tree; otherwise `text` is a
  // dropped file list whose folders are added one by one, each with its own checks and messages.
  void AddAlbum(const QString& text);
  // Asks, then removes the selected rows and their albums.
  void DeleteAlbums();
  // Asks, then removes every row and album.
  void ClearAlbums();

  // The album folders, each ending with "/", in row order.
  const std::vector<std::string>& album_list() const { return album_list_; }

 private:
  void AddOneAlbum(const std::string& path);
  bool Busy() const;

  MainWindow* window_;
  UserPrompts* prompts_;
  const std::atomic<bool>* packing_busy_;
  std::vector<std::string> album_list_;
};

}  // namespace lormex

#endif  // LORMEX_ALBUMS_ALBUM_LIST_CONTROLLER_H_
