// The settings dialog: what it shows of the stored values, what confirming stores, the folder
// checks and the chooser, its layout and keys, and its opening through the main window.
#include "settings/settings_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QValidator>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/app_texts.h"
#include "app/command_ids.h"
#include "app/embedded_images.h"
#include "app/main_controller.h"
#include "app/main_window.h"
#include "settings/preference_file.h"
#include "settings/settings.h"
#include "tests/support/fake_prompts.h"
#include "tests/support/qt_printers.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::FakePrompts;
using testing::FileExists;
using testing::MakeFolders;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const QString kErrorCall = QStringLiteral("error|设置|打包文件夹不能为空！");
const QString kChooserTitle = QStringLiteral("选择打包输出文件夹");

QString ChooseCall(const std::string& start) {
  return QStringLiteral("choose|") + kChooserTitle + QLatin1Char('|') +
         QString::fromStdString(start);
}

// A preference file as a user may have edited it by hand.
std::string PreferenceText(const std::string& out_folder, const std::string& studio,
                           const std::string& quality, const std::string& max_width,
                           const std::string& open_folder) {
  return "\xEF\xBB\xBF\r\n[Option]\r\nOutFolder = " + out_folder + "\r\nStudio = " + studio +
         "\r\nImageQuality = " + quality + "\r\nImageMaxWidth = " + max_width +
         "\r\nFinishedOpenFolder = " + open_folder + "\r\n";
}

// Table rows print as their names in failure messages.
template <typename Row>
requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class SettingsDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    LoadEmbeddedImages();
    InitTexts();
  }

  // Builds the dialog from the store's current values, as each opening does.
  std::unique_ptr<SettingsDialog> Open() {
    auto dialog = std::make_unique<SettingsDialog>(&store_, &prompts_, pref_path_, nullptr);
    dialog->show();
    return dialog;
  }

  // Presses OK the way a user does; true when the dialog closed as confirmed.
  static bool PressOk(SettingsDialog& dialog) {
    QTest::mouseClick(dialog.ok_button(), Qt::LeftButton);
    return !dialog.isVisible() && dialog.result() == QDialog::Accepted;
  }

  TempDir dir_;
  std::string pref_path_ = dir_ / "Lormex.pref";
  std::string out_folder_ = dir_ / "out/";
  SettingsStore store_;
  FakePrompts prompts_;
};

// ---------------------------------------------------------------------------------------------
// Values from the file: shown as they are, stored as the track bars give them.

struct StoredValuesCase {
  const char* name;
  const char* quality;    // as written in the file
  const char* max_width;  // as written in the file
  const char* open_folder;
  const char* quality_shown;
  int quality_position;
  const char* max_width_shown;
  int max_width_position;
  bool ticked;
  int quality_stored;
  int max_width_stored;
  int open_folder_stored;
};

class StoredValuesTest : public SettingsDialogTest,
                         public ::testing::WithParamInterface<StoredValuesCase> {};

TEST_P(StoredValuesTest, ShownAsStoredAndConfirmedFromTrackBars) {
  const StoredValuesCase& c = GetParam();
  MakeFolders(out_folder_);
  WriteFile(pref_path_,
            PreferenceText(out_folder_, "Bright", c.quality, c.max_width, c.open_folder));
  store_.Replace(LoadSettings(pref_path_));

  auto dialog = Open();
  EXPECT_EQ(dialog->quality_field()->text(), QString::fromUtf8(c.quality_shown));
  EXPECT_EQ(dialog->quality_track_bar()->value(), c.quality_position);
  EXPECT_EQ(dialog->max_width_field()->text(), QString::fromUtf8(c.max_width_shown));
  EXPECT_EQ(dialog->max_width_track_bar()->value(), c.max_width_position);
  EXPECT_EQ(dialog->open_folder_check_box()->isChecked(), c.ticked);

  ASSERT_TRUE(PressOk(*dialog));
  EXPECT_TRUE(prompts_.calls.isEmpty()) << prompts_.calls.join(u'\n').toStdString();
  const Settings expected{out_folder_, "Bright", c.quality_stored, c.max_width_stored,
                          c.open_folder_stored};
  EXPECT_EQ(store_.Snapshot(), expected);
  EXPECT_EQ(LoadSettings(pref_path_), expected);
}

