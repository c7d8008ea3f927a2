#ifndef LORMEX_PACKING_ARCHIVE_WRITER_H_
#define LORMEX_PACKING_ARCHIVE_WRITER_H_

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "packing/archive_verify.h"
#include "packing/unfinished_files.h"

namespace lormex {

// Fault seams for tests; a real run uses none of them.
struct ArchiveWriterTestHooks {
  // Write the archive under a hidden temporary name, as on file systems without unnamed files.
  bool force_named_temporary = false;
  // Called before each piece of a source file is read, with the offset of that piece.
  std::function<void(std::uint64_t offset)> before_source_read;
  // Writes to the archive file fail with `write_errno` once this many bytes have been written.
  std::uint64_t fail_writes_after = std::numeric_limits<std::uint64_t>::max();
  int write_errno = ENOSPC;
};

// A ZIP archive being written by libarchive's ZIP writer: deflate at level 6 for every entry
// (empty ones too), names in UTF-8 with the language-encoding flag where needed, Zip64 only where
// sizes require it. Entries follow each other in the order they are added.
//
// The archive is written whole into an unnamed file in the destination folder (or, where the file
// system has none, under a hidden name ".<name>.XXXXXX.part" that RemoveUnfinishedArchives
// knows) and appears under its name only when CloseArchive succeeds, replacing any older file of
// that name. When the archive cannot be finished (CreateArchive, a write or CloseArchive fails,
// or the writer is destroyed without a successful CloseArchive) nothing is left under its name:
// an older archive of that name is removed too, so that it cannot pass for this run's result.
// Reasons are short texts for the user. Not thread-safe; use one writer from one thread.
class ArchiveWriter {
 public:
  // Starts a new archive that will be put at `path`. Gives nullptr and the reason in `*error` when
  // the file cannot be created (missing or read-only folder, a name that cannot be a file name,
  // a folder of that name).
  static std::unique_ptr<ArchiveWriter> CreateArchive(const std::string& path, std::string* error);
  static std::unique_ptr<ArchiveWriter> CreateArchiveForTesting(const std::string& path,
                                                                std::string* error,
                                                                ArchiveWriterTestHooks hooks);

  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Stores the regular file at `source_path` byte for byte under `entry_name` (UTF-8, see
  // EntryName), with its permission bits and times, streamed in pieces of 2 MiB. False, with the
  // reason, when the file was not stored whole: then either the archive holds no entry for it
  // (unreadable, not a regular file, the archive itself; a FIFO never blocks) or, when the file
  // changed while it was copied, an entry that is consistent in itself (a file that shrank is
  // padded with zeros to the size it had when it was opened). The archive stays usable unless
  // writing the archive itself failed; then every later call fails with that reason.
  bool AddArchiveFile(const std::string& source_path, const std::string& entry_name,
                      std::string* error);

  // The same for the file `name` in the folder open at `folder_fd` (or a path relative to the
  // working folder with AT_FDCWD), which reaches files below the system's path length limit.
  bool AddArchiveFileAt(int folder_fd, const std::string& name, const std::string& entry_name,
                        std::string* error);

  // Stores a block of bytes (a re-encoded picture) under `entry_name`, permission bits rw-r--r--
  // and no times (the ZIP date then reads 1980-01-01 00:00:00).
  bool AddArchiveMemory(std::span<const std::uint8_t> data, const std::string& entry_name,
                        std::string* error);

  // How much CloseArchive checks before the archive takes its name.
  enum class CloseCheck { kNone, kReadBack };

  // Finishes the archive (central directory), makes it durable and puts it in place. With
  // kReadBack the finished file is first read back with VerifyArchive against entries(). False,
  // with the reason, when any write or check failed: nothing is then left under the archive's
  // name. Call at most once.
  bool CloseArchive(std::string* error, CloseCheck check = CloseCheck::kNone);

  // True once writing the archive itself has failed (a full disk, an I/O error): every later
  // add fails and the archive can no longer be finished.
  bool Lost() const;

  // Name, size and CRC-32 of every entry written so far, in archive order.
  const std::vector<WrittenEntry>& entries() const;

  // Identity of the file being written, so that a walk over a folder holding it can skip it.
  dev_t device() const;
  ino_t inode() const;

  // True for the file being written and for the older archive at the same name that it will
  // replace: neither may become an entry. AddArchiveFile refuses both by itself.
  bool IsOwnArchive(dev_t device, ino_t inode) const;

 private:
  struct Impl;
  explicit ArchiveWriter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace lormex

#endif  // LORMEX_PACKING_ARCHIVE_WRITER_H_
