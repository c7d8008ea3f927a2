// A packing run started from the main window, offscreen: row statuses, status bar, messages and
// command states, with real albums in a scratch folder.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItem>

#include "albums/album_list_controller.h"
#include "app/album_list_view.h"
#include "app/app_texts.h"
#include "app/command_ids.h"
#include "app/embedded_images.h"
#include "app/main_controller.h"
#include "app/main_window.h"
#include "packing/packing_run_controller.h"
#include "tests/packing/archive_test_support.h"
#include "tests/packing/zip_headers.h"
#include "tests/support/fake_prompts.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::FakePrompts;
using testing::TempDir;
using testing::WriteFile;

class PackingWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTexts();
    LoadEmbeddedImages();
  }

  PackingWindowTest() : controller_(&settings_, &prompts_, 2) {
    controller_.OpenMainWindow();
    testing::MakeFolders(dir_ / "out");
    SetFolders(dir_ / "out/", "Bright");
  }

  void SetFolders(const std::string& out, const std::string& studio, int open_folder = 0) {
    Settings s = settings_.Snapshot();
    s.OutFolder = out;
    s.Studio = studio;
    s.FinishedOpenFolder = open_folder;
    settings_.Replace(s);
  }

  std::string MakeAlbum(const std::string& relative, int files = 3) {
    const std::string album = dir_ / ("albums/" + relative + "/");
    for (int i = 0; i < files; ++i) {
      WriteFile(album + "file" + std::to_string(i) + ".txt", "text " + std::to_string(i));
    }
    return album;
  }

  void Add(const std::string& album) {
    controller_.dispatcher().DispatchDrop(QString::fromStdString(album));
  }

  // Starts the run with F8's command and waits for its last step.
  void RunToEnd() {
    QSignalSpy ended(controller_.packing(), &PackingRunController::RunEnded);
    window().CommandAction(kMenuStartPacking)->setEnabled(true);
    controller_.dispatcher().Dispatch(kMenuStartPacking);
    ASSERT_TRUE(ended.wait(30000));
  }

  QStringList Statuses() {
    QStringList texts;
    for (int row = 0; row < list().topLevelItemCount(); ++row) {
      texts.append(list().topLevelItem(row)->text(kStatusColumn));
    }
    return texts;
  }

  static std::size_t EntryCount(const std::string& archive) {
    const testing::ZipLayout layout = testing::ReadZipLayout(testing::ReadFile(archive));
    EXPECT_TRUE(layout.ok) << layout.problem;
    return layout.entries.size();
  }

  MainWindow& window() { return *controller_.main_window(); }
  AlbumListView& list() { return *window().album_list_view(); }

  TempDir dir_;
  SettingsStore settings_;
  FakePrompts prompts_;
  MainController controller_;
};

TEST_F(PackingWindowTest, PacksEveryAlbumAndShowsTheRunInTheWindow) {
  Add(MakeAlbum("Wedding 2016.05", 4));
  Add(MakeAlbum("Trip", 2));
  RunToEnd();
  EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("完成"), QStringLiteral("完成")}));
  EXPECT_EQ(testing::ListFolder(dir_ / "out"),
            (std::vector<std::string>{"Bright_Trip.zip", "Bright_Wedding 2016.zip"}));
  EXPECT_EQ(window().progress_field()->value(), 0);
  EXPECT_EQ(window().progress_field()->maximum(), 2);  // the last album's count
  EXPECT_EQ(window().state_field()->text(), QStringLiteral("正在打包..."));
  // After the run the packing commands stay disabled until an album is added.
  for (int id : {kMenuStartPacking, kMenuClearAlbums, kToolbarStartPacking, kToolbarClearAlbums,
                 kListPopupStartPacking, kListPopupClearAlbums, kMenuDeleteAlbums}) {
    EXPECT_FALSE(window().CommandAction(id)->isEnabled()) << id;
  }
  // The next tick of the clock tells the run has ended.
  QTRY_COMPARE_WITH_TIMEOUT(window().state_field()->text(), QStringLiteral("打包完成"), 3000);
  EXPECT_EQ(window().time_field()->text(), QStringLiteral("00:00:01"));
  EXPECT_TRUE(prompts_.calls.isEmpty()) << prompts_.calls.join(u'\n').toStdString();
  testing::ExpectReadersAccept(dir_ / "out/Bright_Trip.zip");
  testing::ExpectReadersAccept(dir_ / "out/Bright_Wedding 2016.zip");
}

TEST_F(PackingWindowTest, ArchiveNamesFollowTheStudioAndTheOutputFolder) {
  Add(MakeAlbum("A"));
  SetFolders(dir_ / "out/", "");
  RunToEnd();
  Add(MakeAlbum("B"));
  SetFolders(dir_ / "out", "Bright");  // edited by hand: no final separator
  RunToEnd();
  EXPECT_EQ(testing::ListFolder(dir_ / "out"),
            (std::vector<std::string>{"Bright_B.zip", "_A.zip"}));
}

TEST_F(PackingWindowTest, ASecondRunPacksOnlyTheAlbumsNotDone) {
  Add(MakeAlbum("A"));
  RunToEnd();
  std::remove((dir_ / "out/Bright_A.zip").c_str());
  Add(MakeAlbum("B"));
  RunToEnd();
  EXPECT_EQ(testing::ListFolder(dir_ / "out"), std::vector<std::string>{"Bright_B.zip"});
  EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("完成"), QStringLiteral("完成")}));
}

