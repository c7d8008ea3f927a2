#include "packing/archive_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "packing/album_walk.h"
#include "tests/packing/archive_test_support.h"
#include "tests/packing/zip_headers.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::AsBytes;
using testing::ListFolder;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr std::uint16_t kUtf8Flag = 1u << 11;

bool HasNonAscii(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// Where the archive's bytes live while it is written.
enum class Storage { kUnnamedFile, kNamedTemporary };

std::unique_ptr<ArchiveWriter> Create(const std::string& path, Storage storage,
                                      std::string* error) {
  ArchiveWriterTestHooks hooks;
  hooks.force_named_temporary = storage == Storage::kNamedTemporary;
  return ArchiveWriter::CreateArchiveForTesting(path, error, hooks);
}

std::string StorageName(const ::testing::TestParamInfo<Storage>& info) {
  return info.param == Storage::kUnnamedFile ? "UnnamedFile" : "NamedTemporary";
}

TEST(ArchiveWriterTest, WritesEntriesInOrderWithNamesFlagsAndDeflate) {
  TempDir dir;
  const std::string big = testing::RandomBytes(5 * 1024 * 1024 + 17, 1);  // several pieces
  WriteFile(dir / "src/notes.txt", "hello hello hello");
  WriteFile(dir / "src/empty", "");
  WriteFile(dir / "src/big.bin", big);
  struct Added {
    std::string name;
    std::string data;
    std::string source;  // empty for a memory block
  };
  const std::vector<Added> added = {
      {"Ceremony/IMG_0101.jpg", "\xFF\xD8 pretend jpeg", ""},
      {"notes.txt", "hello hello hello", dir / "src/notes.txt"},
      {"空文件.txt", "", dir / "src/empty"},
      {"empty-block", "", ""},
      {"%D5%D5/big.bin", big, dir / "src/big.bin"},
      {"婚礼/照片 01.jpg", "picture", ""},
  };

  std::string error;
  auto writer = ArchiveWriter::CreateArchive(dir / "out.zip", &error);
  ASSERT_NE(writer, nullptr) << error;
  for (const Added& a : added) {
    const bool ok = a.source.empty() ? writer->AddArchiveMemory(AsBytes(a.data), a.name, &error)
                                     : writer->AddArchiveFile(a.source, a.name, &error);
    ASSERT_TRUE(ok) << a.name << ": " << error;
  }
  // Nothing appears under the archive's name before it is finished.
  EXPECT_FALSE(testing::FileExists(dir / "out.zip"));
  ASSERT_TRUE(writer->CloseArchive(&error)) << error;
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"out.zip", "src"}));

  ASSERT_EQ(writer->entries().size(), added.size());
  for (std::size_t i = 0; i < added.size(); ++i) {
    EXPECT_EQ(writer->entries()[i],
              (WrittenEntry{added[i].name, added[i].data.size(), testing::Crc32(added[i].data)}));
  }
  const testing::ZipLayout layout = testing::ReadZipLayout(ReadFile(dir / "out.zip"));
  ASSERT_TRUE(layout.ok) << layout.problem;
  EXPECT_TRUE(layout.ends_with_end_record) << "padding after the end record";
  ASSERT_EQ(layout.entries.size(), added.size());
  for (std::size_t i = 0; i < added.size(); ++i) {
    const testing::ZipHeader& h = layout.entries[i];
    SCOPED_TRACE(added[i].name);
    EXPECT_EQ(h.name, added[i].name);
    EXPECT_EQ(h.local_name, added[i].name);
    EXPECT_EQ((h.flags & kUtf8Flag) != 0, HasNonAscii(added[i].name));
    EXPECT_EQ((h.local_flags & kUtf8Flag) != 0, HasNonAscii(added[i].name));
    EXPECT_EQ(h.flags & 1, 0);  // not encrypted
    EXPECT_EQ(h.method, 8);
    EXPECT_EQ(h.local_method, 8);
    EXPECT_EQ(h.size, added[i].data.size());
    EXPECT_FALSE(h.has_zip64_extra);
    if (added[i].data.empty()) {
      EXPECT_EQ(h.compressed_size, 2u);
    }
    EXPECT_TRUE(testing::ReadEntryData(dir / "out.zip", static_cast<int>(i)) == added[i].data);
  }
  EXPECT_TRUE(VerifyArchive(dir / "out.zip", writer->entries(), &error)) << error;
  testing::ExpectReadersAccept(dir / "out.zip");
}

