#ifndef LORMEX_PACKING_ARCHIVE_WRITER_H_
#define LORMEX_PACKING_ARCHIVE_WRITER_H_

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace lormex {

// A ZIP archive being written by libarchive's ZIP writer: deflate at level 6 for every entry
// (empty ones too), names in UTF-8 with the language-encoding flag where needed, Zip64 only where
// sizes require it. Entries follow each other in the order they are added.
//
// The archive is written whole into an unnamed file in the destination folder and appears under
// its name only when CloseArchive succeeds, replacing any older file of that name. An archive that
// is destroyed without a successful CloseArchive leaves nothing behind. Not thread-safe.
class ArchiveWriter {
 public:
  // Starts a new archive that will be put at `path`. Gives nullptr and the reason in `*error` when
  // the file cannot be created (missing or read-only folder, a name that cannot be a file name).
  static std::unique_ptr<ArchiveWriter> CreateArchive(const std::string& path, std::string* error);

  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Stores the file at `source_path` byte for byte under `entry_name`, with its permission bits
  // and times, streamed in pieces of 2 MiB. False, with the reason, when the file could not be
  // stored whole (unreadable, not a regular file, changed while it was copied); the archive then
  // holds no entry for it, or one that is consistent in itself, and stays usable.
  bool AddArchiveFile(const std::string& source_path, const std::string& entry_name,
                      std::string* error);

  // Stores a block of bytes (a re-encoded picture) under `entry_name`, permission bits rw-r--r--
  // and no times (the ZIP date then reads 1980-01-01 00:00:00).
  bool AddArchiveMemory(std::span<const std::uint8_t> data, const std::string& entry_name,
                        std::string* error);

  // Finishes the archive (central directory), makes it durable and puts it in place. False, with
  // the reason, when any write failed: nothing is then left under the archive's name.
  bool CloseArchive(std::string* error);

  // Identity of the file being written, so that a walk over a folder holding it can skip it.
  dev_t device() const;
  ino_t inode() const;

 private:
  struct Impl;
  explicit ArchiveWriter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace lormex

#endif  // LORMEX_PACKING_ARCHIVE_WRITER_H_