INSTANTIATE_TEST_SUITE_P(
    FileValues, StoredValuesTest,
    ::testing::Values(
        StoredValuesCase{"Defaults", "70", "2000", "0", "70", 14, "2000", 40, false, 70, 2000, 0},
        StoredValuesCase{"QualityBetweenSteps", "72", "2000", "0", "72", 14, "2000", 40, false, 70,
                         2000, 0},
        StoredValuesCase{"QualityAboveRange", "250", "2000", "0", "250", 20, "2000", 40, false, 100,
                         2000, 0},
        StoredValuesCase{"QualityJustBelowRange", "29", "2000", "0", "29", 6, "2000", 40, false, 30,
                         2000, 0},
        StoredValuesCase{"QualityZero", "0", "2000", "0", "0", 6, "2000", 40, false, 30, 2000, 0},
        StoredValuesCase{"QualityNegative", "-1", "2000", "0", "-1", 6, "2000", 40, false, 30, 2000,
                         0},
        StoredValuesCase{"QualityNotANumber", "high", "2000", "0", "0", 6, "2000", 40, false, 30,
                         2000, 0},
        StoredValuesCase{"QualityExtremes", "2147483647", "-2147483648", "0", "2147483647", 20,
                         "-2147483648", 2, false, 100, 100, 0},
        StoredValuesCase{"RangeEnds", "30", "9000", "1", "30", 6, "9000", 180, true, 30, 9000, 1},
        StoredValuesCase{"WidthAboveRange", "70", "10000", "0", "70", 14, "10000", 180, false, 70,
                         9000, 0},
        StoredValuesCase{"WidthBetweenSteps", "70", "9049", "0", "70", 14, "9049", 180, false, 70,
                         9000, 0},
        StoredValuesCase{"WidthJustAboveMinimum", "70", "120", "0", "70", 14, "120", 2, false, 70,
                         100, 0},
        StoredValuesCase{"WidthBelowRange", "70", "99", "0", "70", 14, "99", 2, false, 70, 100, 0},
        StoredValuesCase{"WidthNegative", "70", "-50", "0", "70", 14, "-50", 2, false, 70, 100, 0},
        StoredValuesCase{"OpenFolderFive", "70", "2000", "5", "70", 14, "2000", 40, true, 70, 2000,
                         1},
        StoredValuesCase{"OpenFolderMinusOne", "70", "2000", "-1", "70", 14, "2000", 40, true, 70,
                         2000, 1}),
    [](const ::testing::TestParamInfo<StoredValuesCase>& row) { return row.param.name; });

TEST_F(SettingsDialogTest, FirstOpeningShowsDefaultsAndCreatesNoFile) {
  store_.Replace(LoadSettings(pref_path_));
  auto dialog = Open();
  EXPECT_EQ(dialog->out_folder_field()->text(), QString());
  EXPECT_EQ(dialog->studio_field()->text(), QString());
  EXPECT_EQ(dialog->quality_field()->text(), QStringLiteral("70"));
  EXPECT_EQ(dialog->quality_track_bar()->value(), 14);
  EXPECT_EQ(dialog->max_width_field()->text(), QStringLiteral("2000"));
  EXPECT_EQ(dialog->max_width_track_bar()->value(), 40);
  EXPECT_FALSE(dialog->open_folder_check_box()->isChecked());
  dialog->reject();
  EXPECT_FALSE(FileExists(pref_path_));
}

TEST_F(SettingsDialogTest, ConfirmingStoresWhatTheUserSet) {
  MakeFolders(out_folder_);
  prompts_.chosen_folders = {QString::fromStdString(dir_ / "out")};
  auto dialog = Open();
  QTest::mouseClick(dialog->out_folder_button(), Qt::LeftButton);
  // Blanks around the name are the user's and are kept.
  QTest::keyClicks(dialog->studio_field(), QStringLiteral("  Bright "));
  dialog->studio_field()->insert(QStringLiteral("光影"));
  dialog->quality_track_bar()->setValue(19);
  dialog->max_width_track_bar()->setValue(31);
  QCheckBox* check_box = dialog->open_folder_check_box();
  QTest::mouseClick(check_box, Qt::LeftButton, {}, QPoint(8, check_box->height() / 2));
  ASSERT_TRUE(PressOk(*dialog));

  const Settings expected{out_folder_, "  Bright 光影", 95, 1550, 1};
  EXPECT_EQ(store_.Snapshot(), expected);
  const std::string file = ReadFile(pref_path_);
  EXPECT_EQ(file, PreferenceText(out_folder_, "  Bright 光影", "95", "1550", "1"));
  EXPECT_EQ(prompts_.calls, QStringList{ChooseCall("")});
}

// Texts longer than a text field takes by default are shown and stored whole.
TEST_F(SettingsDialogTest, LongStoredTextsAreKeptWhole) {
  const std::string long_folder = dir_ / (std::string(40000, 'a') + "/");
  const std::string long_studio(40000, 's');
  store_.Replace(Settings{long_folder, long_studio, 70, 2000, 0});
  auto dialog = Open();
  EXPECT_EQ(dialog->out_folder_field()->text().toStdString(), long_folder);
  EXPECT_EQ(dialog->studio_field()->text().toStdString(), long_studio);
  MakeFolders(out_folder_);
  prompts_.chosen_folders = {QString::fromStdString(out_folder_)};
  QTest::mouseClick(dialog->out_folder_button(), Qt::LeftButton);
  ASSERT_TRUE(PressOk(*dialog));
  EXPECT_EQ(store_.Snapshot().Studio, long_studio);
  EXPECT_EQ(prompts_.calls.front().size(), ChooseCall("").size() + 259);
}

