#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "packing/archive_writer.h"
#include "packing/errno_text.h"
#include "packing/unfinished_files.h"
#include "tests/packing/archive_test_support.h"
#include "tests/packing/unprivileged.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::AsBytes;
using testing::ListFolder;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

enum class Storage { kUnnamedFile, kNamedTemporary };

std::string StorageName(Storage storage) {
  return storage == Storage::kUnnamedFile ? "UnnamedFile" : "NamedTemporary";
}

ArchiveWriterTestHooks HooksFor(Storage storage) {
  ArchiveWriterTestHooks hooks;
  hooks.force_named_temporary = storage == Storage::kNamedTemporary;
  return hooks;
}

std::string SystemText(int error_number) { return SystemErrorText(error_number); }

struct CreateFailure {
  const char* label;
  std::function<std::string(const TempDir&)> path;  // prepares and gives the archive path
};

class CreateFailureTest : public ::testing::TestWithParam<CreateFailure> {};

TEST_P(CreateFailureTest, GivesNoArchiveAndLeavesNothing) {
  TempDir dir;
  WriteFile(dir / "keep.txt", "k");
  const std::string path = GetParam().path(dir);
  const std::vector<std::string> before = ListFolder(dir.path());
  std::string error;
  EXPECT_EQ(ArchiveWriter::CreateArchive(path, &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ListFolder(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CreateFailureTest,
    ::testing::Values(
        CreateFailure{"MissingFolder", [](const TempDir& d) { return d / "gone/a.zip"; }},
        CreateFailure{"FolderOfThatName",
                      [](const TempDir& d) {
                        testing::MakeFolders(d / "a.zip");
                        return d / "a.zip";
                      }},
        CreateFailure{"NameTooLong",
                      [](const TempDir& d) { return d / (std::string(300, 'n') + ".zip"); }},
        CreateFailure{"NameEndsWithSlash", [](const TempDir& d) { return d / "sub/"; }},
        CreateFailure{"DotDot", [](const TempDir& d) { return d / ".."; }},
        CreateFailure{"EmptyPath", [](const TempDir&) { return std::string(); }},
        CreateFailure{"FolderIsAFile", [](const TempDir& d) { return d / "keep.txt/a.zip"; }}),
    [](const auto& test) { return std::string(test.param.label); });

struct WriteFault {
  const char* label;
  std::uint64_t fail_after;  // bytes; kNearEnd fails inside the central directory
  int error_number;
  Storage storage;
};

constexpr std::uint64_t kNearEnd = ~std::uint64_t{0} - 1;

class WriteFaultTest : public ::testing::TestWithParam<WriteFault> {};

// A disk that fills up (or fails) at any point of the archive: a clear failure, the same reason
// for every later call, and afterwards no archive, no older archive and no temporary file.
TEST_P(WriteFaultTest, FailsClearlyAndLeavesNothing) {
  const WriteFault& c = GetParam();
  TempDir dir;
  const std::string source = testing::RandomBytes(3 << 20, 2);  // writes start during adding
  WriteFile(dir / "src/photo.bin", source);
  WriteFile(dir / "pack.zip", "older archive of the same name");

  ArchiveWriterTestHooks hooks = HooksFor(c.storage);
  hooks.fail_writes_after = c.fail_after;
  if (c.fail_after == kNearEnd) {
    // The archive's full size, from a run without faults, minus a few bytes of its end record.
    std::string error;
    auto sizing = ArchiveWriter::CreateArchive(dir / "sizing.zip", &error);
    ASSERT_NE(sizing, nullptr) << error;
    ASSERT_TRUE(sizing->AddArchiveFile(dir / "src/photo.bin", "photo.bin", &error)) << error;
    ASSERT_TRUE(sizing->AddArchiveMemory(AsBytes("jpeg"), "a.jpg", &error)) << error;
    ASSERT_TRUE(sizing->CloseArchive(&error)) << error;
    struct stat status;
    ASSERT_EQ(stat((dir / "sizing.zip").c_str(), &status), 0);
    hooks.fail_writes_after = static_cast<std::uint64_t>(status.st_size) - 10;
    ASSERT_EQ(unlink((dir / "sizing.zip").c_str()), 0);
  }
  hooks.write_errno = c.error_number;

  std::string error;
  auto writer = ArchiveWriter::CreateArchiveForTesting(dir / "pack.zip", &error, hooks);
  ASSERT_NE(writer, nullptr) << error;
  bool added = writer->AddArchiveFile(dir / "src/photo.bin", "photo.bin", &error);
  added = added && writer->AddArchiveMemory(AsBytes("jpeg"), "a.jpg", &error);
  if (!added) {
    EXPECT_NE(error.find(SystemText(c.error_number)), std::string::npos) << error;
    const std::string first = error;
    EXPECT_FALSE(writer->AddArchiveMemory(AsBytes("more"), "b.jpg", &error));
    EXPECT_EQ(error, first);
  }
  EXPECT_FALSE(writer->CloseArchive(&error));
  EXPECT_NE(error.find(SystemText(c.error_number)), std::string::npos) << error;
  writer.reset();
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"src"}));
  EXPECT_EQ(ReadFile(dir / "src/photo.bin"), source);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WriteFaultTest,
    ::testing::Values(WriteFault{"FirstWrite", 0, ENOSPC, Storage::kUnnamedFile},
                      WriteFault{"FirstWriteNamed", 0, ENOSPC, Storage::kNamedTemporary},
                      WriteFault{"InsideEntry", 1500000, ENOSPC, Storage::kUnnamedFile},
                      WriteFault{"InsideEntryNamed", 1500000, ENOSPC, Storage::kNamedTemporary},
                      WriteFault{"InsideEntryIoError", 1500000, EIO, Storage::kUnnamedFile},
                      WriteFault{"CentralDirectory", kNearEnd, ENOSPC, Storage::kUnnamedFile},
                      WriteFault{"CentralDirectoryNamed", kNearEnd, ENOSPC,
                                 Storage::kNamedTemporary}),
    [](const auto& test) { return std::string(test.param.label); });

