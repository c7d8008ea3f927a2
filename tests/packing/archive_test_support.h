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

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_PACKING_ARCHIVE_TEST_SUPPORT_H_
