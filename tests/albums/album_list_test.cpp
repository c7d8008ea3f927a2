// The album list operations through the main window's commands, with the boxes answered.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QTreeWidgetItem>

#include "albums/album_list_controller.h"
#include "app/album_list_view.h"
#include "app/app_texts.h"
#include "app/command_ids.h"
#include "app/embedded_images.h"
#include "app/folder_tree.h"
#include "app/main_controller.h"
#include "app/main_window.h"
#include "tests/support/fake_prompts.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::FakePrompts;
using testing::TempDir;
using testing::WriteFile;

const QString kSelectFirst = QStringLiteral("info|Lormex|请先选择一个相册文件夹，然后再添加");
const QString kEmptyAlbum = QStringLiteral("error|Lormex|不能添加空相册");
const QString kDuplicate = QStringLiteral("error|Lormex|不能重复添加相册");

class AlbumListTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTexts();
    LoadEmbeddedImages();
  }

  AlbumListTest() : controller_(&settings_, &prompts_) { controller_.OpenMainWindow(); }

  MainWindow& window() { return *controller_.main_window(); }
  AlbumListView& list() { return *window().album_list_view(); }
  const std::vector<std::string>& albums() { return controller_.albums()->album_list(); }

  // An album folder with `files` files in it.
  std::string MakeAlbum(const std::string& relative, int files = 1) {
    for (int i = 0; i < files; ++i) {
      WriteFile(dir_ / (relative + "/f" + std::to_string(i) + ".txt"), "x");
    }
    return dir_ / (relative + "/");
  }

  void AddFromTree(const std::string& path) {
    ASSERT_TRUE(window().folder_tree()->SelectPath(QString::fromStdString(path))) << path;
    window().CommandAction(kMenuAddAlbum)->trigger();
  }

  QStringList Column(int column) {
    QStringList texts;
    for (int row = 0; row < list().topLevelItemCount(); ++row) {
      texts.append(list().topLevelItem(row)->text(column));
    }
    return texts;
  }

  void Select(std::initializer_list<int> rows) {
    list().clearSelection();
    for (int row : rows) list().topLevelItem(row)->setSelected(true);
  }

  bool Enabled(int id) { return window().CommandAction(id)->isEnabled(); }

  TempDir dir_;
  SettingsStore settings_;
  FakePrompts prompts_;
  MainController controller_;
};

TEST_F(AlbumListTest, AddWithoutAFolderSelectedAsksForOne) {
  window().CommandAction(kToolbarAddAlbum)->trigger();  // nothing selected
  window().folder_tree()->setCurrentItem(window().folder_tree()->computer_item());
  window().CommandAction(kMenuAddAlbum)->trigger();
  ASSERT_TRUE(window().folder_tree()->SelectPath(QStringLiteral("/")));
  window().CommandAction(kTreePopupAddAlbum)->trigger();
  EXPECT_EQ(prompts_.calls, (QStringList{kSelectFirst, kSelectFirst, kSelectFirst}));
  EXPECT_EQ(list().topLevelItemCount(), 0);
  EXPECT_TRUE(albums().empty());
}

TEST_F(AlbumListTest, AddedFolderBecomesARowWithNameCountAndStatus) {
  const std::string album = MakeAlbum("Wedding 2016.05", 3);
  WriteFile(album + ".hidden", "h");
  WriteFile(album + "Ceremony/Family/IMG_0101.jpg", "j");  // two levels down
  AddFromTree(album);
  EXPECT_TRUE(prompts_.calls.isEmpty()) << prompts_.calls.join(u'\n').toStdString();
  ASSERT_EQ(list().topLevelItemCount(), 1);
  EXPECT_EQ(Column(0), QStringList{QStringLiteral("Wedding 2016")});
  EXPECT_EQ(Column(1), QStringList{QStringLiteral("5")});
  EXPECT_EQ(Column(2), QStringList{QStringLiteral("就绪")});
  EXPECT_FALSE(list().topLevelItem(0)->icon(0).isNull());
  EXPECT_EQ(albums(), std::vector<std::string>{album});
  EXPECT_EQ(window().count_field()->text(), QStringLiteral("相册数量:1"));
  EXPECT_TRUE(Enabled(kMenuStartPacking));
  EXPECT_TRUE(Enabled(kMenuClearAlbums));
  EXPECT_FALSE(Enabled(kMenuDeleteAlbums));  // follows the selection only
}