// The stored numbers come from the track bars even when the fields say otherwise.
TEST_F(SettingsDialogTest, NumbersComeFromTrackBarsNotFields) {
  MakeFolders(out_folder_);
  store_.Replace(Settings{out_folder_, "", 70, 2000, 0});
  auto dialog = Open();
  dialog->quality_field()->setText(QStringLiteral("55"));
  dialog->max_width_field()->setText(QStringLiteral("1234"));
  ASSERT_TRUE(PressOk(*dialog));
  EXPECT_EQ(store_.Snapshot().ImageQuality, 70);
  EXPECT_EQ(store_.Snapshot().ImageMaxWidth, 2000);
}

// ---------------------------------------------------------------------------------------------
// Track bars: the field beside each follows every change.

struct TrackBarCase {
  const char* name;
  bool max_width;  // which track bar
  std::function<void(QSlider*)> move;
  const char* shown;
  int stored;
};

class TrackBarTest : public SettingsDialogTest,
                     public ::testing::WithParamInterface<TrackBarCase> {};

TEST_P(TrackBarTest, FieldFollowsAndConfirmStoresPosition) {
  const TrackBarCase& c = GetParam();
  MakeFolders(out_folder_);
  store_.Replace(Settings{out_folder_, "", 72, 2020, 0});
  auto dialog = Open();
  QSlider* track_bar = c.max_width ? dialog->max_width_track_bar() : dialog->quality_track_bar();
  QLineEdit* field = c.max_width ? dialog->max_width_field() : dialog->quality_field();
  c.move(track_bar);
  EXPECT_EQ(field->text(), QString::fromUtf8(c.shown));
  ASSERT_TRUE(PressOk(*dialog));
  const Settings stored = store_.Snapshot();
  EXPECT_EQ(c.max_width ? stored.ImageMaxWidth : stored.ImageQuality, c.stored);
}

void Key(QSlider* track_bar, Qt::Key key) { QTest::keyClick(track_bar, key); }

// A drag shows every position it passes, before the button is released.
void DragTo(QSlider* track_bar, int position) {
  track_bar->setSliderDown(true);
  track_bar->setSliderPosition(position);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, TrackBarTest,
    ::testing::Values(
        TrackBarCase{"QualityHome", false, [](QSlider* s) { Key(s, Qt::Key_Home); }, "30", 30},
        TrackBarCase{"QualityEnd", false, [](QSlider* s) { Key(s, Qt::Key_End); }, "100", 100},
        TrackBarCase{"QualityRight", false, [](QSlider* s) { Key(s, Qt::Key_Right); }, "75", 75},
        TrackBarCase{"QualityLeft", false, [](QSlider* s) { Key(s, Qt::Key_Left); }, "65", 65},
        TrackBarCase{"QualityPageUp", false, [](QSlider* s) { Key(s, Qt::Key_PageUp); }, "80", 80},
        TrackBarCase{"QualityPastEnd", false, [](QSlider* s) { s->setValue(25); }, "100", 100},
        TrackBarCase{"QualityDragged", false, [](QSlider* s) { DragTo(s, 9); }, "45", 45},
        TrackBarCase{"WidthHome", true, [](QSlider* s) { Key(s, Qt::Key_Home); }, "100", 100},
        TrackBarCase{"WidthEnd", true, [](QSlider* s) { Key(s, Qt::Key_End); }, "9000", 9000},
        TrackBarCase{"WidthRight", true, [](QSlider* s) { Key(s, Qt::Key_Right); }, "2050", 2050},
        TrackBarCase{"WidthPageDown", true, [](QSlider* s) { Key(s, Qt::Key_PageDown); }, "1000",
                     1000},
        TrackBarCase{"WidthDragged", true, [](QSlider* s) { DragTo(s, 3); }, "150", 150}),
    [](const ::testing::TestParamInfo<TrackBarCase>& row) { return row.param.name; });

// ---------------------------------------------------------------------------------------------
// Folder checks on OK: the message, the dialog stays open, nothing is written.

struct RejectedFolderCase {
  const char* name;
  std::function<std::string(const TempDir&)> folder;  // the stored output folder
};

class RejectedFolderTest : public SettingsDialogTest,
                           public ::testing::WithParamInterface<RejectedFolderCase> {};

