#ifndef LORMEX_TESTS_PACKING_ARCHIVE_TEST_SUPPORT_H_
#define LORMEX_TESTS_PACKING_ARCHIVE_TEST_SUPPORT_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lormex::testing {

// Bytes that deflate cannot shrink, the same for the same seed.
std::string RandomBytes(std::size_t length, std::uint32_t seed);

// The names in a folder (hidden ones included), sorted.
std::vector<std::string> ListFolder(const std::string& folder);

// The data of the entry at `index` of the ZIP archive at `path`, read with libarchive's reader.
std::string ReadEntryData(const std::string& path, int index);

std::uint32_t Crc32(const std::string& bytes);

std::span<const std::uint8_t> AsBytes(const std::string& bytes);

// Fails the test unless three independent readers accept the ZIP archive at `archive`, each under
// LANG=C and under LANG=C.UTF-8: `unzip -tq`, `7zz t` and Python's zipfile (opening it and
// testzip(), which checks every entry's CRC). A reader that is not installed is a failure too.
void ExpectReadersAccept(const std::string& archive);

// A fingerprint of everything below `folder` that packing must leave alone: every name, its type,
// permission bits, size, modification and change times (in nanoseconds), the target of each link
// and the bytes of each file. Links are not followed. Two equal fingerprints mean nothing was
// changed, added, removed or touched. Reaches below the system's path length limit.
std::string TreeFingerprint(const std::string& folder);

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_PACKING_ARCHIVE_TEST_SUPPORT_H_
