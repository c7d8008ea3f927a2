#include "settings/preference_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "tests/settings/preference_test_support.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::FileExists;
using testing::GiveToPermissionUser;
using testing::ListFolder;
using testing::MakeFolders;
using testing::MakeSettings;
using testing::ReadFile;
using testing::RunBoundByPermissions;
using testing::TempDir;
using testing::WriteFile;

const std::string kHead = "\xEF\xBB\xBF\r\n";
const Settings kSaved = MakeSettings("/srv/out/", "Bright", 85, 3000, 1);
const std::string kSavedOption =
    "[Option]\r\nOutFolder = /srv/out/\r\nStudio = Bright\r\nImageQuality = 85\r\n"
    "ImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n";

struct SaveCase {
  const char* name;
  std::optional<std::string> before;  // nullopt: no file
  Settings loaded;                    // what the old file gives
  Settings saved;
  std::string after;  // the exact bytes after the save
  // What the new file gives, when the save could not store everything.
  std::optional<Settings> reloaded = std::nullopt;
  bool read_only = false;
};

class SaveTest : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveTest, WritesTheExactBytes) {
  const SaveCase& c = GetParam();
  TempDir dir;
  const std::string path = dir / "Lormex.pref";
  if (c.before) WriteFile(path, *c.before);

  EXPECT_EQ(LoadSettings(path), c.loaded);
  if (c.before) {
    EXPECT_EQ(ReadFile(path), *c.before) << "loading changed the file";
  } else {
    EXPECT_FALSE(FileExists(path)) << "loading created the file";
  }

  if (c.read_only) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    GiveToPermissionUser(dir.path());
    GiveToPermissionUser(path);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const std::optional<int> saved =
        RunBoundByPermissions(dir.path(), [&] { return SaveSettings(c.saved, path) ? 1 : 0; });
    if (!saved) GTEST_SKIP() << "cannot run without the right to ignore file permissions";
    EXPECT_EQ(*saved, 0) << "a save into a read-only file reported success";
  } else {
    EXPECT_TRUE(SaveSettings(c.saved, path));
  }
  EXPECT_EQ(ReadFile(path), c.after);
  EXPECT_EQ(LoadSettings(path), c.reloaded.value_or(c.read_only ? c.loaded : c.saved));
  EXPECT_EQ(ListFolder(dir.path()), std::vector<std::string>{"Lormex.pref"});
}