TEST_P(RejectedFolderTest, MessageAndNothingChanges) {
  const std::string folder = GetParam().folder(dir_);
  const Settings before{folder, "Old", 80, 3000, 0};
  store_.Replace(before);
  auto dialog = Open();
  QTest::keyClicks(dialog->studio_field(), QStringLiteral(" New"));
  dialog->quality_track_bar()->setValue(8);
  QTest::mouseClick(dialog->ok_button(), Qt::LeftButton);

  EXPECT_EQ(prompts_.calls, QStringList{kErrorCall});
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(store_.Snapshot(), before);
  EXPECT_FALSE(FileExists(pref_path_));
  // What the user entered is still there.
  EXPECT_EQ(dialog->out_folder_field()->text(), QString::fromStdString(folder));
  EXPECT_EQ(dialog->studio_field()->text(), QStringLiteral("Old New"));
  EXPECT_EQ(dialog->quality_field()->text(), QStringLiteral("40"));

  // The message comes again on every press until a folder that can be listed is chosen.
  QTest::mouseClick(dialog->ok_button(), Qt::LeftButton);
  EXPECT_EQ(prompts_.calls, (QStringList{kErrorCall, kErrorCall}));
  MakeFolders(out_folder_);
  prompts_.chosen_folders = {QString::fromStdString(out_folder_)};
  QTest::mouseClick(dialog->out_folder_button(), Qt::LeftButton);
  ASSERT_TRUE(PressOk(*dialog));
  EXPECT_EQ(store_.Snapshot(), (Settings{out_folder_, "Old New", 40, 3000, 0}));
  EXPECT_TRUE(FileExists(pref_path_));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RejectedFolderTest,
    ::testing::Values(RejectedFolderCase{"Empty", [](const TempDir&) { return std::string(); }},
                      RejectedFolderCase{"Deleted",
                                         [](const TempDir& dir) {
                                           MakeFolders(dir / "gone/");
                                           std::filesystem::remove(dir / "gone");
                                           return dir / "gone/";
                                         }},
                      RejectedFolderCase{"NeverExisted",
                                         [](const TempDir& dir) { return dir / "missing"; }},
                      RejectedFolderCase{"AFile",
                                         [](const TempDir& dir) {
                                           WriteFile(dir / "file.txt", "x");
                                           return dir / "file.txt";
                                         }}),
    [](const ::testing::TestParamInfo<RejectedFolderCase>& row) { return row.param.name; });

TEST_F(SettingsDialogTest, RejectedFolderLeavesAnExistingFileAlone) {
  const std::string old_file = PreferenceText(dir_ / "gone/", "Old", "80", "3000", "0");
  WriteFile(pref_path_, old_file);
  store_.Replace(LoadSettings(pref_path_));
  auto dialog = Open();
  QTest::mouseClick(dialog->ok_button(), Qt::LeftButton);
  EXPECT_EQ(prompts_.calls, QStringList{kErrorCall});
  EXPECT_EQ(ReadFile(pref_path_), old_file);
}

struct ListableCase {
  const char* name;
  std::function<std::string(const TempDir&)> folder;
  bool listable;
};

class FolderCanBeListedTest : public ::testing::TestWithParam<ListableCase> {};

TEST_P(FolderCanBeListedTest, OpensTheFolder) {
  TempDir dir;
  MakeFolders(dir / "empty/");
  MakeFolders(dir / "full/sub/");
  WriteFile(dir / "full/a.jpg", "x");
  EXPECT_EQ(FolderCanBeListed(QString::fromStdString(GetParam().folder(dir))), GetParam().listable);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderCanBeListedTest,
    ::testing::Values(
        ListableCase{"Empty", [](const TempDir&) { return std::string(); }, false},
        ListableCase{"WithSlash", [](const TempDir& d) { return d / "full/"; }, true},
        ListableCase{"WithoutSlash", [](const TempDir& d) { return d / "full"; }, true},
        ListableCase{"EmptyFolder", [](const TempDir& d) { return d / "empty/"; }, true},
        ListableCase{"Root", [](const TempDir&) { return std::string("/"); }, true},
        ListableCase{"Missing", [](const TempDir& d) { return d / "none/"; }, false},
        ListableCase{"RegularFile", [](const TempDir& d) { return d / "full/a.jpg"; }, false},
        ListableCase{"NonAsciiName",
                     [](const TempDir& d) {
                       MakeFolders(d / "交付 2016/");
                       return d / "交付 2016/";
                     },
                     true}),
    [](const ::testing::TestParamInfo<ListableCase>& row) { return row.param.name; });

// ---------------------------------------------------------------------------------------------
// Leaving without confirming.

struct LeaveCase {
  const char* name;
  std::function<void(SettingsDialog*)> leave;
};

class LeaveWithoutConfirmTest : public SettingsDialogTest,
                                public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeaveWithoutConfirmTest, StoreAndFileStayUnchanged) {
  MakeFolders(out_folder_);
  const std::string old_file = PreferenceText(out_folder_, "Old", "80", "3000", "0");
  WriteFile(pref_path_, old_file);
  store_.Replace(LoadSettings(pref_path_));
  const Settings before = store_.Snapshot();
  MakeFolders(dir_ / "other/");
  prompts_.chosen_folders = {QString::fromStdString(dir_ / "other")};

  auto dialog = Open();
  QTest::mouseClick(dialog->out_folder_button(), Qt::LeftButton);
  EXPECT_EQ(dialog->out_folder_field()->text(), QString::fromStdString(dir_ / "other/"));
  QTest::keyClicks(dialog->studio_field(), QStringLiteral("New"));
  dialog->max_width_track_bar()->setValue(100);
  GetParam().leave(dialog.get());

  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(store_.Snapshot(), before);
  EXPECT_EQ(ReadFile(pref_path_), old_file);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LeaveWithoutConfirmTest,
    ::testing::Values(
        LeaveCase{"CancelButton",
                  [](SettingsDialog* d) { QTest::mouseClick(d->cancel_button(), Qt::LeftButton); }},
        LeaveCase{"CloseBox", [](SettingsDialog* d) { d->close(); }},
        LeaveCase{"Escape", [](SettingsDialog* d) { QTest::keyClick(d, Qt::Key_Escape); }}),
    [](const ::testing::TestParamInfo<LeaveCase>& row) { return row.param.name; });

