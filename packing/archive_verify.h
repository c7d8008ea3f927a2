#ifndef LORMEX_PACKING_ARCHIVE_VERIFY_H_
#define LORMEX_PACKING_ARCHIVE_VERIFY_H_

#include <cstdint>
#include <span>
#include <string>

namespace lormex {

// What was handed to the archive for one entry: its name as stored, the number of bytes and their
// CRC-32 (zlib's crc32).
struct WrittenEntry {
  std::string name;
  std::uint64_t size = 0;
  std::uint32_t crc32 = 0;
  friend bool operator==(const WrittenEntry&, const WrittenEntry&) = default;
};

// Reads the ZIP archive open at `fd` back on its own, independently of the library that wrote
// it, and checks that it holds exactly `expected`, in that order: the central directory ends the
// file, every entry's local and central headers agree on its name (byte for byte, with the UTF-8
// flag set exactly for names outside ASCII), every entry inflates completely and its size and
// CRC-32 match both its headers and `expected`. False with a short reason otherwise. Reads with
// pread only, so the file offset is left alone. Thread-safe for different files.
bool VerifyArchive(int fd, std::span<const WrittenEntry> expected, std::string* error);

// The same for the archive file at `path`.
bool VerifyArchive(const std::string& path, std::span<const WrittenEntry> expected,
                   std::string* error);

}  // namespace lormex

#endif  // LORMEX_PACKING_ARCHIVE_VERIFY_H_
