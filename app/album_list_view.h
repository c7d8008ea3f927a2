#ifndef LORMEX_APP_ALBUM_LIST_VIEW_H_
#define LORMEX_APP_ALBUM_LIST_VIEW_H_

#include <QString>
#include <QTreeWidget>

namespace lormex {

// Columns of the album list.
enum AlbumColumn : int { kAlbumNameColumn = 0, kFileCountColumn = 1, kStatusColumn = 2 };

// The list of albums to pack, one row per album: name, file count and status. Accepts file lists
// dropped from the folder tree or the system's file browser. GUI thread only.
class AlbumListView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit AlbumListView(QWidget* parent = nullptr);

  // True when row `row` is selected.
  bool IsRowSelected(int row) const;

  // The paths of a dropped file list, each as the drag source gave it, joined by line feeds.
  static QString DroppedText(const QMimeData* mime);

 Q_SIGNALS:
  void FileListDropped(const QString& text);
  void PopupRequested(const QPoint& global_pos);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  QStringList mimeTypes() const override;
  Qt::DropActions supportedDropActions() const override;
};

}  // namespace lormex

#endif  // LORMEX_APP_ALBUM_LIST_VIEW_H_