// Enter must not confirm: neither button is a default button.
TEST_F(SettingsDialogTest, EnterConfirmsNothing) {
  MakeFolders(out_folder_);
  store_.Replace(Settings{out_folder_, "", 70, 2000, 0});
  auto dialog = Open();
  EXPECT_FALSE(dialog->ok_button()->isDefault());
  EXPECT_FALSE(dialog->ok_button()->autoDefault());
  EXPECT_FALSE(dialog->cancel_button()->autoDefault());
  EXPECT_FALSE(dialog->out_folder_button()->autoDefault());
  QTest::keyClicks(dialog->studio_field(), QStringLiteral("New"));
  for (QWidget* widget :
       {static_cast<QWidget*>(dialog->studio_field()), static_cast<QWidget*>(dialog->ok_button()),
        static_cast<QWidget*>(dialog->cancel_button())}) {
    QTest::keyClick(widget, Qt::Key_Return);
    QTest::keyClick(widget, Qt::Key_Enter);
  }
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(store_.Snapshot().Studio, "");
  EXPECT_TRUE(prompts_.calls.isEmpty());
}

// ---------------------------------------------------------------------------------------------
// The folder chooser.

TEST_F(SettingsDialogTest, ChooserStartsAtStoredFolderEveryTime) {
  const std::string stored = dir_ / "stored/";
  MakeFolders(stored);
  store_.Replace(Settings{stored, "", 70, 2000, 0});
  prompts_.chosen_folders = {QString::fromStdString(dir_ / "first")};
  auto dialog = Open();
  EXPECT_EQ(dialog->out_folder_field()->text(), QString::fromStdString(stored));

  QTest::mouseClick(dialog->out_folder_button(), Qt::LeftButton);
  EXPECT_EQ(dialog->out_folder_field()->text(), QString::fromStdString(dir_ / "first/"));
  // The second chooser is cancelled: the field keeps the folder chosen first.
  QTest::mouseClick(dialog->out_folder_button(), Qt::LeftButton);
  EXPECT_EQ(dialog->out_folder_field()->text(), QString::fromStdString(dir_ / "first/"));

  const std::string trimmed = dir_ / "stored";
  EXPECT_EQ(prompts_.calls, (QStringList{ChooseCall(trimmed), ChooseCall(trimmed)}));
}

TEST_F(SettingsDialogTest, CancelledChooserKeepsTheField) {
  store_.Replace(Settings{"/nowhere/", "", 70, 2000, 0});
  auto dialog = Open();
  QTest::mouseClick(dialog->out_folder_button(), Qt::LeftButton);
  EXPECT_EQ(dialog->out_folder_field()->text(), QStringLiteral("/nowhere/"));
  EXPECT_EQ(prompts_.calls, QStringList{ChooseCall("/nowhere")});
}

struct StartFolderCase {
  const char* name;
  QString stored;
  QString start;
};

class ChooserStartFolderTest : public ::testing::TestWithParam<StartFolderCase> {};

TEST_P(ChooserStartFolderTest, TrimsTheStoredFolder) {
  EXPECT_EQ(ChooserStartFolder(GetParam().stored), GetParam().start);
}

const QString k258 = QStringLiteral("/") + QString(257, u'a');

INSTANTIATE_TEST_SUITE_P(
    Folders, ChooserStartFolderTest,
    ::testing::Values(
        StartFolderCase{"Empty", QString(), QString()},
        StartFolderCase{"Root", QStringLiteral("/"), QStringLiteral("/")},
        StartFolderCase{"TrailingSlash", QStringLiteral("/srv/out/"), QStringLiteral("/srv/out")},
        StartFolderCase{"OnlyOneSlashRemoved", QStringLiteral("/srv/out//"),
                        QStringLiteral("/srv/out/")},
        StartFolderCase{"NoSlash", QStringLiteral("/srv/out"), QStringLiteral("/srv/out")},
        StartFolderCase{"TopFolder", QStringLiteral("/a/"), QStringLiteral("/a")},
        StartFolderCase{"Exactly259", k258 + QStringLiteral("/"), k258},
        StartFolderCase{"CutThenSlashRemoved", k258 + QStringLiteral("/bcd/"), k258},
        StartFolderCase{"CutInsideName", k258 + QStringLiteral("bc/"), k258 + QStringLiteral("b")},
        // A character outside the basic plane is never cut in half.
        StartFolderCase{"CutBeforeSurrogatePair", k258 + QStringLiteral("😀/"), k258}),
    [](const ::testing::TestParamInfo<StartFolderCase>& row) { return row.param.name; });

