#include "app/main_window.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMoveEvent>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <algorithm>

#include "app/album_list_view.h"
#include "app/command_dispatcher.h"
#include "app/command_ids.h"
#include "app/embedded_images.h"
#include "app/folder_tree.h"
#include "app/main_splitter.h"

namespace lormex {
namespace {

constexpr int kStateFieldWidth = 150;
constexpr int kTimeFieldWidth = 100;
constexpr int kCountFieldWidth = 120;
constexpr int kTreeStartWidth = 250;

}  // namespace

int CentredOffset(int screen, int window) { return std::max(0, (screen - window) / 2); }

MainWindow::MainWindow(const CommandDispatcher* dispatcher, QWidget* parent)
    : QMainWindow(parent), dispatcher_(dispatcher) {
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);
  // The menu bar takes its height out of these pixels, as on the platforms with an inner menu.
  resize(kInnerWidth, kInnerHeight);
}

QAction* MainWindow::AddCommand(QWidget* place, int id, const QString& text) {
  auto* action = new QAction(text, this);
  action->setData(id);
  connect(action, &QAction::triggered, this, [this, id] { dispatcher_->Dispatch(id); });
  place->addAction(action);
  actions_.insert(id, action);
  return action;
}

void MainWindow::CreateMenus() {
  QMenuBar* bar = menuBar();
  QMenu* settings_menu = bar->addMenu(QStringLiteral("设置"));
  AddCommand(settings_menu, kMenuSettings, QStringLiteral("设置\tF2"))
      ->setShortcut(QKeySequence(Qt::Key_F2));
  AddCommand(settings_menu, kMenuOpenOutputFolder, QStringLiteral("打开打包文件夹\tF4"))
      ->setShortcut(QKeySequence(Qt::Key_F4));
  settings_menu->addSeparator();
  AddCommand(settings_menu, kMenuQuit, QStringLiteral("退出"));

  QMenu* album_menu = bar->addMenu(QStringLiteral("相册"));
  AddCommand(album_menu, kMenuAddAlbum, QStringLiteral("添加相册\tF5"))
      ->setShortcut(QKeySequence(Qt::Key_F5));
  AddCommand(album_menu, kMenuDeleteAlbums, QStringLiteral("删除相册\tDelete"))
      ->setShortcut(QKeySequence(Qt::Key_Delete));
  AddCommand(album_menu, kMenuClearAlbums, QStringLiteral("清空相册"));
  album_menu->addSeparator();
  AddCommand(album_menu, kMenuStartPacking, QStringLiteral("开始打包\tF8"))
      ->setShortcut(QKeySequence(Qt::Key_F8));

  tree_popup_menu_ = new QMenu(this);
  AddCommand(tree_popup_menu_, kTreePopupAddAlbum, QStringLiteral("添加相册"));

  list_popup_menu_ = new QMenu(this);
  AddCommand(list_popup_menu_, kListPopupDeleteAlbums, QStringLiteral("删除相册"));
  AddCommand(list_popup_menu_, kListPopupClearAlbums, QStringLiteral("清空相册"));
  list_popup_menu_->addSeparator();
  AddCommand(list_popup_menu_, kListPopupStartPacking, QStringLiteral("开始打包"));
}