struct StampCase {
  const char* label;
  mode_t mode;
  int year, month, day, hour, minute, second;
};

class EntryStampTest : public ::testing::TestWithParam<StampCase> {};

// A stored file carries its own permission bits and modification time; a memory block carries
// rw-r--r-- and the earliest ZIP date.
TEST_P(EntryStampTest, StoredFilesKeepModeAndTimeMemoryBlocksGetDefaults) {
  const StampCase& c = GetParam();
  TempDir dir;
  WriteFile(dir / "file", "content");
  ASSERT_EQ(chmod((dir / "file").c_str(), c.mode), 0);
  std::tm local{};
  local.tm_year = c.year - 1900;
  local.tm_mon = c.month - 1;
  local.tm_mday = c.day;
  local.tm_hour = c.hour;
  local.tm_min = c.minute;
  local.tm_sec = c.second;
  local.tm_isdst = -1;
  const timespec times[2] = {{mktime(&local), 0}, {mktime(&local), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir / "file").c_str(), times, 0), 0);

  std::string error;
  auto writer = ArchiveWriter::CreateArchive(dir / "out.zip", &error);
  ASSERT_NE(writer, nullptr) << error;
  ASSERT_TRUE(writer->AddArchiveFile(dir / "file", "file", &error)) << error;
  ASSERT_TRUE(writer->AddArchiveMemory(AsBytes("jpeg"), "picture.jpg", &error)) << error;
  ASSERT_TRUE(writer->CloseArchive(&error)) << error;

  const testing::ZipLayout layout = testing::ReadZipLayout(ReadFile(dir / "out.zip"));
  ASSERT_TRUE(layout.ok) << layout.problem;
  ASSERT_EQ(layout.entries.size(), 2u);
  const testing::ZipHeader& file = layout.entries[0];
  EXPECT_EQ(file.external_attributes >> 16, S_IFREG | c.mode);
  EXPECT_EQ(file.made_by >> 8, 3);  // Unix, so that the mode is read
  EXPECT_EQ(file.dos_date, ((c.year - 1980) << 9) | (c.month << 5) | c.day);
  EXPECT_EQ(file.dos_time, (c.hour << 11) | (c.minute << 5) | (c.second / 2));
  const testing::ZipHeader& memory = layout.entries[1];
  EXPECT_EQ(memory.external_attributes >> 16, S_IFREG | 0644u);
  EXPECT_EQ(memory.dos_date, (0 << 9) | (1 << 5) | 1);  // 1980-01-01
  EXPECT_EQ(memory.dos_time, 0);
  testing::ExpectReadersAccept(dir / "out.zip");
}

INSTANTIATE_TEST_SUITE_P(Stamps, EntryStampTest,
                         ::testing::Values(StampCase{"Usual", 0644, 2016, 5, 20, 10, 30, 42},
                                           StampCase{"Private", 0600, 2001, 2, 3, 4, 5, 6},
                                           StampCase{"Executable", 0755, 1999, 12, 31, 23, 59, 58},
                                           StampCase{"GroupOnly", 0750, 2024, 2, 29, 0, 0, 0}),
                         [](const auto& test) { return std::string(test.param.label); });

class ArchiveStorageTest : public ::testing::TestWithParam<Storage> {};