TEST(ChosenOutFolderTest, EndsWithSeparator) {
  EXPECT_EQ(ChosenOutFolder(QStringLiteral("/srv/Albums/Out")), QStringLiteral("/srv/Albums/Out/"));
  EXPECT_EQ(ChosenOutFolder(QStringLiteral("/srv/Out/")), QStringLiteral("/srv/Out/"));
  EXPECT_EQ(ChosenOutFolder(QStringLiteral("/")), QStringLiteral("/"));
  EXPECT_EQ(ChosenOutFolder(QString()), QString());
}

// ---------------------------------------------------------------------------------------------
// Layout, texts and keyboard focus.

TEST_F(SettingsDialogTest, WindowIsFixedSizeWithCloseBoxOnly) {
  auto dialog = Open();
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("设置"));
  EXPECT_EQ(dialog->size(), QSize(600, 380));
  EXPECT_EQ(dialog->minimumSize(), QSize(600, 380));
  EXPECT_EQ(dialog->maximumSize(), QSize(600, 380));
  const Qt::WindowFlags flags = dialog->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
  EXPECT_FALSE(dialog->windowIcon().isNull());
}

TEST_F(SettingsDialogTest, OwnedByTheWindowItOpensOver) {
  QWidget owner;
  SettingsDialog dialog(&store_, &prompts_, pref_path_, &owner);
  EXPECT_EQ(dialog.parentWidget(), &owner);
  EXPECT_TRUE(dialog.isWindow());
}

struct PlaceCase {
  const char* name;
  std::function<QWidget*(const SettingsDialog&)> gadget;
  QRect place;
};

class GadgetPlaceTest : public SettingsDialogTest,
                        public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(GadgetPlaceTest, AtItsPlace) {
  auto dialog = Open();
  EXPECT_EQ(GetParam().gadget(*dialog)->geometry(), GetParam().place);
}

INSTANTIATE_TEST_SUITE_P(
    Gadgets, GadgetPlaceTest,
    ::testing::Values(
        PlaceCase{"OutFolderField", [](const SettingsDialog& d) { return d.out_folder_field(); },
                  QRect(260, 30, 280, 24)},
        PlaceCase{"OutFolderButton", [](const SettingsDialog& d) { return d.out_folder_button(); },
                  QRect(546, 30, 24, 24)},
        PlaceCase{"StudioField", [](const SettingsDialog& d) { return d.studio_field(); },
                  QRect(260, 65, 310, 24)},
        PlaceCase{"QualityField", [](const SettingsDialog& d) { return d.quality_field(); },
                  QRect(260, 100, 50, 24)},
        PlaceCase{"QualityTrackBar", [](const SettingsDialog& d) { return d.quality_track_bar(); },
                  QRect(320, 100, 250, 24)},
        PlaceCase{"MaxWidthField", [](const SettingsDialog& d) { return d.max_width_field(); },
                  QRect(260, 135, 50, 24)},
        PlaceCase{"MaxWidthTrackBar",
                  [](const SettingsDialog& d) { return d.max_width_track_bar(); },
                  QRect(320, 135, 250, 24)},
        PlaceCase{"OpenFolderCheckBox",
                  [](const SettingsDialog& d) { return d.open_folder_check_box(); },
                  QRect(260, 173, 300, 24)},
        PlaceCase{"Separator", [](const SettingsDialog& d) { return d.separator(); },
                  QRect(180, 290, 390, 4)},
        PlaceCase{"OkButton", [](const SettingsDialog& d) { return d.ok_button(); },
                  QRect(380, 320, 90, 30)},
        PlaceCase{"CancelButton", [](const SettingsDialog& d) { return d.cancel_button(); },
                  QRect(480, 320, 90, 30)}),
    [](const ::testing::TestParamInfo<PlaceCase>& row) { return row.param.name; });

struct LabelCase {
  const char* name;
  int index;  // -1: the welcome text
  const char* text;
  QPoint place;
  int width;
  int min_height;
};

class LabelTest : public SettingsDialogTest, public ::testing::WithParamInterface<LabelCase> {};

