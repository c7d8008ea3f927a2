#include "app/album_list_view.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

namespace lormex {

AlbumListView::AlbumListView(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(3);
  setHeaderLabels({QStringLiteral("相册"), QStringLiteral("文件数量"), QStringLiteral("状态")});
  header()->setStretchLastSection(false);
  header()->resizeSection(kAlbumNameColumn, 300);
  header()->resizeSection(kFileCountColumn, 100);
  header()->resizeSection(kStatusColumn, 100);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setFrameShadow(QFrame::Sunken);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setDefaultDropAction(Qt::CopyAction);
}

bool AlbumListView::IsRowSelected(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item != nullptr && item->isSelected();
}

QString AlbumListView::DroppedText(const QMimeData* mime) {
  QStringList paths;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  }
  return paths.join(QLatin1Char('\n'));
}

QStringList AlbumListView::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

Qt::DropActions AlbumListView::supportedDropActions() const { return Qt::CopyAction; }

void AlbumListView::contextMenuEvent(QContextMenuEvent* event) {
  Q_EMIT PopupRequested(event->globalPos());
}

void AlbumListView::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedText(event->mimeData()).isEmpty() && (event->possibleActions() & Qt::CopyAction)) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void AlbumListView::dragMoveEvent(QDragMoveEvent* event) {
  if (!DroppedText(event->mimeData()).isEmpty() && (event->possibleActions() & Qt::CopyAction)) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void AlbumListView::dropEvent(QDropEvent* event) {
  const QString text = DroppedText(event->mimeData());
  if (text.isEmpty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  Q_EMIT FileListDropped(text);
}

}  // namespace lormex