INSTANTIATE_TEST_SUITE_P(
    Files, SaveTest,
    ::testing::Values(
        SaveCase{"FirstSaveFromNothing", std::nullopt, Settings{}, kSaved, kHead + kSavedOption},
        SaveCase{"EmptyFile", "", Settings{}, kSaved, kHead + kSavedOption},
        SaveCase{"SignatureOnly", "\xEF\xBB\xBF", Settings{}, kSaved, kHead + kSavedOption},
        SaveCase{"EmptyTextsAndExtremeNumbers", std::nullopt, Settings{},
                 MakeSettings("", "", -5, INT_MIN, INT_MAX),
                 kHead + "[Option]\r\nOutFolder = \r\nStudio = \r\nImageQuality = -5\r\n"
                         "ImageMaxWidth = -2147483648\r\nFinishedOpenFolder = 2147483647\r\n"},
        SaveCase{"CommentsForeignGroupsAndForeignKeyKept",
                 kHead +
                     "; made by hand\r\n[Other]\r\nColor = red\r\n[Option]\r\n"
                     "OutFolder = /old/\r\nTheme = dark\r\nStudio = Old\r\nImageQuality = 70\r\n"
                     "; quality note\r\nImageMaxWidth = 2000\r\nFinishedOpenFolder = 0\r\n"
                     "[Tail]\r\nx = 1\r\n",
                 MakeSettings("/old/", "Old", 70, 2000, 0), kSaved,
                 kHead + "; made by hand\r\n[Other]\r\nColor = red\r\n[Option]\r\n"
                         "OutFolder = /srv/out/\r\nTheme = dark\r\nStudio = Bright\r\n"
                         "ImageQuality = 85\r\n; quality note\r\nImageMaxWidth = 3000\r\n"
                         "FinishedOpenFolder = 1\r\n[Tail]\r\nx = 1\r\n"},
        SaveCase{"GroupAppendedAfterTheLastLine",
                 "; only a comment\r\n[Other]\r\nStudio = Foreign\r\n", Settings{}, kSaved,
                 kHead + "; only a comment\r\n[Other]\r\nStudio = Foreign\r\n" + kSavedOption},
        SaveCase{"MissingKeysAppendedToTheSection",
                 kHead + "[Option]\r\nStudio = Old\r\n; end of option\r\n[Other]\r\nk = v\r\n",
                 MakeSettings("", "Old", 70, 2000, 0), kSaved,
                 kHead +
                     "[Option]\r\nStudio = Bright\r\n; end of option\r\nOutFolder = /srv/out/\r\n"
                     "ImageQuality = 85\r\nImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n"
                     "[Other]\r\nk = v\r\n"},
        SaveCase{"NameCase",
                 kHead + "[OPTION]\r\noutfolder = /old/\r\nSTUDIO = Old\r\nimagequality = 90\r\n"
                         "IMAGEMAXWIDTH = 800\r\nfinishedOpenFolder = 1\r\n",
                 MakeSettings("/old/", "Old", 90, 800, 1), kSaved,
                 kHead + "[OPTION]\r\nOutFolder = /srv/out/\r\nStudio = Bright\r\n"
                         "ImageQuality = 85\r\nImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n"},
        SaveCase{"FirstGroupAndFirstKeyUpdatedOthersUntouched",
                 kHead + "studio = Stray\r\n[option]\r\nStudio = First\r\nSTUDIO = Second\r\n"
                         "[Option]\r\nImageQuality = 50\r\n",
                 MakeSettings("", "First", 70, 2000, 0), kSaved,
                 kHead + "studio = Stray\r\n[option]\r\nStudio = Bright\r\nSTUDIO = Second\r\n"
                         "OutFolder = /srv/out/\r\nImageQuality = 85\r\nImageMaxWidth = 3000\r\n"
                         "FinishedOpenFolder = 1\r\n[Option]\r\nImageQuality = 50\r\n"},
        SaveCase{"BlanksAndTabs",
                 kHead + "[Option]\r\n   Studio\t=\t Bright Side  \r\n\tImageQuality  =   90\r\n",
                 MakeSettings("", "Bright Side  ", 90, 2000, 0),
                 MakeSettings("/srv/out/", "Bright Side  ", 90, 3000, 1),
                 kHead +
                     "[Option]\r\nStudio = Bright Side  \r\nImageQuality = 90\r\n"
                     "OutFolder = /srv/out/\r\nImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n"},
        SaveCase{"NonNumbersAndNumbersWithText",
                 kHead + "[Option]\r\nImageQuality = high\r\nImageMaxWidth =\r\n"
                         "FinishedOpenFolder = 1 please\r\n",
                 MakeSettings("", "", 0, 0, 1), kSaved,
                 kHead + "[Option]\r\nImageQuality = 85\r\nImageMaxWidth = 3000\r\n"
                         "FinishedOpenFolder = 1\r\nOutFolder = /srv/out/\r\nStudio = Bright\r\n"},
        SaveCase{
            "IntegersBeyond32BitsClamped",
            kHead + "[Option]\r\nImageQuality = 99999999999\r\nImageMaxWidth = -4294967296\r\n",
            MakeSettings("", "", INT_MAX, INT_MIN, 0), MakeSettings("", "", INT_MAX, INT_MIN, 0),
            kHead + "[Option]\r\nImageQuality = 2147483647\r\nImageMaxWidth = -2147483648\r\n"
                    "OutFolder = \r\nStudio = \r\nFinishedOpenFolder = 0\r\n"},
        SaveCase{"Latin1FileWrittenBackAsUtf8",
                 "[Option]\r\nStudio = Caf\xE9 M\xFCller\r\n;gr\xFC\xDF\r\n",
                 MakeSettings("", "Caf\xC3\xA9 M\xC3\xBCller", 70, 2000, 0),
                 MakeSettings("", "Caf\xC3\xA9 M\xC3\xBCller", 70, 2000, 0),
                 kHead +
                     "[Option]\r\nStudio = Caf\xC3\xA9 M\xC3\xBCller\r\n; gr\xC3\xBC\xC3\x9F\r\n"
                     "OutFolder = \r\nImageQuality = 70\r\nImageMaxWidth = 2000\r\n"
                     "FinishedOpenFolder = 0\r\n"},
        SaveCase{"Utf8FileWithoutSignature", "[Option]\nStudio = \xE5\x85\x89\xE5\xBD\xB1\n",
                 MakeSettings("", "\xE5\x85\x89\xE5\xBD\xB1", 70, 2000, 0),
                 MakeSettings("", "\xE5\x85\x89\xE5\xBD\xB1", 70, 2000, 0),
                 kHead + "[Option]\r\nStudio = \xE5\x85\x89\xE5\xBD\xB1\r\nOutFolder = \r\n"
                         "ImageQuality = 70\r\nImageMaxWidth = 2000\r\nFinishedOpenFolder = 0\r\n"},
        SaveCase{
            "LfOnlyAndEmptyLines",
            "\n\n[Option]\n\nOutFolder = /old/\n\n\nStudio = Old\r\r\n\n \t \n[Other]\nk = v\n\n",
            MakeSettings("/old/", "Old", 70, 2000, 0), kSaved,
            kHead + "[Option]\r\nOutFolder = /srv/out/\r\nStudio = Bright\r\nImageQuality = 85\r\n"
                    "ImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n[Other]\r\nk = v\r\n"},
        SaveCase{"LineWithoutEqualsKeptInPlace",
                 kHead + "[Option]\r\n  just a note\t\r\nStudio = Old\r\nImageQuality\r\n",
                 MakeSettings("", "Old", 70, 2000, 0), kSaved,
                 kHead + "[Option]\r\n  just a note\t\r\nStudio = Bright\r\nImageQuality\r\n"
                         "OutFolder = /srv/out/\r\nImageQuality = 85\r\nImageMaxWidth = 3000\r\n"
                         "FinishedOpenFolder = 1\r\n"},
        SaveCase{"HeaderTailDroppedMissingBracketAndCommentBlankAdded",
                 kHead + "[Option] tail\r\n;note\r\n[Other\r\nk = v\r\n", Settings{}, kSaved,
                 kHead + "[Option]\r\n; note\r\nOutFolder = /srv/out/\r\nStudio = Bright\r\n"
                         "ImageQuality = 85\r\nImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n"
                         "[Other]\r\nk = v\r\n"},
        SaveCase{"LineBreaksInTextsLoseNothingElse",
                 kHead + "[Option]\r\nOutFolder = /old/\r\n; keep me\r\n[Other]\r\nk = v\r\n",
                 MakeSettings("/old/", "", 70, 2000, 0),
                 MakeSettings("/new\n/", "Two\r\nLines", 85, 3000, 1),
                 kHead + "[Option]\r\nOutFolder = /old/\r\n; keep me\r\nImageQuality = 85\r\n"
                         "ImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n[Other]\r\nk = v\r\n",
                 MakeSettings("/old/", "", 85, 3000, 1)},
        SaveCase{"ReadOnlyFileStaysUnchanged", kHead + "[Option]\r\nStudio = Old\r\n; keep\r\n",
                 MakeSettings("", "Old", 70, 2000, 0), kSaved,
                 kHead + "[Option]\r\nStudio = Old\r\n; keep\r\n", std::nullopt, true}),
    [](const auto& row) { return std::string(row.param.name); });

