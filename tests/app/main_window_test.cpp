// The main window's commands: the dispatch table, menus, popups, toolbar, shortcuts and the
// command groups, and its layout rules.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <thread>

#include "app/album_list_view.h"
#include "app/command_ids.h"
#include "app/embedded_images.h"
#include "app/folder_tree.h"
#include "app/main_splitter.h"
#include "app/main_window.h"
#include "tests/app/fake_command_handler.h"
#include "tests/support/qt_printers.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::FakeCommandHandler;

struct DispatchCase {
  int id;
  const char* action;  // empty: the identifier does nothing
};

class DispatchTableTest : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(DispatchTableTest, IdentifierRunsItsAction) {
  FakeCommandHandler handler;
  CommandDispatcher dispatcher(&handler);
  dispatcher.Dispatch(GetParam().id);
  const QString expected = QString::fromUtf8(GetParam().action);
  if (expected.isEmpty()) {
    EXPECT_TRUE(handler.calls.isEmpty()) << handler.calls.join(u',').toStdString();
  } else {
    EXPECT_EQ(handler.calls, QStringList{expected});
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllIdentifiers, DispatchTableTest,
    ::testing::Values(DispatchCase{101, "ShowSettingsDialog"},
                      DispatchCase{0, "ShowSettingsDialog"}, DispatchCase{102, "OpenOutputFolder"},
                      DispatchCase{1, "OpenOutputFolder"}, DispatchCase{201, "AddAlbum:"},
                      DispatchCase{910, "AddAlbum:"}, DispatchCase{2, "AddAlbum:"},
                      DispatchCase{202, "DeleteAlbums"}, DispatchCase{911, "DeleteAlbums"},
                      DispatchCase{3, "DeleteAlbums"}, DispatchCase{203, "ClearAlbums"},
                      DispatchCase{912, "ClearAlbums"}, DispatchCase{4, "ClearAlbums"},
                      DispatchCase{204, "StartPacking"}, DispatchCase{913, "StartPacking"},
                      DispatchCase{5, "StartPacking"}, DispatchCase{104, "Quit"},
                      // Identifiers the table does not list.
                      DispatchCase{6, ""}, DispatchCase{103, ""}, DispatchCase{200, ""},
                      DispatchCase{205, ""}, DispatchCase{901, ""}, DispatchCase{902, ""},
                      DispatchCase{914, ""}, DispatchCase{-1, ""}));

// A filled main window whose commands go to a recording handler.
class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadEmbeddedImages(); }

  MainWindowTest() : dispatcher_(&handler_), window_(&dispatcher_) {
    window_.CreateMenus();
    window_.CreateMainGadgets();
  }

  FakeCommandHandler handler_;
  CommandDispatcher dispatcher_;
  MainWindow window_;
};

TEST_F(MainWindowTest, EveryPlaceOfACommandDispatchesItsIdentifier) {
  const std::pair<int, const char*> kPlaces[] = {
      {101, "ShowSettingsDialog"}, {102, "OpenOutputFolder"}, {104, "Quit"},
      {201, "AddAlbum:"},          {202, "DeleteAlbums"},     {203, "ClearAlbums"},
      {204, "StartPacking"},       {910, "AddAlbum:"},        {911, "DeleteAlbums"},
      {912, "ClearAlbums"},        {913, "StartPacking"},     {0, "ShowSettingsDialog"},
      {1, "OpenOutputFolder"},     {2, "AddAlbum:"},          {3, "DeleteAlbums"},
      {4, "ClearAlbums"},          {5, "StartPacking"}};
  for (const auto& [id, action] : kPlaces) {
    SCOPED_TRACE(id);
    QAction* place = window_.CommandAction(id);
    ASSERT_NE(place, nullptr);
    handler_.calls.clear();
    place->trigger();
    EXPECT_EQ(handler_.calls, QStringList{QString::fromUtf8(action)});
  }
}