// A label keeps its place but is never lower than its font needs, and its text ends before the
// field beside it begins.
TEST_P(LabelTest, PlacedAndNotClipped) {
  auto dialog = Open();
  const LabelCase& c = GetParam();
  QLabel* label = c.index < 0 ? dialog->welcome_text() : dialog->field_labels().at(c.index);
  const QString text = c.index < 0 ? WelcomeLine() : QString::fromUtf8(c.text);
  EXPECT_EQ(label->text(), text);
  EXPECT_EQ(label->pos(), c.place);
  EXPECT_EQ(label->width(), c.width);
  EXPECT_GE(label->height(), c.min_height);
  EXPECT_GE(label->height(), label->sizeHint().height());
  EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
  const int text_width = label->fontMetrics().horizontalAdvance(text);
  const int room = c.index < 0 ? label->width() : dialog->quality_field()->x() - label->x();
  EXPECT_LE(text_width, room) << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Labels, LabelTest,
    ::testing::Values(LabelCase{"FolderLabel", 0, "打包文件夹：", {180, 33}, 90, 12},
                      LabelCase{"StudioLabel", 1, "工作室名称：", {180, 68}, 90, 12},
                      LabelCase{"QualityLabel", 2, "图像质量：", {180, 103}, 90, 12},
                      LabelCase{"MaxWidthLabel", 3, "最大宽度：", {180, 138}, 90, 12},
                      LabelCase{"WelcomeText", -1, "", {180, 275}, 350, 20}),
    [](const ::testing::TestParamInfo<LabelCase>& row) { return row.param.name; });

// The welcome line is drawn above the groove, not through it.
TEST_F(SettingsDialogTest, WelcomeLineIsGreyAndClearOfTheSeparator) {
  auto dialog = Open();
  QLabel* welcome = dialog->welcome_text();
  EXPECT_EQ(welcome->palette().color(QPalette::WindowText), QColor(170, 170, 170));
  EXPECT_TRUE(welcome->alignment().testFlag(Qt::AlignTop));
  EXPECT_LE(welcome->y() + welcome->fontMetrics().height(), dialog->separator()->y() + 1);
  EXPECT_EQ(dialog->separator()->frameShape(), QFrame::HLine);
  EXPECT_EQ(dialog->separator()->frameShadow(), QFrame::Sunken);
}