// The sandbox of a permission case: a folder the unprivileged user owns, inside a folder that
// user may pass through.
struct PermissionCase {
  const char* name;
  std::optional<mode_t> file_mode;  // nullopt: no file
  mode_t folder_mode;
  bool written;
};

class PermissionTest : public ::testing::TestWithParam<PermissionCase> {};

TEST_P(PermissionTest, WritesOnlyWhereAllowed) {
  const PermissionCase& c = GetParam();
  TempDir dir;
  const std::string box = dir / "box";
  const std::string path = box + "/Lormex.pref";
  const std::string before = kHead + "[Option]\r\nOutFolder = /old/\r\nStudio = Old\r\n";
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(box.c_str(), 0755), 0);
  GiveToPermissionUser(box);
  if (c.file_mode) {
    WriteFile(path, before);
    GiveToPermissionUser(path);
    ASSERT_EQ(::chmod(path.c_str(), *c.file_mode), 0);
  }
  // The child proves that permissions bind in a folder of its own; `box` may be read-only.
  const std::string scratch = dir / "scratch";
  ASSERT_EQ(::mkdir(scratch.c_str(), 0755), 0);
  GiveToPermissionUser(scratch);
  ASSERT_EQ(::chmod(box.c_str(), c.folder_mode), 0);

  const std::optional<int> result = RunBoundByPermissions(scratch, [&] {
    const bool saved = SaveSettings(kSaved, path);
    const bool loaded_old = LoadSettings(path) == MakeSettings("/old/", "Old", 70, 2000, 0);
    return (saved ? 1 : 0) | (loaded_old ? 2 : 0);
  });
  if (!result) GTEST_SKIP() << "cannot run without the right to ignore file permissions";

  ASSERT_EQ(::chmod(box.c_str(), 0755), 0);
  const bool kept_mode = c.file_mode && !c.written;
  if (kept_mode) {
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, *c.file_mode);
    // Lets the test read the file back when it does not run as root.
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  }
  EXPECT_EQ((*result & 1) != 0, c.written);
  if (c.written) {
    EXPECT_EQ(ReadFile(path), kHead + kSavedOption);
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, testing::PermissionUser());
  } else if (c.file_mode) {
    EXPECT_EQ(ReadFile(path), before);
    // A file the user may not read loads as missing.
    EXPECT_EQ((*result & 2) != 0, (*c.file_mode & 0400) != 0);
  } else {
    EXPECT_FALSE(FileExists(path));
  }
  EXPECT_EQ(ListFolder(box).size(), c.file_mode || c.written ? 1u : 0u)
      << "a temporary file remains";
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PermissionTest,
    ::testing::Values(
        // Shows that the child can write at all, so that the refusals below mean something.
        PermissionCase{"WritableFileInWritableFolder", 0644, 0755, true},
        PermissionCase{"MissingFileInWritableFolder", std::nullopt, 0755, true},
        PermissionCase{"ReadOnlyFileInWritableFolder", 0444, 0755, false},
        PermissionCase{"WritableFileInReadOnlyFolder", 0644, 0555, false},
        PermissionCase{"MissingFileInReadOnlyFolder", std::nullopt, 0555, false},
        PermissionCase{"UnreadableFileIsNotOverwritten", 0200, 0755, false},
        PermissionCase{"WritableFileInUnlistableFolder", 0644, 0311, true}),
    [](const auto& row) { return std::string(row.param.name); });