TEST_F(MainWindowTest, MenusHoldTheirItemsInOrderWithKeysAfterATab) {
  const QList<QAction*> menus = window_.menuBar()->actions();
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), QStringLiteral("设置"));
  EXPECT_EQ(menus[1]->text(), QStringLiteral("相册"));
  auto texts = [](QMenu* menu) {
    QStringList result;
    for (QAction* action : menu->actions()) {
      result.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return result;
  };
  EXPECT_EQ(texts(menus[0]->menu()),
            (QStringList{QStringLiteral("设置\tF2"), QStringLiteral("打开打包文件夹\tF4"),
                         QStringLiteral("-"), QStringLiteral("退出")}));
  EXPECT_EQ(texts(menus[1]->menu()),
            (QStringList{QStringLiteral("添加相册\tF5"), QStringLiteral("删除相册\tDelete"),
                         QStringLiteral("清空相册"), QStringLiteral("-"),
                         QStringLiteral("开始打包\tF8")}));
  EXPECT_EQ(texts(window_.tree_popup_menu()), QStringList{QStringLiteral("添加相册")});
  EXPECT_EQ(texts(window_.list_popup_menu()),
            (QStringList{QStringLiteral("删除相册"), QStringLiteral("清空相册"),
                         QStringLiteral("-"), QStringLiteral("开始打包")}));

  const std::pair<int, QKeySequence> kKeys[] = {{101, QKeySequence(Qt::Key_F2)},
                                                {102, QKeySequence(Qt::Key_F4)},
                                                {201, QKeySequence(Qt::Key_F5)},
                                                {202, QKeySequence(Qt::Key_Delete)},
                                                {204, QKeySequence(Qt::Key_F8)},
                                                {104, QKeySequence()},
                                                {203, QKeySequence()}};
  for (const auto& [id, key] : kKeys) {
    EXPECT_EQ(window_.CommandAction(id)->shortcut(), key) << id;
  }
}

TEST_F(MainWindowTest, ToolbarButtonsInOrderWithTooltipsAndIcons) {
  QStringList tooltips;
  QList<int> ids;
  for (QAction* action : window_.main_toolbar()->actions()) {
    if (action->isSeparator()) {
      tooltips.append(QStringLiteral("-"));
      continue;
    }
    tooltips.append(action->toolTip());
    ids.append(action->data().toInt());
    EXPECT_FALSE(action->icon().isNull()) << action->toolTip().toStdString();
  }
  EXPECT_EQ(ids, (QList<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(tooltips, (QStringList{QStringLiteral("设置"), QStringLiteral("打开打包文件夹"),
                                   QStringLiteral("-"), QStringLiteral("增加相册"),
                                   QStringLiteral("删除相册"), QStringLiteral("清空相册"),
                                   QStringLiteral("-"), QStringLiteral("开始打包")}));
}

TEST_F(MainWindowTest, CommandGroupsSwitchEveryPlaceAtOnce) {
  const QList<int> kDelete = {3, 202, 911};
  const QList<int> kPacking = {5, 204, 913, 4, 203, 912};
  const QList<int> kNeverDisabled = {0, 1, 2, 101, 102, 104, 201};
  auto enabled = [this](const QList<int>& ids) {
    QList<bool> result;
    for (int id : ids) result.append(window_.CommandAction(id)->isEnabled());
    return result;
  };
  const QList<bool> all_on_delete(kDelete.size(), true), all_off_delete(kDelete.size(), false);
  const QList<bool> all_on_pack(kPacking.size(), true), all_off_pack(kPacking.size(), false);

  window_.DisableDeleteCommands(1);
  EXPECT_EQ(enabled(kDelete), all_off_delete);
  EXPECT_EQ(enabled(kPacking), all_on_pack);
  window_.DisablePackingCommands(1);
  EXPECT_EQ(enabled(kPacking), all_off_pack);
  window_.DisableDeleteCommands(0);
  EXPECT_EQ(enabled(kDelete), all_on_delete);
  EXPECT_EQ(enabled(kPacking), all_off_pack);
  window_.DisablePackingCommands(0);
  EXPECT_EQ(enabled(kPacking), all_on_pack);
  EXPECT_EQ(enabled(kNeverDisabled), QList<bool>(kNeverDisabled.size(), true));
}

TEST_F(MainWindowTest, CommandGroupsFromAnotherThreadApplyOnTheGuiThreadInOrder) {
  std::thread worker([this] {
    window_.DisablePackingCommands(1);
    window_.DisablePackingCommands(0);
    window_.DisablePackingCommands(1);
    window_.DisableDeleteCommands(1);
  });
  worker.join();
  // Nothing is touched from the worker itself.
  EXPECT_TRUE(window_.CommandAction(204)->isEnabled());
  QCoreApplication::processEvents();
  EXPECT_FALSE(window_.CommandAction(204)->isEnabled());
  EXPECT_FALSE(window_.CommandAction(912)->isEnabled());
  EXPECT_FALSE(window_.CommandAction(202)->isEnabled());
}

TEST_F(MainWindowTest, ShortcutsGiveTheirCommandOnlyWhileTheItemIsEnabled) {
  window_.show();
  window_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  window_.DisableDeleteCommands(1);
  window_.DisablePackingCommands(1);
  QTest::keyClick(&window_, Qt::Key_F5);
  QTest::keyClick(&window_, Qt::Key_F2);
  QTest::keyClick(&window_, Qt::Key_F4);
  QTest::keyClick(&window_, Qt::Key_Delete);  // disabled: nothing
  QTest::keyClick(&window_, Qt::Key_F8);      // disabled: nothing
  EXPECT_EQ(handler_.calls,
            (QStringList{QStringLiteral("AddAlbum:"), QStringLiteral("ShowSettingsDialog"),
                         QStringLiteral("OpenOutputFolder")}));
  handler_.calls.clear();
  window_.DisableDeleteCommands(0);
  window_.DisablePackingCommands(0);
  QTest::keyClick(&window_, Qt::Key_Delete);
  QTest::keyClick(&window_, Qt::Key_F8);
  EXPECT_EQ(handler_.calls,
            (QStringList{QStringLiteral("DeleteAlbums"), QStringLiteral("StartPacking")}));
}

TEST_F(MainWindowTest, StatusBarHasFourFieldsWithTheirWidths) {
  EXPECT_EQ(window_.state_field()->width(), 150);
  EXPECT_EQ(window_.time_field()->width(), 100);
  EXPECT_EQ(window_.count_field()->width(), 120);
  EXPECT_TRUE(window_.state_field()->text().isEmpty());
  EXPECT_TRUE(window_.time_field()->text().isEmpty());
  EXPECT_TRUE(window_.count_field()->text().isEmpty());
  window_.show();
  QCoreApplication::processEvents();
  // The progress field takes what the others leave, and follows the window's width.
  const int before = window_.progress_field()->width();
  window_.resize(window_.width() + 200, window_.height());
  QCoreApplication::processEvents();
  EXPECT_EQ(window_.progress_field()->width(), before + 200);
}

TEST_F(MainWindowTest, AlbumListHasItsColumnsAndAcceptsCopyDrops) {
  AlbumListView* list = window_.album_list_view();
  ASSERT_EQ(list->columnCount(), 3);
  EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("相册"));
  EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("文件数量"));
  EXPECT_EQ(list->headerItem()->text(2), QStringLiteral("状态"));
  EXPECT_EQ(list->columnWidth(0), 300);
  EXPECT_EQ(list->columnWidth(1), 100);
  EXPECT_EQ(list->columnWidth(2), 100);
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_TRUE(list->acceptDrops());
}