TEST_P(ArchiveStorageTest, ReplacesAnOlderArchiveOnlyWhenFinished) {
  TempDir dir;
  WriteFile(dir / "album/a.txt", "new content");
  WriteFile(dir / "out.zip", "an older archive");
  struct stat older;
  ASSERT_EQ(stat((dir / "out.zip").c_str(), &older), 0);

  std::string error;
  auto writer = Create(dir / "out.zip", GetParam(), &error);
  ASSERT_NE(writer, nullptr) << error;
  EXPECT_TRUE(writer->IsOwnArchive(older.st_dev, older.st_ino));
  EXPECT_FALSE(writer->AddArchiveFile(dir / "out.zip", "out.zip", &error));
  ASSERT_TRUE(writer->AddArchiveFile(dir / "album/a.txt", "a.txt", &error)) << error;
  EXPECT_EQ(ReadFile(dir / "out.zip"), "an older archive");
  ASSERT_TRUE(writer->CloseArchive(&error)) << error;

  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"album", "out.zip"}));
  EXPECT_EQ(testing::ReadEntryData(dir / "out.zip", 0), "new content");
  EXPECT_TRUE(VerifyArchive(dir / "out.zip", writer->entries(), &error)) << error;
  ASSERT_EQ(writer->entries().size(), 1u);
  // Written again, the archive holds the same entries (names, order, data).
  auto again = Create(dir / "out.zip", GetParam(), &error);
  ASSERT_NE(again, nullptr) << error;
  ASSERT_TRUE(again->AddArchiveFile(dir / "album/a.txt", "a.txt", &error)) << error;
  ASSERT_TRUE(again->CloseArchive(&error)) << error;
  EXPECT_EQ(again->entries(), writer->entries());
  EXPECT_TRUE(VerifyArchive(dir / "out.zip", writer->entries(), &error)) << error;
  testing::ExpectReadersAccept(dir / "out.zip");
}

// The output folder may lie inside the album: the walk then meets the archive being written
// (as a hidden temporary file) and the older archive it replaces; neither may become an entry.
TEST_P(ArchiveStorageTest, NeverStoresItselfWhenWrittenInsideTheAlbum) {
  TempDir dir;
  const std::string album = dir / "album/";
  WriteFile(album + "a.jpg", "a");
  WriteFile(album + "out/b.txt", "b");
  WriteFile(album + "out/pack.zip", "older archive");

  std::string error;
  auto writer = Create(album + "out/pack.zip", GetParam(), &error);
  ASSERT_NE(writer, nullptr) << error;
  AlbumWalk walk(album);
  WalkEntry entry;
  std::vector<std::string> stored;
  int skipped = 0;
  while (walk.Next(&entry)) {
    if (writer->IsOwnArchive(entry.device, entry.inode)) {
      ++skipped;
      // Asked anyway, the writer refuses by itself.
      EXPECT_FALSE(
          writer->AddArchiveFileAt(entry.folder_fd, entry.name, entry.relative_path, &error));
      continue;
    }
    ASSERT_TRUE(writer->AddArchiveFileAt(entry.folder_fd, entry.name, entry.relative_path, &error))
        << error;
    stored.push_back(entry.relative_path);
  }
  EXPECT_EQ(skipped, GetParam() == Storage::kNamedTemporary ? 2 : 1);
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(stored, (std::vector<std::string>{"a.jpg", "out/b.txt"}));
  ASSERT_TRUE(writer->CloseArchive(&error)) << error;
  EXPECT_TRUE(VerifyArchive(album + "out/pack.zip", writer->entries(), &error)) << error;
  testing::ExpectReadersAccept(album + "out/pack.zip");
}