struct ModeCase {
  const char* name;
  std::optional<mode_t> old_mode;  // nullopt: no file
  mode_t umask;
  mode_t expected;
};

class ModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeTest, KeepsTheOldPermissionBits) {
  const ModeCase& c = GetParam();
  TempDir dir;
  const std::string path = dir / "Lormex.pref";
  if (c.old_mode) {
    WriteFile(path, "[Option]\n");
    ASSERT_EQ(::chmod(path.c_str(), *c.old_mode), 0);
  }
  const mode_t previous = ::umask(c.umask);
  const bool saved = SaveSettings(kSaved, path);
  ::umask(previous);
  ASSERT_TRUE(saved);
  struct stat status;
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeTest,
    ::testing::Values(ModeCase{"NewFileWithUsualUmask", std::nullopt, 022, 0644},
                      ModeCase{"NewFileWithPrivateUmask", std::nullopt, 077, 0600},
                      ModeCase{"NewFileWithoutUmask", std::nullopt, 0, 0666},
                      ModeCase{"OldGroupReadable", 0640, 077, 0640},
                      ModeCase{"OldOthersWritable", 0666, 022, 0666},
                      ModeCase{"OldOwnerOnly", 0600, 0, 0600}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PreferenceFileTest, KeepsTheOwnerOfAFileRootSaves) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may save a file it does not own";
  TempDir dir;
  const std::string path = dir / "Lormex.pref";
  WriteFile(path, "[Option]\n");
  ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  ASSERT_TRUE(SaveSettings(kSaved, path));
  struct stat status;
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 65534u);
  EXPECT_EQ(status.st_gid, 65534u);
}

struct LinkCase {
  const char* name;
  // The link's name and its content, in the order they are made; the first one is the
  // preference file.
  std::vector<std::pair<std::string, std::string>> links;
  const char* target;  // relative to the test folder; nullptr: the links never end in a file
  bool target_exists;
};

class LinkTest : public ::testing::TestWithParam<LinkCase> {};

