#include "app/folder_tree.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QDirIterator>
#include <QDrag>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QMimeData>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>
#include <algorithm>

namespace lormex {
namespace {

constexpr int kPathRole = Qt::UserRole;

const QFileIconProvider& Icons() {
  static const QFileIconProvider provider;
  return provider;
}

QString WithSeparator(const QString& path) {
  return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

}  // namespace

bool IsUserVolume(const VolumeInfo& volume) {
  const QString& root = volume.root_path;
  if (root == QLatin1String("/")) return true;
  if (!QFileInfo(root).isDir()) return false;  // a file mounted over a file
  static const QStringList kSystemRoots = {QStringLiteral("/boot"),    QStringLiteral("/snap"),
                                           QStringLiteral("/proc"),    QStringLiteral("/sys"),
                                           QStringLiteral("/dev"),     QStringLiteral("/run"),
                                           QStringLiteral("/var/lib"), QStringLiteral("/etc")};
  for (const QString& system_root : kSystemRoots) {
    if (root == system_root || root.startsWith(system_root + QLatin1Char('/'))) {
      // Removable media are mounted below /run/media on some desktops.
      if (!root.startsWith(QLatin1String("/run/media/"))) return false;
    }
  }
  static const QStringList kNetworkTypes = {QStringLiteral("nfs"),        QStringLiteral("nfs4"),
                                            QStringLiteral("cifs"),       QStringLiteral("smb3"),
                                            QStringLiteral("fuse.sshfs"), QStringLiteral("9p")};
  if (kNetworkTypes.contains(volume.file_system_type)) return true;
  if (volume.file_system_type == QLatin1String("squashfs")) return false;
  return volume.device.startsWith(QLatin1String("/dev/"));
}

QList<VolumeInfo> UserVolumes() {
  QList<VolumeInfo> volumes;
  for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
    if (!storage.isValid() || !storage.isReady()) continue;
    VolumeInfo volume{storage.rootPath(), QString::fromUtf8(storage.fileSystemType()),
                      QString::fromUtf8(storage.device()), storage.displayName()};
    if (volume.root_path == QLatin1String("/") || !IsUserVolume(volume)) continue;
    volumes.append(volume);
  }
  std::sort(volumes.begin(), volumes.end(), [](const VolumeInfo& a, const VolumeInfo& b) {
    return a.root_path.compare(b.root_path, Qt::CaseInsensitive) < 0;
  });
  volumes.prepend(VolumeInfo{QStringLiteral("/"), QString(), QString(), QStringLiteral("/")});
  return volumes;
}

QString PersonalFolder() { return QDir::homePath(); }

QStringList ListSubfolders(const QString& path) {
  QDir dir(path);
  return dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                       QDir::Name | QDir::IgnoreCase);
}

bool HasSubfolder(const QString& path) {
  QDirIterator it(path, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
  return it.hasNext();
}

FolderTree::FolderTree(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  header()->hide();
  // Deep folders get a horizontal scroll bar instead of names cut short.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setRootIsDecorated(true);
  setFrameShadow(QFrame::Sunken);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragOnly);
  setDefaultDropAction(Qt::CopyAction);

  computer_item_ = new QTreeWidgetItem(this, {QStringLiteral("计算机")});
  computer_item_->setIcon(0, Icons().icon(QFileIconProvider::Computer));
  for (const VolumeInfo& volume : UserVolumes()) {
    QString text = volume.display_name;
    if (text != volume.root_path)
      text += QStringLiteral(" (") + volume.root_path + QLatin1Char(')');
    QTreeWidgetItem* item = AddFolderItem(computer_item_, text, volume.root_path);
    item->setIcon(0, Icons().icon(QFileIconProvider::Drive));
  }
  const QString personal = PersonalFolder();
  if (!personal.isEmpty() && QFileInfo(personal).isDir()) {
    AddFolderItem(computer_item_, QStringLiteral("主文件夹"), personal);
  }
  computer_item_->setExpanded(true);

  connect(this, &QTreeWidget::itemExpanded, this, &FolderTree::Populate);
}

QTreeWidgetItem* FolderTree::AddFolderItem(QTreeWidgetItem* parent, const QString& text,
                                           const QString& path) {
  auto* item = new QTreeWidgetItem(parent, {text});
  item->setIcon(0, Icons().icon(QFileIconProvider::Folder));
  item->setData(0, kPathRole, path);
  item->setChildIndicatorPolicy(HasSubfolder(path) ? QTreeWidgetItem::ShowIndicator
                                                   : QTreeWidgetItem::DontShowIndicator);
  return item;
}

void FolderTree::Populate(QTreeWidgetItem* item) {
  if (item == computer_item_) return;
  // Listed anew at every expansion, so folders made meanwhile appear and removed ones go;
  // entries that stay keep their own expanded sub-trees.
  const QString path = item->data(0, kPathRole).toString();
  const QString prefix = WithSeparator(path);
  const QStringList names = ListSubfolders(path);
  QHash<QString, QTreeWidgetItem*> existing;
  while (item->childCount() > 0) {
    QTreeWidgetItem* child = item->takeChild(0);
    existing.insert(child->text(0), child);
  }
  for (const QString& name : names) {
    if (QTreeWidgetItem* child = existing.take(name)) {
      item->addChild(child);
    } else {
      AddFolderItem(item, name, prefix + name);
    }
  }
  qDeleteAll(existing);
  if (item->childCount() == 0) {
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
  }
}

QString FolderTree::Text() const {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  if (selected.isEmpty()) return QString();
  const QString path = selected.first()->data(0, kPathRole).toString();
  return path.isEmpty() ? QString() : WithSeparator(path);
}

bool FolderTree::SelectPath(const QString& path) {
  QTreeWidgetItem* best = nullptr;
  int best_length = -1;
  for (int i = 0; i < computer_item_->childCount(); ++i) {
    QTreeWidgetItem* root = computer_item_->child(i);
    const QString root_path = WithSeparator(root->data(0, kPathRole).toString());
    if (path.startsWith(root_path) && root_path.size() > best_length) {
      best = root;
      best_length = static_cast<int>(root_path.size());
    }
  }
  if (best == nullptr) return false;
  QTreeWidgetItem* item = best;
  const QStringList names = path.mid(best_length).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  auto child_named = [](QTreeWidgetItem* parent, const QString& name) -> QTreeWidgetItem* {
    for (int i = 0; i < parent->childCount(); ++i) {
      if (parent->child(i)->text(0) == name) return parent->child(i);
    }
    return nullptr;
  };
  for (const QString& name : names) {
    if (item->isExpanded()) {
      Populate(item);
    } else {
      item->setExpanded(true);  // lists its folders
    }
    item = child_named(item, name);
    if (item == nullptr) return false;
  }
  setCurrentItem(item);
  scrollToItem(item);
  return true;
}

void FolderTree::contextMenuEvent(QContextMenuEvent* event) {
  // The event comes through the viewport, in its coordinates.
  if (QTreeWidgetItem* item = itemAt(event->pos())) {
    setCurrentItem(item);
  }
  Q_EMIT PopupRequested(event->globalPos());
}

void FolderTree::startDrag(Qt::DropActions /*supported_actions*/) {
  const QString text = Text();
  if (text.isEmpty()) return;  // the computer entry is no folder
  auto* mime = new QMimeData;
  mime->setUrls({QUrl::fromLocalFile(text)});
  mime->setText(text);
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  if (QTreeWidgetItem* item = currentItem()) drag->setPixmap(item->icon(0).pixmap(16, 16));
  drag->exec(Qt::CopyAction);
}

}  // namespace lormex
