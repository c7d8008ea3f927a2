#ifndef LORMEX_APP_MAIN_WINDOW_H_
#define LORMEX_APP_MAIN_WINDOW_H_

#include <QHash>
#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QToolBar;

namespace lormex {

class AlbumListView;
class CommandDispatcher;
class FolderTree;
class MainSplitter;

// The main window: menus, popup menus, shortcuts, toolbar, the folder tree and the album list in
// the splitter, and the four-field status bar. Every command it offers goes to the dispatcher.
// Created and used on the GUI thread; the command-state switches may be called from any thread.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kInnerWidth = 800;
  static constexpr int kInnerHeight = 530;
  static constexpr int kMinimumFrameWidth = 600;
  static constexpr int kMinimumFrameHeight = 400;

  explicit MainWindow(const CommandDispatcher* dispatcher, QWidget* parent = nullptr);

  // Fills the window: menu bar, popup menus and shortcuts, then toolbar, status bar and panes.
  void CreateMenus();
  void CreateMainGadgets();

  // Puts the window, frame included, in the middle of the primary screen and shows it.
  void ShowCentred();

  // A nonzero state disables, 0 enables, the command in all its places at once. Safe to call
  // from any thread; calls from other threads are carried out on the GUI thread in call order.
  void DisableDeleteCommands(int state);
  void DisablePackingCommands(int state);

  FolderTree* folder_tree() const { return folder_tree_; }
  AlbumListView* album_list_view() const { return album_list_view_; }
  QProgressBar* progress_field() const { return progress_field_; }
  QLabel* state_field() const { return state_field_; }
  QLabel* time_field() const { return time_field_; }
  QLabel* count_field() const { return count_field_; }
  MainSplitter* main_splitter() const { return main_splitter_; }
  QToolBar* main_toolbar() const { return main_toolbar_; }
  QMenu* tree_popup_menu() const { return tree_popup_menu_; }
  QMenu* list_popup_menu() const { return list_popup_menu_; }

  // The action of a menu item, popup item or toolbar button, by command identifier.
  QAction* CommandAction(int id) const { return actions_.value(id); }

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  QAction* AddCommand(QWidget* place, int id, const QString& text);
  void SetCommandsEnabled(std::initializer_list<int> ids, bool enabled);
  void ShowTreePopup(const QPoint& global_pos);
  void OnAlbumSelectionChanged();
  void KeepMinimumFrameSize();
  void Centre();

  const CommandDispatcher* dispatcher_;
  QHash<int, QAction*> actions_;
  QMenu* tree_popup_menu_ = nullptr;
  QMenu* list_popup_menu_ = nullptr;
  QToolBar* main_toolbar_ = nullptr;
  QProgressBar* progress_field_ = nullptr;
  QLabel* state_field_ = nullptr;
  QLabel* time_field_ = nullptr;
  QLabel* count_field_ = nullptr;
  FolderTree* folder_tree_ = nullptr;
  AlbumListView* album_list_view_ = nullptr;
  MainSplitter* main_splitter_ = nullptr;
  // The window manager adds the frame only after the window is shown; the window is centred
  // again, once, when the frame is known.
  bool centre_with_frame_pending_ = false;
};

// Where a window of `window` pixels (frame included) goes on a screen of `screen` pixels along
// one direction: half the difference, or 0 when the window is larger.
int CentredOffset(int screen, int window);

}  // namespace lormex

#endif  // LORMEX_APP_MAIN_WINDOW_H_