TEST_F(PackingWindowTest, RowsZeroAndTwoPendingWithRowOneDone) {
  Add(MakeAlbum("A", 1));
  Add(MakeAlbum("B", 2));
  Add(MakeAlbum("C", 3));
  list().topLevelItem(1)->setText(kStatusColumn, QStringLiteral("完成"));
  RunToEnd();
  EXPECT_EQ(testing::ListFolder(dir_ / "out"),
            (std::vector<std::string>{"Bright_A.zip", "Bright_C.zip"}));
  // Each archive belongs to its own row's album.
  EXPECT_EQ(EntryCount(dir_ / "out/Bright_A.zip"), 1u);
  EXPECT_EQ(EntryCount(dir_ / "out/Bright_C.zip"), 3u);
}

TEST_F(PackingWindowTest, TwoAlbumsWithOneNameLeaveTheLaterArchive) {
  Add(MakeAlbum("x/Wedding", 1));
  Add(MakeAlbum("y/Wedding", 2));
  RunToEnd();
  EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("完成"), QStringLiteral("完成")}));
  EXPECT_EQ(testing::ListFolder(dir_ / "out"), std::vector<std::string>{"Bright_Wedding.zip"});
  EXPECT_EQ(EntryCount(dir_ / "out/Bright_Wedding.zip"), 2u);
}

TEST_F(PackingWindowTest, FailuresEndFailedWithOneReportAndNothingLeft) {
  const std::string good = MakeAlbum("Good");
  const std::string unreadable = MakeAlbum("Unreadable");
  ASSERT_EQ(symlink((dir_ / "nowhere").c_str(), (unreadable + "gone.txt").c_str()), 0);
  Add(unreadable);
  Add(good);
  RunToEnd();
  EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("失败"), QStringLiteral("完成")}));
  EXPECT_EQ(testing::ListFolder(dir_ / "out"), std::vector<std::string>{"Bright_Good.zip"});
  ASSERT_EQ(prompts_.calls.size(), 1);
  EXPECT_TRUE(prompts_.calls[0].startsWith(QStringLiteral("error|Lormex|")));
  EXPECT_TRUE(prompts_.calls[0].contains(QStringLiteral("gone.txt")));

  // A later run packs the failed row again, and the studio name with a separator is refused.
  prompts_.calls.clear();
  std::remove((unreadable + "gone.txt").c_str());
  SetFolders(dir_ / "out/", "../Bright");
  RunToEnd();
  EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("失败"), QStringLiteral("完成")}));
  EXPECT_EQ(testing::ListFolder(dir_ / "out"), std::vector<std::string>{"Bright_Good.zip"});
  EXPECT_FALSE(testing::FileExists(dir_ / "Bright_Unreadable.zip"));
  ASSERT_EQ(prompts_.calls.size(), 1);
  SetFolders(dir_ / "out/", "Bright");
  RunToEnd();
  EXPECT_EQ(Statuses(), (QStringList{QStringLiteral("完成"), QStringLiteral("完成")}));
}

TEST_F(PackingWindowTest, StartAndOpenFolderNeedAListableOutputFolder) {
  Add(MakeAlbum("A"));
  SetFolders("", "Bright");
  controller_.dispatcher().Dispatch(kMenuStartPacking);
  controller_.dispatcher().Dispatch(kMenuOpenOutputFolder);
  SetFolders(dir_ / "deleted/", "Bright");
  controller_.dispatcher().Dispatch(kToolbarStartPacking);
  controller_.dispatcher().Dispatch(kToolbarOpenOutputFolder);
  EXPECT_EQ(prompts_.calls, (QStringList{QStringLiteral("error|Lormex|请先设置打包输出文件夹！"),
                                         QStringLiteral("error|Lormex|打包输出文件夹不存在！"),
                                         QStringLiteral("error|Lormex|请先设置打包输出文件夹！"),
                                         QStringLiteral("error|Lormex|打包输出文件夹不存在！")}));
  EXPECT_FALSE(controller_.PackingBusy());
  EXPECT_EQ(Statuses(), QStringList{QStringLiteral("就绪")});

  prompts_.calls.clear();
  SetFolders(dir_ / "out/", "Bright");
  controller_.dispatcher().Dispatch(kMenuOpenOutputFolder);
  EXPECT_EQ(prompts_.calls,
            QStringList{QStringLiteral("open|") + QString::fromStdString(dir_ / "out/")});
}

TEST_F(PackingWindowTest, TheOutputFolderOpensAtTheEndWhenAsked) {
  Add(MakeAlbum("A"));
  SetFolders(dir_ / "out/", "Bright", 1);
  RunToEnd();
  EXPECT_EQ(prompts_.calls,
            QStringList{QStringLiteral("open|") + QString::fromStdString(dir_ / "out/")});
}

TEST_F(PackingWindowTest, NoSecondRunWhileOneIsBusy) {
  Add(MakeAlbum("A"));
  controller_.PackingBusyFlag()->store(true);
  controller_.dispatcher().Dispatch(kMenuStartPacking);
  QCoreApplication::processEvents();
  controller_.PackingBusyFlag()->store(false);
  EXPECT_EQ(Statuses(), QStringList{QStringLiteral("就绪")});
  EXPECT_TRUE(testing::ListFolder(dir_ / "out").empty());
  EXPECT_TRUE(window().state_field()->text().isEmpty());
}

TEST_F(PackingWindowTest, EveryRowAlreadyDoneWritesNothing) {
  Add(MakeAlbum("A"));
  list().topLevelItem(0)->setText(kStatusColumn, QStringLiteral("完成"));
  RunToEnd();
  EXPECT_TRUE(testing::ListFolder(dir_ / "out").empty());
  QTRY_COMPARE_WITH_TIMEOUT(window().state_field()->text(), QStringLiteral("打包完成"), 3000);
  EXPECT_FALSE(window().CommandAction(kMenuStartPacking)->isEnabled());
}

}  // namespace
}  // namespace lormex