TEST_F(MainWindowTest, ADropOfTwoFoldersReachesTheDispatcherAsOneText) {
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/photos/a b/")),
                QUrl::fromLocalFile(QStringLiteral("/photos/c"))});
  EXPECT_EQ(AlbumListView::DroppedText(&mime), QStringLiteral("/photos/a b/\n/photos/c"));
  window_.show();
  QCoreApplication::processEvents();
  QWidget* viewport = window_.album_list_view()->viewport();
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &drop);
  EXPECT_EQ(handler_.calls, QStringList{QStringLiteral("AddAlbum:/photos/a b/\n/photos/c")});
}

TEST_F(MainWindowTest, SelectionOfARowEnablesTheDeleteCommands) {
  window_.DisableDeleteCommands(1);
  AlbumListView* list = window_.album_list_view();
  auto* first = new QTreeWidgetItem(list, {QStringLiteral("a"), QStringLiteral("1")});
  auto* second = new QTreeWidgetItem(list, {QStringLiteral("b"), QStringLiteral("2")});
  second->setSelected(true);
  EXPECT_TRUE(window_.CommandAction(202)->isEnabled());
  EXPECT_TRUE(window_.CommandAction(911)->isEnabled());
  first->setSelected(true);
  second->setSelected(false);
  EXPECT_TRUE(window_.CommandAction(3)->isEnabled());
  first->setSelected(false);
  EXPECT_FALSE(window_.CommandAction(3)->isEnabled());
  EXPECT_FALSE(window_.CommandAction(202)->isEnabled());
}

TEST_F(MainWindowTest, TreePopupOffersAddOnlyForAFolder) {
  window_.show();
  QCoreApplication::processEvents();
  FolderTree* tree = window_.folder_tree();
  auto right_click_on = [&](QTreeWidgetItem* item) {
    const QPoint pos = tree->visualItemRect(item).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->viewport()->mapToGlobal(pos));
    QCoreApplication::sendEvent(tree->viewport(), &event);
    window_.tree_popup_menu()->hide();
  };
  right_click_on(tree->computer_item());
  EXPECT_EQ(tree->Text(), QString());
  EXPECT_FALSE(window_.CommandAction(910)->isEnabled());
  right_click_on(tree->computer_item()->child(0));  // "/"
  EXPECT_EQ(tree->Text(), QStringLiteral("/"));
  EXPECT_TRUE(window_.CommandAction(910)->isEnabled());
}