TEST_P(ArchiveStorageTest, ReadBackCheckAcceptsAGoodArchive) {
  TempDir dir;
  WriteFile(dir / "f", testing::RandomBytes(3 << 20, 5));
  std::string error;
  auto writer = Create(dir / "out.zip", GetParam(), &error);
  ASSERT_NE(writer, nullptr) << error;
  ASSERT_TRUE(writer->AddArchiveFile(dir / "f", "f", &error)) << error;
  ASSERT_TRUE(writer->AddArchiveMemory(AsBytes(""), "e", &error)) << error;
  ASSERT_TRUE(writer->CloseArchive(&error, ArchiveWriter::CloseCheck::kReadBack)) << error;
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"f", "out.zip"}));
  // A closed archive takes nothing more.
  EXPECT_FALSE(writer->AddArchiveMemory(AsBytes("x"), "x", &error));
  EXPECT_FALSE(writer->AddArchiveFile(dir / "f", "f2", &error));
  EXPECT_FALSE(writer->CloseArchive(&error));
  EXPECT_EQ(ListFolder(dir.path()), (std::vector<std::string>{"f", "out.zip"}));
  testing::ExpectReadersAccept(dir / "out.zip");
}

INSTANTIATE_TEST_SUITE_P(Storages, ArchiveStorageTest,
                         ::testing::Values(Storage::kUnnamedFile, Storage::kNamedTemporary),
                         StorageName);

// The read-back check must catch what a damaged or different archive looks like.
TEST(VerifyArchiveTest, RejectsArchivesThatDoNotHoldWhatWasWritten) {
  TempDir dir;
  const std::string data = testing::RandomBytes(300000, 9);
  WriteFile(dir / "f", data);
  std::string error;
  auto writer = ArchiveWriter::CreateArchive(dir / "good.zip", &error);
  ASSERT_NE(writer, nullptr) << error;
  ASSERT_TRUE(writer->AddArchiveFile(dir / "f", "f", &error)) << error;
  ASSERT_TRUE(writer->AddArchiveMemory(AsBytes("照片"), "照片.jpg", &error)) << error;
  ASSERT_TRUE(writer->CloseArchive(&error)) << error;
  const std::vector<WrittenEntry> written = writer->entries();
  ASSERT_TRUE(VerifyArchive(dir / "good.zip", written, &error)) << error;
  const std::string good = ReadFile(dir / "good.zip");

  struct Damage {
    const char* label;
    std::function<void(std::string* bytes, std::vector<WrittenEntry>* expected)> apply;
  };
  const Damage damages[] = {
      {"FlippedDataByte", [](std::string* b, auto*) { (*b)[1000] ^= 0x01; }},
      {"Truncated", [](std::string* b, auto*) { b->resize(b->size() - 1); }},
      {"Padded", [](std::string* b, auto*) { b->append(512, '\0'); }},
      {"CutInHalf", [](std::string* b, auto*) { b->resize(b->size() / 2); }},
      {"Empty", [](std::string* b, auto*) { b->clear(); }},
      {"OtherName", [](auto*, std::vector<WrittenEntry>* e) { (*e)[0].name = "g"; }},
      {"OtherSize", [](auto*, std::vector<WrittenEntry>* e) { (*e)[0].size += 1; }},
      {"OtherChecksum", [](auto*, std::vector<WrittenEntry>* e) { (*e)[1].crc32 ^= 1; }},
      {"MissingEntry",
       [](auto*, std::vector<WrittenEntry>* e) {
         e->push_back({"h", 0, 0});
       }},
      {"ExtraEntry", [](auto*, std::vector<WrittenEntry>* e) { e->pop_back(); }},
      {"SwappedOrder", [](auto*, std::vector<WrittenEntry>* e) { std::swap((*e)[0], (*e)[1]); }},
  };
  for (const Damage& d : damages) {
    std::string bytes = good;
    std::vector<WrittenEntry> expected = written;
    d.apply(&bytes, &expected);
    WriteFile(dir / "bad.zip", bytes);
    error.clear();
    EXPECT_FALSE(VerifyArchive(dir / "bad.zip", expected, &error)) << d.label;
    EXPECT_FALSE(error.empty()) << d.label;
  }
  EXPECT_FALSE(VerifyArchive(dir / "missing.zip", written, &error));
}

}  // namespace
}  // namespace lormex
