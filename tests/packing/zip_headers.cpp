#include "tests/packing/zip_headers.h"

namespace lormex::testing {
namespace {

std::uint64_t Le(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

}  // namespace

ZipLayout ReadZipLayout(const std::string& bytes) {
  ZipLayout layout;
  const std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
  if (end == std::string::npos || bytes.size() - end < 22) {
    layout.problem = "no end record";
    return layout;
  }
  layout.ends_with_end_record = end + 22 == bytes.size() && Le(bytes, end + 20, 2) == 0;
  std::uint64_t count = Le(bytes, end + 10, 2);
  std::uint64_t directory = Le(bytes, end + 16, 4);
  const std::size_t locator = bytes.rfind(std::string("PK\x06\x07", 4), end);
  if (locator != std::string::npos && locator + 20 == end) {
    const std::size_t record = Le(bytes, locator + 8, 8);
    count = Le(bytes, record + 32, 8);
    directory = Le(bytes, record + 48, 8);
  }
  std::size_t at = directory;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (at + 46 > bytes.size() || Le(bytes, at, 4) != 0x02014b50) {
      layout.problem = "bad central header " + std::to_string(i);
      return layout;
    }
    ZipHeader h;
    h.made_by = static_cast<std::uint16_t>(Le(bytes, at + 4, 2));
    h.flags = static_cast<std::uint16_t>(Le(bytes, at + 8, 2));
    h.method = static_cast<std::uint16_t>(Le(bytes, at + 10, 2));
    h.dos_time = static_cast<std::uint16_t>(Le(bytes, at + 12, 2));
    h.dos_date = static_cast<std::uint16_t>(Le(bytes, at + 14, 2));
    h.crc32 = static_cast<std::uint32_t>(Le(bytes, at + 16, 4));
    h.compressed_size = Le(bytes, at + 20, 4);
    h.size = Le(bytes, at + 24, 4);
    const std::size_t name_length = Le(bytes, at + 28, 2);
    const std::size_t extra_length = Le(bytes, at + 30, 2);
    const std::size_t comment_length = Le(bytes, at + 32, 2);
    h.external_attributes = static_cast<std::uint32_t>(Le(bytes, at + 38, 4));
    std::uint64_t local = Le(bytes, at + 42, 4);
    h.name = bytes.substr(at + 46, name_length);
    for (std::size_t x = at + 46 + name_length; x + 4 <= at + 46 + name_length + extra_length;) {
      const std::uint64_t id = Le(bytes, x, 2);
      const std::size_t length = Le(bytes, x + 2, 2);
      if (id == 1) {
        h.has_zip64_extra = true;
        std::size_t field = x + 4;
        for (std::uint64_t* value : {&h.size, &h.compressed_size, &local}) {
          if (*value == 0xFFFFFFFF) {
            *value = Le(bytes, field, 8);
            field += 8;
          }
        }
      }
      x += 4 + length;
    }
    if (local + 30 > bytes.size() || Le(bytes, local, 4) != 0x04034b50) {
      layout.problem = "bad local header " + std::to_string(i);
      return layout;
    }
    h.local_flags = static_cast<std::uint16_t>(Le(bytes, local + 6, 2));
    h.local_method = static_cast<std::uint16_t>(Le(bytes, local + 8, 2));
    h.local_name = bytes.substr(local + 30, Le(bytes, local + 26, 2));
    layout.entries.push_back(h);
    at += 46 + name_length + extra_length + comment_length;
  }
  layout.ok = true;
  return layout;
}

}  // namespace lormex::testing