void MainWindow::CreateMainGadgets() {
  main_toolbar_ = addToolBar(QStringLiteral("工具栏"));
  main_toolbar_->setMovable(false);
  main_toolbar_->setFloatable(false);
  main_toolbar_->setIconSize(QSize(16, 16));
  main_toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  main_toolbar_->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu);
  struct Button {
    int id;
    ImageSlot image;
    const char* tooltip;
  };
  const Button kButtons[] = {
      {kToolbarSettings, SettingsIcon, "设置"},
      {kToolbarOpenOutputFolder, OpenFolderIcon, "打开打包文件夹"},
      {-1, BannerImage, nullptr},
      {kToolbarAddAlbum, AddAlbumIcon, "增加相册"},
      {kToolbarDeleteAlbums, DeleteAlbumIcon, "删除相册"},
      {kToolbarClearAlbums, ClearAlbumsIcon, "清空相册"},
      {-1, BannerImage, nullptr},
      {kToolbarStartPacking, StartPackingIcon, "开始打包"},
  };
  for (const Button& button : kButtons) {
    if (button.id < 0) {
      main_toolbar_->addSeparator();
      continue;
    }
    const QString tooltip = QString::fromUtf8(button.tooltip);
    QAction* action = AddCommand(main_toolbar_, button.id, tooltip);
    action->setIcon(EmbeddedIcon(button.image));
    action->setToolTip(tooltip);
  }

  QStatusBar* status = statusBar();
  status->setSizeGripEnabled(true);
  progress_field_ = new QProgressBar;
  progress_field_->setTextVisible(false);
  progress_field_->setRange(0, 100);
  progress_field_->setValue(0);
  progress_field_->setMaximumHeight(16);
  state_field_ = new QLabel;
  state_field_->setFixedWidth(kStateFieldWidth);
  time_field_ = new QLabel;
  time_field_->setFixedWidth(kTimeFieldWidth);
  count_field_ = new QLabel;
  count_field_->setFixedWidth(kCountFieldWidth);
  // Permanent fields: hovering a menu item must not hide them behind a status message.
  status->addPermanentWidget(progress_field_, 1);
  status->addPermanentWidget(state_field_);
  status->addPermanentWidget(time_field_);
  status->addPermanentWidget(count_field_);

  folder_tree_ = new FolderTree;
  album_list_view_ = new AlbumListView;
  main_splitter_ = new MainSplitter(folder_tree_, album_list_view_);
  setCentralWidget(main_splitter_);
  main_splitter_->PutBar(kTreeStartWidth);

  connect(folder_tree_, &FolderTree::PopupRequested, this, &MainWindow::ShowTreePopup);
  connect(album_list_view_, &AlbumListView::PopupRequested, this,
          [this](const QPoint& pos) { list_popup_menu_->popup(pos); });
  connect(album_list_view_, &QTreeWidget::itemSelectionChanged, this,
          &MainWindow::OnAlbumSelectionChanged);
  connect(album_list_view_, &AlbumListView::FileListDropped, this,
          [this](const QString& text) { dispatcher_->DispatchDrop(text); });
}

void MainWindow::ShowTreePopup(const QPoint& global_pos) {
  // Only a folder can become an album; the computer entry has no path.
  actions_.value(kTreePopupAddAlbum)->setEnabled(!folder_tree_->Text().isEmpty());
  tree_popup_menu_->popup(global_pos);
}

void MainWindow::OnAlbumSelectionChanged() {
  DisableDeleteCommands(1);
  for (int row = 0; row < album_list_view_->topLevelItemCount(); ++row) {
    if (album_list_view_->IsRowSelected(row)) {
      DisableDeleteCommands(0);
      return;
    }
  }
}

void MainWindow::SetCommandsEnabled(std::initializer_list<int> ids, bool enabled) {
  for (int id : ids) {
    if (QAction* action = actions_.value(id)) action->setEnabled(enabled);
  }
}

void MainWindow::DisableDeleteCommands(int state) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, state] { DisableDeleteCommands(state); }, Qt::QueuedConnection);
    return;
  }
  SetCommandsEnabled({kToolbarDeleteAlbums, kMenuDeleteAlbums, kListPopupDeleteAlbums}, state == 0);
}

void MainWindow::DisablePackingCommands(int state) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, state] { DisablePackingCommands(state); }, Qt::QueuedConnection);
    return;
  }
  SetCommandsEnabled({kToolbarStartPacking, kMenuStartPacking, kListPopupStartPacking,
                      kToolbarClearAlbums, kMenuClearAlbums, kListPopupClearAlbums},
                     state == 0);
}

void MainWindow::Centre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QSize screen_size = screen->geometry().size();
  const QSize frame_size = frameGeometry().size();
  move(screen->geometry().topLeft() +
       QPoint(CentredOffset(screen_size.width(), frame_size.width()),
              CentredOffset(screen_size.height(), frame_size.height())));
}

void MainWindow::ShowCentred() {
  Centre();
  centre_with_frame_pending_ = true;
  show();
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  KeepMinimumFrameSize();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (centre_with_frame_pending_ && frameGeometry().size() != geometry().size()) {
    centre_with_frame_pending_ = false;
    KeepMinimumFrameSize();
    Centre();
  }
}

void MainWindow::KeepMinimumFrameSize() {
  // The minimum counts the window frame, which is known only once the window is shown.
  const QSize frame_extra = frameGeometry().size() - geometry().size();
  setMinimumSize(kMinimumFrameWidth - frame_extra.width(),
                 kMinimumFrameHeight - frame_extra.height());
}

}  // namespace lormex