TEST_F(AlbumListTest, EmptyAndLoopingFoldersAreRefusedOrCountedOnce) {
  testing::MakeFolders(dir_ / "Empty/Sub1/Sub2");
  AddFromTree(dir_ / "Empty/");
  EXPECT_EQ(prompts_.calls, QStringList{kEmptyAlbum});
  EXPECT_EQ(list().topLevelItemCount(), 0);

  // A link back to the album itself is not followed again: the walk ends.
  const std::string looping = MakeAlbum("Looping", 2);
  ASSERT_EQ(symlink(looping.c_str(), (looping + "again").c_str()), 0);
  prompts_.calls.clear();
  AddFromTree(looping);
  EXPECT_TRUE(prompts_.calls.isEmpty());
  EXPECT_EQ(Column(1), QStringList{QStringLiteral("2")});
}

TEST_F(AlbumListTest, TheSameFolderTwiceByAnyRouteIsRefused) {
  const std::string album = MakeAlbum("Album");
  AddFromTree(album);
  window().CommandAction(kToolbarAddAlbum)->trigger();
  window().CommandAction(kTreePopupAddAlbum)->trigger();
  controller_.dispatcher().DispatchDrop(QString::fromStdString(album));
  EXPECT_EQ(prompts_.calls, (QStringList{kDuplicate, kDuplicate, kDuplicate}));
  EXPECT_EQ(list().topLevelItemCount(), 1);
}

TEST_F(AlbumListTest, DifferentFoldersWithOneNameAreBothAdded) {
  AddFromTree(MakeAlbum("Wedding 2016.05"));
  AddFromTree(MakeAlbum("Wedding 2016.06"));
  EXPECT_EQ(Column(0),
            (QStringList{QStringLiteral("Wedding 2016"), QStringLiteral("Wedding 2016")}));
  EXPECT_EQ(window().count_field()->text(), QStringLiteral("相册数量:2"));
}

