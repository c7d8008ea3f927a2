#ifndef LORMEX_APP_FOLDER_TREE_H_
#define LORMEX_APP_FOLDER_TREE_H_

#include <QString>
#include <QStringList>
#include <QTreeWidget>

namespace lormex {

// A volume the folder tree offers, as the system reports it.
struct VolumeInfo {
  QString root_path;
  QString file_system_type;
  QString device;
  QString display_name;
};

// True for volumes a user would pick albums from: the root, disks and network shares; false for
// the kernel's pseudo file systems, snap images, boot partitions and files mounted over files.
bool IsUserVolume(const VolumeInfo& volume);

// Platform facts: the volumes below the computer entry ("/" first, the others by path) and the
// personal folder with its display name.
QList<VolumeInfo> UserVolumes();
QString PersonalFolder();

// The sub-folders of `path` (hidden ones included, "." and ".." never), sorted by name without
// regard to case; links to folders count as folders.
QStringList ListSubfolders(const QString& path);
// True when `path` holds at least one sub-folder; stops at the first one.
bool HasSubfolder(const QString& path);

// The tree of the computer's folders in which the user finds album folders. Its top entry stands
// for the computer; below it stand "/", the mounted volumes and the personal folder. Folders are
// listed when they are expanded, not before. GUI thread only.
class FolderTree : public QTreeWidget {
  Q_OBJECT

 public:
  explicit FolderTree(QWidget* parent = nullptr);

  // The path of the selected entry ending with "/", or empty for the top entry and no selection.
  QString Text() const;

  // Selects the entry of `path` (which ends with "/"), expanding the entries on the way. The top
  // entry's children are searched for the longest root that holds `path`.
  bool SelectPath(const QString& path);

  QTreeWidgetItem* computer_item() const { return computer_item_; }

 Q_SIGNALS:
  // A right click: the entry under the pointer (if any) is selected first.
  void PopupRequested(const QPoint& global_pos);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void startDrag(Qt::DropActions supported_actions) override;

 private:
  QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const QString& text, const QString& path);
  void Populate(QTreeWidgetItem* item);

  QTreeWidgetItem* computer_item_ = nullptr;
};

}  // namespace lormex

#endif  // LORMEX_APP_FOLDER_TREE_H_