class StorageTest : public ::testing::TestWithParam<Storage> {};

TEST_P(StorageTest, DestroyedUnfinishedLeavesNothing) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "a");
  WriteFile(dir / "pack.zip", "older archive");
  std::string error;
  auto writer =
      ArchiveWriter::CreateArchiveForTesting(dir / "pack.zip", &error, HooksFor(GetParam()));
  ASSERT_NE(writer, nullptr) << error;
  ASSERT_TRUE(writer->AddArchiveFile(dir / "src/a.txt", "a.txt", &error)) << error;
  const std::vector<std::string> during = ListFolder(dir.path());
  EXPECT_EQ(during.size(), GetParam() == Storage::kNamedTemporary ? 3u : 2u);
  writer.reset();
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"src"}));
}

// Quitting ends the process at once, without destructors: RemoveUnfinishedArchives is all that
// runs, and nothing half-written may stay.
TEST_P(StorageTest, QuittingDuringARunLeavesNoHalfWrittenArchive) {
  TempDir dir;
  WriteFile(dir / "src/a.bin", testing::RandomBytes(3 << 20, 3));
  const Storage storage = GetParam();
  const std::string result = testing::RunInChild([&] {
    std::string error;
    auto writer =
        ArchiveWriter::CreateArchiveForTesting(dir / "pack.zip", &error, HooksFor(storage));
    if (writer == nullptr) return "create failed: " + error;
    if (!writer->AddArchiveFile(dir / "src/a.bin", "a.bin", &error)) return "add: " + error;
    const std::size_t during = ListFolder(dir.path()).size();
    RemoveUnfinishedArchives();
    writer.release();  // the process ends without running destructors
    return "files during the run: " + std::to_string(during);
  });
  EXPECT_EQ(result, storage == Storage::kNamedTemporary ? "files during the run: 2"
                                                        : "files during the run: 1");
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"src"}));
}

TEST_P(StorageTest, ClosingAfterTheTemporaryFileWasRemovedFailsAndLeavesNothing) {
  TempDir dir;
  std::string error;
  auto writer =
      ArchiveWriter::CreateArchiveForTesting(dir / "pack.zip", &error, HooksFor(GetParam()));
  ASSERT_NE(writer, nullptr) << error;
  ASSERT_TRUE(writer->AddArchiveMemory(AsBytes("x"), "x", &error)) << error;
  RemoveUnfinishedArchives();
  const bool closed = writer->CloseArchive(&error);
  // An unnamed file has nothing to remove and is finished as usual; a named one is gone.
  EXPECT_EQ(closed, GetParam() == Storage::kUnnamedFile) << error;
  writer.reset();
  EXPECT_EQ(ListFolder(dir.path()),
            closed ? std::vector<std::string>{"pack.zip"} : std::vector<std::string>{});
  if (closed) testing::ExpectReadersAccept(dir / "pack.zip");
}

INSTANTIATE_TEST_SUITE_P(Storages, StorageTest,
                         ::testing::Values(Storage::kUnnamedFile, Storage::kNamedTemporary),
                         [](const auto& test) { return StorageName(test.param); });