TEST_F(MainWindowTest, TreeTextIsTheSelectedFolderWithASeparator) {
  FolderTree* tree = window_.folder_tree();
  EXPECT_EQ(tree->Text(), QString());  // nothing selected at the start
  testing::TempDir dir;
  testing::MakeFolders(dir / "Wedding 2016.05/Ceremony");
  const QString folder = QString::fromStdString(dir / "Wedding 2016.05/");
  ASSERT_TRUE(tree->SelectPath(folder));
  EXPECT_EQ(tree->Text(), folder);
  // Folders made after the parent was listed appear when it is listed again.
  testing::MakeFolders(dir / "Later");
  ASSERT_TRUE(tree->SelectPath(QString::fromStdString(dir / "Later/")));
  EXPECT_EQ(tree->Text(), QString::fromStdString(dir / "Later/"));
  tree->setCurrentItem(tree->computer_item());
  EXPECT_EQ(tree->Text(), QString());
}

// Widths of the two panes after the window has become `width` pixels wide.
struct ResizeCase {
  const char* name;
  int bar_at;               // where the bar is put first (-1: left at the start position)
  std::vector<int> widths;  // successive splitter widths
  PaneWidths expected;      // panes after the last one
};

class SplitterRuleTest : public ::testing::TestWithParam<ResizeCase> {};

TEST_P(SplitterRuleTest, PanesKeepTheirProportionsWithinTheMinimums) {
  const ResizeCase& c = GetParam();
  SplitterRule rule(4, 150, 200);
  rule.PutBar(804, c.bar_at < 0 ? 250 : c.bar_at);
  std::optional<PaneWidths> panes;
  for (int width : c.widths) {
    if (std::optional<PaneWidths> next = rule.Resize(width)) panes = next;
  }
  ASSERT_TRUE(panes.has_value());
  EXPECT_EQ(*panes, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Resizes, SplitterRuleTest,
    ::testing::Values(
        // 800 usable: right 550, ratio 800/550.
        ResizeCase{"Unchanged", -1, {804}, {250, 550}},
        ResizeCase{"Wider", -1, {1604}, {500, 1100}},
        ResizeCase{"NarrowerKeepsProportion", -1, {604}, {188, 412}},
        ResizeCase{"MinimisedChangesNothing", -1, {1604, 0}, {500, 1100}},
        ResizeCase{"RestoredAfterMinimise", -1, {1604, 0, 804}, {250, 550}},
        // Bar dragged to the right: ratio 800/200 = 4; narrower keeps the right minimum.
        ResizeCase{"DraggedRightThenNarrower", 600, {604}, {400, 200}},
        ResizeCase{"DraggedRightThenWider", 600, {1204}, {900, 300}},
        // Bar dragged far left is held at the left minimum.
        ResizeCase{"DraggedBeyondLeftMinimum", 20, {804}, {150, 650}},
        // Too narrow for both minimums: the left one wins.
        ResizeCase{"TooNarrowForBoth", -1, {304}, {150, 150}}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

TEST_F(MainWindowTest, WindowOpensAt800By530AndKeepsItsMinimum) {
  EXPECT_EQ(window_.size(), QSize(800, 530));
  window_.show();
  QCoreApplication::processEvents();
  const QSize frame_extra = window_.frameGeometry().size() - window_.geometry().size();
  EXPECT_EQ(window_.minimumSize() + frame_extra, QSize(600, 400));
  // The left pane starts 250 wide; after widening both panes grow in proportion.
  MainSplitter* splitter = window_.main_splitter();
  EXPECT_EQ(splitter->sizes().at(0), 250);
  const QList<int> before = splitter->sizes();
  window_.resize(window_.width() * 2, window_.height());
  QCoreApplication::processEvents();
  const QList<int> after = splitter->sizes();
  EXPECT_NEAR(static_cast<double>(after[0]) / after[1], static_cast<double>(before[0]) / before[1],
              0.01);
}

TEST(CentredOffsetTest, HalfTheDifferenceOrZero) {
  EXPECT_EQ(CentredOffset(1920, 800), 560);
  EXPECT_EQ(CentredOffset(1080, 530), 275);
  EXPECT_EQ(CentredOffset(801, 800), 0);
  EXPECT_EQ(CentredOffset(600, 800), 0);
}

}  // namespace
}  // namespace lormex