TEST_F(SettingsDialogTest, BannerAndFolderButtonShowTheirPictures) {
  auto dialog = Open();
  QLabel* banner = dialog->banner();
  ASSERT_FALSE(banner->pixmap().isNull());
  EXPECT_EQ(banner->pixmap().size(), QSize(150, 380));
  const int border = banner->frameWidth();
  EXPECT_GT(border, 0);
  EXPECT_EQ(banner->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(banner->geometry(), QRect(0, 0, 150 + 2 * border, 380 + 2 * border));
  EXPECT_EQ(banner->focusPolicy(), Qt::NoFocus);
  EXPECT_FALSE(dialog->out_folder_button()->icon().isNull());
  EXPECT_TRUE(dialog->out_folder_button()->text().isEmpty());
}

TEST_F(SettingsDialogTest, TextsTooltipsAndFieldKinds) {
  auto dialog = Open();
  EXPECT_EQ(dialog->out_folder_button()->toolTip(), QStringLiteral("设置打包输出文件夹"));
  EXPECT_EQ(dialog->studio_field()->toolTip(), QStringLiteral("设置您的工作室名称"));
  EXPECT_EQ(dialog->quality_track_bar()->toolTip(), QStringLiteral("设置图像质量"));
  EXPECT_EQ(dialog->max_width_track_bar()->toolTip(), QStringLiteral("设置图像最大宽度"));
  EXPECT_EQ(dialog->open_folder_check_box()->text(), QStringLiteral("打包完成后打开输出文件夹"));
  EXPECT_EQ(dialog->ok_button()->text(), QStringLiteral("确定"));
  EXPECT_EQ(dialog->cancel_button()->text(), QStringLiteral("取消"));

  EXPECT_TRUE(dialog->out_folder_field()->isReadOnly());
  EXPECT_FALSE(dialog->studio_field()->isReadOnly());
  for (QLineEdit* field : {dialog->quality_field(), dialog->max_width_field()}) {
    EXPECT_TRUE(field->isReadOnly());
    ASSERT_NE(field->validator(), nullptr);
    QString digits = QStringLiteral("85");
    QString letters = QStringLiteral("8a");
    int pos = 0;
    EXPECT_EQ(field->validator()->validate(digits, pos), QValidator::Acceptable);
    EXPECT_EQ(field->validator()->validate(letters, pos), QValidator::Invalid);
  }
  for (QSlider* track_bar : {dialog->quality_track_bar(), dialog->max_width_track_bar()}) {
    EXPECT_EQ(track_bar->orientation(), Qt::Horizontal);
    EXPECT_EQ(track_bar->singleStep(), 1);
    EXPECT_TRUE(track_bar->hasTracking());
  }
  EXPECT_EQ(dialog->quality_track_bar()->minimum(), 6);
  EXPECT_EQ(dialog->quality_track_bar()->maximum(), 20);
  EXPECT_EQ(dialog->max_width_track_bar()->minimum(), 2);
  EXPECT_EQ(dialog->max_width_track_bar()->maximum(), 180);
}

// The check box and the buttons have room for their texts at the font in use.
TEST_F(SettingsDialogTest, CheckBoxAndButtonTextsFit) {
  auto dialog = Open();
  QCheckBox* check_box = dialog->open_folder_check_box();
  EXPECT_LE(check_box->sizeHint().width(), check_box->width());
  EXPECT_LE(check_box->sizeHint().height(), check_box->height());
  for (QPushButton* button : {dialog->ok_button(), dialog->cancel_button()}) {
    const QFontMetrics metrics = button->fontMetrics();
    EXPECT_LE(metrics.horizontalAdvance(button->text()), button->width() - 8);
    EXPECT_LE(metrics.height(), button->height() - 4);
  }
}

TEST_F(SettingsDialogTest, FocusMovesInTableOrder) {
  auto dialog = Open();
  const std::vector<QWidget*> expected = {
      dialog->out_folder_field(),    dialog->out_folder_button(),     dialog->studio_field(),
      dialog->quality_field(),       dialog->quality_track_bar(),     dialog->max_width_field(),
      dialog->max_width_track_bar(), dialog->open_folder_check_box(), dialog->ok_button(),
      dialog->cancel_button()};
  // Tab goes to the next widget of the chain that takes focus by Tab.
  std::vector<QWidget*> chain{expected.front()};
  for (QWidget* widget = expected.front()->nextInFocusChain();
       widget != expected.front() && chain.size() <= 2 * expected.size();
       widget = widget->nextInFocusChain()) {
    if (widget != dialog.get() && (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus &&
        widget->isVisibleTo(dialog.get())) {
      chain.push_back(widget);
    }
  }
  EXPECT_EQ(chain, expected);
  for (QWidget* quiet :
       {static_cast<QWidget*>(dialog->banner()), static_cast<QWidget*>(dialog->welcome_text()),
        static_cast<QWidget*>(dialog->separator())}) {
    EXPECT_EQ(quiet->focusPolicy(), Qt::NoFocus);
  }
}

// ---------------------------------------------------------------------------------------------
// Placement over the main window.

struct CentreCase {
  const char* name;
  QRect owner;
  QPoint expected;
};

class CentredDialogPositionTest : public ::testing::TestWithParam<CentreCase> {};

TEST_P(CentredDialogPositionTest, CentredAndNeverNegative) {
  EXPECT_EQ(CentredDialogPosition(GetParam().owner, QSize(610, 410)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Owners, CentredDialogPositionTest,
    ::testing::Values(CentreCase{"Centred", QRect(100, 50, 810, 560), QPoint(200, 125)},
                      CentreCase{"OddDifference", QRect(0, 0, 811, 561), QPoint(100, 75)},
                      CentreCase{"OwnerSmaller", QRect(0, 0, 400, 300), QPoint(0, 0)},
                      CentreCase{"OwnerOffLeftAndTop", QRect(-500, -300, 810, 560), QPoint(0, 0)},
                      CentreCase{"OwnerPartlyOff", QRect(-50, -40, 810, 560), QPoint(50, 35)},
                      CentreCase{"SecondScreen", QRect(1920, 100, 810, 560), QPoint(2020, 175)}),
    [](const ::testing::TestParamInfo<CentreCase>& row) { return row.param.name; });

// ---------------------------------------------------------------------------------------------
// Through the main window's command while a packing run is in progress.

// Runs the test in a folder of its own: the program keeps its preference file in the working
// directory.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& path) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingDirectory() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

TEST_F(SettingsDialogTest, OpensFromTheCommandDuringAPackingRun) {
  WorkingDirectory in_temp(dir_.path());
  MakeFolders(out_folder_);
  prompts_.chosen_folders = {QString::fromStdString(dir_ / "out")};
  MainController controller(&store_, &prompts_);
  controller.OpenMainWindow();
  MainWindow* window = controller.main_window();
  window->ShowCentred();
  controller.PackingBusyFlag()->store(true);
  window->DisablePackingCommands(1);
  window->DisableDeleteCommands(1);
  ASSERT_TRUE(window->CommandAction(kToolbarSettings)->isEnabled());

  bool seen = false;
  QObject guard;  // drops the pending call if the dialog never opens
  QTimer::singleShot(0, &guard, [&] {
    auto* dialog = window->findChild<SettingsDialog*>();
    ASSERT_NE(dialog, nullptr);
    seen = true;
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), dialog);
    EXPECT_EQ(dialog->pos(),
              CentredDialogPosition(window->frameGeometry(), dialog->frameGeometry().size()));
    QTest::mouseClick(dialog->out_folder_button(), Qt::LeftButton);
    QTest::keyClicks(dialog->studio_field(), QStringLiteral("Bright"));
    dialog->max_width_track_bar()->setValue(24);
    QTest::mouseClick(dialog->ok_button(), Qt::LeftButton);
    if (dialog->isVisible()) dialog->reject();
  });
  window->CommandAction(kToolbarSettings)->trigger();

  EXPECT_TRUE(seen);
  EXPECT_EQ(window->findChild<SettingsDialog*>(), nullptr);
  const Settings expected{out_folder_, "Bright", 70, 1200, 0};
  EXPECT_EQ(store_.Snapshot(), expected);
  EXPECT_EQ(LoadSettings(dir_ / "Lormex.pref"), expected);
  controller.PackingBusyFlag()->store(false);
}

}  // namespace
}  // namespace lormex
