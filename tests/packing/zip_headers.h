#ifndef LORMEX_TESTS_PACKING_ZIP_HEADERS_H_
#define LORMEX_TESTS_PACKING_ZIP_HEADERS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace lormex::testing {

// The raw header fields of one entry, as the central directory and the local header give them.
struct ZipHeader {
  std::string name;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t dos_time = 0;
  std::uint16_t dos_date = 0;
  std::uint32_t crc32 = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t size = 0;
  std::uint32_t external_attributes = 0;
  std::uint16_t made_by = 0;
  bool has_zip64_extra = false;
  // The same entry's local header.
  std::string local_name;
  std::uint16_t local_flags = 0;
  std::uint16_t local_method = 0;
};

// What a plain reading of the archive's bytes shows, without any ZIP library.
struct ZipLayout {
  bool ok = false;
  std::string problem;
  // True when the end-of-central-directory record (without comment) closes the file exactly.
  bool ends_with_end_record = false;
  std::vector<ZipHeader> entries;
};

ZipLayout ReadZipLayout(const std::string& archive_bytes);

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_PACKING_ZIP_HEADERS_H_
