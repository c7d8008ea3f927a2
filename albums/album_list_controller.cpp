#include "albums/album_list_controller.h"

#include <QFile>
#include <QLabel>
#include <QTreeWidgetItem>

#include "albums/album_rules.h"
#include "app/album_list_view.h"
#include "app/app_texts.h"
#include "app/embedded_images.h"
#include "app/folder_tree.h"
#include "app/main_window.h"
#include "app/user_prompts.h"
#include "packing/album_walk.h"
#include "packing/packing_run.h"

namespace lormex {

AlbumListController::AlbumListController(MainWindow* window, UserPrompts* prompts,
                                         const std::atomic<bool>* packing_busy)
    : window_(window), prompts_(prompts), packing_busy_(packing_busy) {}

bool AlbumListController::Busy() const { return packing_busy_->load(); }

void AlbumListController::AddAlbum(const QString& text) {
  if (Busy()) return;
  if (text.isEmpty()) {
    const std::string path = QFile::encodeName(window_->folder_tree()->Text()).toStdString();
    if (!IsLongEnoughForAlbum(path)) {
      prompts_->Inform(window_, AppTitle(), QStringLiteral("请先选择一个相册文件夹，然后再添加"));
      return;
    }
    AddOneAlbum(path);
    return;
  }
  for (const std::string& path : DroppedAlbumPaths(QFile::encodeName(text).toStdString())) {
    if (!IsFolder(path)) {
      prompts_->ShowError(window_, AppTitle(), QStringLiteral("不能添加空相册"));
      continue;
    }
    AddOneAlbum(path);
  }
}

void AlbumListController::AddOneAlbum(const std::string& path) {
  const int file_counter = CountFiles(path);
  if (file_counter == 0) {
    prompts_->ShowError(window_, AppTitle(), QStringLiteral("不能添加空相册"));
    return;
  }
  for (const std::string& album : album_list_) {
    if (album == path) {
      prompts_->ShowError(window_, AppTitle(), QStringLiteral("不能重复添加相册"));
      return;
    }
  }
  AlbumListView* list = window_->album_list_view();
  const int rows_before = list->topLevelItemCount();
  auto* row = new QTreeWidgetItem(
      {QFile::decodeName(QByteArray::fromStdString(AlbumNameFromPath(path))),
       QString::number(file_counter), QString::fromUtf8(AlbumStatusText(AlbumStatus::kReady))});
  row->setIcon(kAlbumNameColumn, EmbeddedIcon(AddAlbumIcon));
  list->addTopLevelItem(row);
  album_list_.push_back(path);
  window_->DisablePackingCommands(0);
  window_->count_field()->setText(QStringLiteral("相册数量:") + QString::number(rows_before + 1));
}

void AlbumListController::DeleteAlbums() {
  AlbumListView* list = window_->album_list_view();
  if (list->topLevelItemCount() == 0 || Busy()) return;
  if (!prompts_->Ask(window_, AppTitle(), QStringLiteral("确信要删除这个相册吗？"))) return;
  // From the last row to the first, so the rows still to visit keep their positions.
  for (int row = list->topLevelItemCount() - 1; row >= 0; --row) {
    if (list->IsRowSelected(row)) {
      delete list->takeTopLevelItem(row);
      album_list_.erase(album_list_.begin() + row);
    }
  }
  const int rows_left = list->topLevelItemCount();
  if (rows_left == 0) {
    window_->DisableDeleteCommands(1);
    window_->DisablePackingCommands(1);
  }
  window_->count_field()->setText(QStringLiteral("相册数量：") + QString::number(rows_left));
}

void AlbumListController::ClearAlbums() {
  AlbumListView* list = window_->album_list_view();
  if (list->topLevelItemCount() == 0 || Busy()) return;
  if (!prompts_->Ask(window_, AppTitle(), QStringLiteral("确信要清空相册吗？"))) return;
  list->clear();
  album_list_.clear();
  window_->DisableDeleteCommands(1);
  window_->DisablePackingCommands(1);
  window_->count_field()->setText(QStringLiteral("相册数量：0"));
}

}  // namespace lormex
