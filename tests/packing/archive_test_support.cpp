#include "tests/packing/archive_test_support.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

namespace lormex::testing {

std::string RandomBytes(std::size_t length, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* item = readdir(dir)) {
    const std::string name = item->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadEntryData(const std::string& path, int index) {
  archive* reader = archive_read_new();
  archive_read_support_format_zip(reader);
  std::string data;
  if (archive_read_open_filename(reader, path.c_str(), 1 << 16) != ARCHIVE_OK) {
    ADD_FAILURE() << "cannot open " << path << ": " << archive_error_string(reader);
    archive_read_free(reader);
    return data;
  }
  archive_entry* entry = nullptr;
  // A name that the C locale cannot show gives a warning, not an error.
  for (int i = 0; archive_read_next_header(reader, &entry) >= ARCHIVE_WARN; ++i) {
    if (i != index) continue;
    char buffer[1 << 16];
    la_ssize_t n;
    while ((n = archive_read_data(reader, buffer, sizeof buffer)) > 0) {
      data.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(n, 0) << archive_error_string(reader);
    break;
  }
  archive_read_free(reader);
  return data;
}

std::uint32_t Crc32(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

std::span<const std::uint8_t> AsBytes(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace lormex::testing