TEST_F(AlbumListTest, DeletingSelectedRowsKeepsListAndRowsParallel) {
  const std::string a = MakeAlbum("A"), b = MakeAlbum("B"), c = MakeAlbum("C"),
                    d = MakeAlbum("D", 2);
  for (const std::string& album : {a, b, c, d}) AddFromTree(album);
  EXPECT_EQ(window().count_field()->text(), QStringLiteral("相册数量:4"));
  Select({0, 2});
  EXPECT_TRUE(Enabled(kMenuDeleteAlbums));
  window().CommandAction(kMenuDeleteAlbums)->trigger();
  EXPECT_EQ(prompts_.calls, QStringList{QStringLiteral("ask|Lormex|确信要删除这个相册吗？")});
  EXPECT_EQ(Column(0), (QStringList{QStringLiteral("B"), QStringLiteral("D")}));
  EXPECT_EQ(Column(1), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
  EXPECT_EQ(albums(), (std::vector<std::string>{b, d}));
  EXPECT_EQ(window().count_field()->text(), QStringLiteral("相册数量：2"));
  EXPECT_TRUE(Enabled(kMenuStartPacking));
}

TEST_F(AlbumListTest, DeleteAnsweredNoOrWithoutSelectionRemovesNothing) {
  AddFromTree(MakeAlbum("A"));
  AddFromTree(MakeAlbum("B"));
  Select({1});
  prompts_.answer_yes = false;
  window().CommandAction(kListPopupDeleteAlbums)->trigger();
  EXPECT_EQ(list().topLevelItemCount(), 2);
  EXPECT_EQ(window().count_field()->text(), QStringLiteral("相册数量:2"));

  // Reached with no row selected, the question is still asked; Yes removes nothing but
  // rewrites the count with the full-width colon.
  prompts_.answer_yes = true;
  list().clearSelection();
  controller_.dispatcher().Dispatch(kListPopupDeleteAlbums);
  EXPECT_EQ(prompts_.calls.size(), 2);
  EXPECT_EQ(list().topLevelItemCount(), 2);
  EXPECT_EQ(window().count_field()->text(), QStringLiteral("相册数量：2"));
}

TEST_F(AlbumListTest, DeletingEveryRowDisablesTheCommands) {
  AddFromTree(MakeAlbum("A"));
  AddFromTree(MakeAlbum("B"));
  Select({0, 1});
  window().CommandAction(kToolbarDeleteAlbums)->trigger();
  EXPECT_EQ(list().topLevelItemCount(), 0);
  EXPECT_TRUE(albums().empty());
  for (int id : {3, 202, 911, 4, 203, 912, 5, 204, 913}) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_EQ(window().count_field()->text(), QStringLiteral("相册数量：0"));
}

TEST_F(AlbumListTest, ClearAsksThenEmptiesTheList) {
  AddFromTree(MakeAlbum("A"));
  AddFromTree(MakeAlbum("B"));
  prompts_.answer_yes = false;
  window().CommandAction(kToolbarClearAlbums)->trigger();
  EXPECT_EQ(list().topLevelItemCount(), 2);
  prompts_.answer_yes = true;
  window().CommandAction(kListPopupClearAlbums)->trigger();
  EXPECT_EQ(prompts_.calls, (QStringList{QStringLiteral("ask|Lormex|确信要清空相册吗？"),
                                         QStringLiteral("ask|Lormex|确信要清空相册吗？")}));
  EXPECT_EQ(list().topLevelItemCount(), 0);
  EXPECT_TRUE(albums().empty());
  EXPECT_EQ(window().count_field()->text(), QStringLiteral("相册数量：0"));
  EXPECT_FALSE(Enabled(kMenuClearAlbums));
  EXPECT_FALSE(Enabled(kMenuStartPacking));
  // On an empty list, delete and clear do nothing and ask nothing.
  prompts_.calls.clear();
  controller_.dispatcher().Dispatch(kMenuClearAlbums);
  controller_.dispatcher().Dispatch(kMenuDeleteAlbums);
  EXPECT_TRUE(prompts_.calls.isEmpty());
}

TEST_F(AlbumListTest, DropsAddEachFolderInTurnWithItsOwnChecks) {
  const std::string a = MakeAlbum("A");
  const std::string b = MakeAlbum("B", 2);
  testing::MakeFolders(dir_ / "Empty");
  WriteFile(dir_ / "note.txt", "n");
  // A file browser gives folder paths without the trailing separator.
  const std::string a_plain = a.substr(0, a.size() - 1);
  const std::string text =
      a_plain + "\n" + (dir_ / "note.txt") + "\n" + (dir_ / "Empty") + "\n" + b + "\n" + a;
  controller_.dispatcher().DispatchDrop(QString::fromStdString(text));
  EXPECT_EQ(prompts_.calls, (QStringList{kEmptyAlbum, kEmptyAlbum, kDuplicate}));
  EXPECT_EQ(albums(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(Column(0), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
  EXPECT_EQ(window().count_field()->text(), QStringLiteral("相册数量:2"));
}

TEST_F(AlbumListTest, NothingChangesWhileAPackingRunIsInProgress) {
  AddFromTree(MakeAlbum("A"));
  Select({0});
  // The flag the run sets; here set by hand.
  std::atomic<bool>* busy = controller_.PackingBusyFlag();
  busy->store(true);
  AddFromTree(MakeAlbum("B"));
  controller_.dispatcher().DispatchDrop(QString::fromStdString(MakeAlbum("C")));
  controller_.dispatcher().Dispatch(kMenuDeleteAlbums);
  controller_.dispatcher().Dispatch(kMenuClearAlbums);
  busy->store(false);
  EXPECT_TRUE(prompts_.calls.isEmpty()) << prompts_.calls.join(u'\n').toStdString();
  EXPECT_EQ(list().topLevelItemCount(), 1);
  EXPECT_EQ(albums().size(), 1u);
}

}  // namespace
}  // namespace lormex