TEST_P(LinkTest, WritesThroughToTheTarget) {
  const LinkCase& c = GetParam();
  TempDir dir;
  MakeFolders(dir / "work");
  MakeFolders(dir / "real");
  const std::string old = kHead + "[Other]\r\nk = v\r\n";
  if (c.target != nullptr && c.target_exists) WriteFile(dir / c.target, old);
  for (const auto& [name, content] : c.links) {
    const std::string resolved = content.front() == '@' ? dir / content.substr(1) : content;
    ASSERT_EQ(::symlink(resolved.c_str(), (dir / name).c_str()), 0) << name;
  }
  const std::string path = dir / c.links.front().first;

  const bool saved = SaveSettings(kSaved, path);
  for (const auto& link : c.links) {
    struct stat status;
    ASSERT_EQ(::lstat((dir / link.first).c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << link.first << " was replaced";
  }
  if (c.target == nullptr) {
    EXPECT_FALSE(saved);
    EXPECT_EQ(ListFolder(dir / "real"), std::vector<std::string>{});
    return;
  }
  ASSERT_TRUE(saved);
  const std::string expected = c.target_exists ? old + kSavedOption : kHead + kSavedOption;
  EXPECT_EQ(ReadFile(dir / c.target), expected);
  EXPECT_EQ(LoadSettings(path), kSaved);
  EXPECT_EQ(ListFolder(dir / "real").size(), 1u) << "a temporary file remains";
}

INSTANTIATE_TEST_SUITE_P(
    Links, LinkTest,
    ::testing::Values(
        LinkCase{"Absolute", {{"work/Lormex.pref", "@real/actual.pref"}}, "real/actual.pref", true},
        LinkCase{
            "Relative", {{"work/Lormex.pref", "../real/actual.pref"}}, "real/actual.pref", true},
        LinkCase{"Chain",
                 {{"work/Lormex.pref", "second"}, {"work/second", "../real/actual.pref"}},
                 "real/actual.pref",
                 true},
        LinkCase{"DanglingCreatesTheTarget",
                 {{"work/Lormex.pref", "../real/new.pref"}},
                 "real/new.pref",
                 false},
        LinkCase{"LoopIsRefused",
                 {{"work/Lormex.pref", "loop"}, {"work/loop", "Lormex.pref"}},
                 nullptr,
                 false}),
    [](const auto& row) { return std::string(row.param.name); });

// The file name has no folder: each load and save looks in the working directory of that moment.
TEST(PreferenceFileTest, UsesTheWorkingDirectory) {
  TempDir first;
  TempDir second;
  char previous[PATH_MAX];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);

  ASSERT_EQ(::chdir(first.path().c_str()), 0);
  EXPECT_EQ(LoadSettings(), Settings{});
  EXPECT_EQ(ListFolder(first.path()), std::vector<std::string>{}) << "loading created a file";
  EXPECT_TRUE(SaveSettings(kSaved));

  ASSERT_EQ(::chdir(second.path().c_str()), 0);
  EXPECT_EQ(LoadSettings(), Settings{});
  EXPECT_TRUE(SaveSettings(MakeSettings("", "Second", 70, 2000, 0)));

  ASSERT_EQ(::chdir(previous), 0);
  EXPECT_EQ(ReadFile(first / kPreferenceFileName), kHead + kSavedOption);
  EXPECT_EQ(LoadSettings(second / kPreferenceFileName), MakeSettings("", "Second", 70, 2000, 0));
}

TEST(PreferenceFileTest, OtherThingsInTheFilesPlaceGiveDefaultsAndAreNotReplaced) {
  TempDir dir;
  const std::string folder = dir / "Lormex.pref";
  MakeFolders(folder);
  EXPECT_EQ(LoadSettings(folder), Settings{});
  EXPECT_FALSE(SaveSettings(kSaved, folder));

  const std::string fifo = dir / "fifo.pref";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(LoadSettings(fifo), Settings{});
  EXPECT_FALSE(SaveSettings(kSaved, fifo));
  struct stat status;
  ASSERT_EQ(::lstat(fifo.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));

  EXPECT_FALSE(SaveSettings(kSaved, dir / "missing/Lormex.pref"));
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"Lormex.pref", "fifo.pref"}));
}

}  // namespace
}  // namespace lormex