TEST(SourceFaultTest, SpecialAndMissingFilesAreRefusedWithoutBlocking) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  testing::MakeFolders(dir / "folder");
  std::string error;
  auto writer = ArchiveWriter::CreateArchive(dir / "out.zip", &error);
  ASSERT_NE(writer, nullptr) << error;
  struct Case {
    std::string path;
    std::string reason;
  };
  for (const Case& c :
       {Case{dir / "fifo", "不是普通文件"}, Case{dir / "folder", "不是普通文件"},
        Case{"/dev/null", "不是普通文件"}, Case{dir / "missing", SystemText(ENOENT)}}) {
    EXPECT_FALSE(writer->AddArchiveFile(c.path, "x", &error)) << c.path;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.path << ": " << error;
  }
  ASSERT_TRUE(writer->AddArchiveMemory(AsBytes("still usable"), "ok.txt", &error)) << error;
  ASSERT_TRUE(writer->CloseArchive(&error, ArchiveWriter::CloseCheck::kReadBack)) << error;
  ASSERT_EQ(writer->entries().size(), 1u);
  EXPECT_EQ(writer->entries()[0].name, "ok.txt");
  testing::ExpectReadersAccept(dir / "out.zip");
}

struct Change {
  const char* label;
  std::size_t size;  // of the source file
  std::uint64_t at;  // offset before whose read the change happens
  std::function<void(const std::string& path, std::string* content)> apply;
  bool stored_whole;  // expected result of AddArchiveFile
};

class SourceChangeTest : public ::testing::TestWithParam<Change> {};

// A file that changes while it is copied never corrupts the archive: its entry is consistent
// (declared size, checksum of what was written) and the change is reported.
TEST_P(SourceChangeTest, KeepsTheArchiveConsistentAndReportsTheChange) {
  const Change& c = GetParam();
  TempDir dir;
  const std::string original = testing::RandomBytes(c.size, 4);
  WriteFile(dir / "photo.bin", original);
  std::string changed = original;
  ArchiveWriterTestHooks hooks;
  hooks.before_source_read = [&](std::uint64_t offset) {
    if (offset == c.at) c.apply(dir / "photo.bin", &changed);
  };
  std::string error;
  auto writer = ArchiveWriter::CreateArchiveForTesting(dir / "out.zip", &error, hooks);
  ASSERT_NE(writer, nullptr) << error;
  EXPECT_EQ(writer->AddArchiveFile(dir / "photo.bin", "photo.bin", &error), c.stored_whole)
      << error;
  if (!c.stored_whole) {
    EXPECT_NE(error.find("文件在打包时被改动"), std::string::npos) << error;
  }
  ASSERT_TRUE(writer->AddArchiveMemory(AsBytes("after"), "after.txt", &error)) << error;
  ASSERT_TRUE(writer->CloseArchive(&error)) << error;
  ASSERT_TRUE(VerifyArchive(dir / "out.zip", writer->entries(), &error)) << error;
  // What the entry holds: the bytes read, zeros where the file had ended, never more than the
  // size the file had when it was opened.
  std::string expected = changed.substr(0, std::min(changed.size(), original.size()));
  expected.resize(original.size(), '\0');
  const std::string entry = testing::ReadEntryData(dir / "out.zip", 0);
  EXPECT_EQ(entry.size(), original.size());
  EXPECT_TRUE(entry == expected) << "entry differs from the bytes read";
  EXPECT_EQ(testing::ReadEntryData(dir / "out.zip", 1), "after");
  testing::ExpectReadersAccept(dir / "out.zip");
}

void Truncate(const std::string& path, std::string* content, std::size_t size) {
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
  content->resize(size);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SourceChangeTest,
    ::testing::Values(
        Change{"ShrinksToNothing", 3 << 20, 0,
               [](const std::string& p, std::string* c) { Truncate(p, c, 0); }, false},
        Change{"ShrinksDuringSecondPiece", 5 << 20, 2 << 20,
               [](const std::string& p, std::string* c) { Truncate(p, c, 3 << 20); }, false},
        Change{"ShrinksInsideAPiece", 1000, 0,
               [](const std::string& p, std::string* c) { Truncate(p, c, 10); }, false},
        Change{"Grows", 3 << 20, 2 << 20,
               [](const std::string& p, std::string* c) {
                 const std::string more = "appended";
                 const int fd = open(p.c_str(), O_WRONLY | O_APPEND);
                 ASSERT_EQ(write(fd, more.data(), more.size()), 8);
                 close(fd);
                 *c += more;
               },
               false},
        Change{"RewrittenInPlace", 100000, 0,
               [](const std::string& p, std::string* c) {
                 const int fd = open(p.c_str(), O_WRONLY);
                 ASSERT_EQ(pwrite(fd, "XYZ", 3, 0), 3);
                 close(fd);
                 c->replace(0, 3, "XYZ");
                 const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
                 ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
               },
               false},
        Change{"DeletedAfterOpening", 3 << 20, 0,
               [](const std::string& p, std::string*) { ASSERT_EQ(unlink(p.c_str()), 0); }, true}),
    [](const auto& test) { return std::string(test.param.label); });

TEST(UnprivilegedTest, UnreadableFileIsLeftOutAndTheArchiveGoesOn) {
  TempDir dir;
  WriteFile(dir / "album/secret.jpg", "secret");
  WriteFile(dir / "album/open.jpg", "open");
  testing::MakeFolders(dir / "out");
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod((dir / "album/secret.jpg").c_str(), 0), 0);
  ASSERT_EQ(chmod((dir / "out").c_str(), 0777), 0);
  const auto result = testing::RunUnprivileged([&] {
    std::string error;
    auto writer = ArchiveWriter::CreateArchive(dir / "out/pack.zip", &error);
    if (writer == nullptr) return "create: " + error;
    std::string text;
    text += writer->AddArchiveFile(dir / "album/secret.jpg", "secret.jpg", &error) ? "stored\n"
                                                                                   : error + "\n";
    text += writer->AddArchiveFile(dir / "album/open.jpg", "open.jpg", &error) ? "stored\n"
                                                                               : error + "\n";
    text += writer->CloseArchive(&error, ArchiveWriter::CloseCheck::kReadBack) ? "closed\n"
                                                                               : error + "\n";
    for (const auto& entry : writer->entries()) text += entry.name + "\n";
    return text;
  });
  if (!result) GTEST_SKIP() << "cannot switch to an unprivileged user";
  EXPECT_EQ(*result, "无法打开文件：" + SystemText(EACCES) + "\nstored\nclosed\nopen.jpg\n");
  testing::ExpectReadersAccept(dir / "out/pack.zip");
}

TEST(UnprivilegedTest, ReadOnlyFolderGivesNoArchive) {
  TempDir dir;
  testing::MakeFolders(dir / "out");
  WriteFile(dir / "out/pack.zip", "older archive");
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod((dir / "out").c_str(), 0555), 0);
  const auto result = testing::RunUnprivileged([&] {
    std::string error;
    auto writer = ArchiveWriter::CreateArchive(dir / "out/new.zip", &error);
    return writer == nullptr ? error : std::string("created");
  });
  if (!result) GTEST_SKIP() << "cannot switch to an unprivileged user";
  EXPECT_NE(result->find(SystemText(EACCES)), std::string::npos) << *result;
  EXPECT_EQ(ListFolder(dir / "out"), (std::vector<std::string>{"pack.zip"}));
}

class FullDiskTest : public ::testing::TestWithParam<Storage> {};

// A real small file system that fills up: the write error surfaces, the file system is left
// empty and the source is unchanged.
TEST_P(FullDiskTest, SmallFileSystemRunsFullAndIsLeftEmpty) {
  TempDir dir;
  const std::string source = testing::RandomBytes(1 << 20, 6);
  WriteFile(dir / "src/photo.bin", source);
  testing::MakeFolders(dir / "disk");
  const Storage storage = GetParam();
  const std::string result = testing::RunInChild([&]() -> std::string {
    // A mount of its own, which ends with this process.
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", (dir / "disk").c_str(), "tmpfs", 0, "size=64k") != 0) {
      return "skip";
    }
    std::string error;
    auto writer =
        ArchiveWriter::CreateArchiveForTesting(dir / "disk/pack.zip", &error, HooksFor(storage));
    if (writer == nullptr) return "create: " + error;
    std::string text;
    if (!writer->AddArchiveFile(dir / "src/photo.bin", "photo.bin", &error)) text += "add failed\n";
    if (writer->CloseArchive(&error)) return "closed although the disk is full";
    if (error.find(SystemText(ENOSPC)) == std::string::npos) text += "reason: " + error + "\n";
    writer.reset();
    for (const auto& name : ListFolder(dir / "disk")) text += "left: " + name + "\n";
    return text.empty() || text == "add failed\n" ? "ok" : text;
  });
  if (result == "skip") GTEST_SKIP() << "cannot mount a small file system here";
  EXPECT_EQ(result, "ok");
  EXPECT_EQ(ReadFile(dir / "src/photo.bin"), source);
}

INSTANTIATE_TEST_SUITE_P(Storages, FullDiskTest,
                         ::testing::Values(Storage::kUnnamedFile, Storage::kNamedTemporary),
                         [](const auto& test) { return StorageName(test.param); });

}  // namespace
}  // namespace lormex
