// Any bytes as a path below the album folder: the entry name never leads out of the extraction
// folder on Linux or Windows, is valid UTF-8 and gives back the path it was made from.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "packing/entry_name.h"
#include "tests/fuzz/fuzz_targets.h"

namespace lormex::fuzz {
namespace {

std::vector<std::string> Components(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80   ? 1
                         : lead < 0xC2 ? 0
                         : lead < 0xE0 ? 2
                         : lead < 0xF0 ? 3
                         : lead < 0xF5 ? 4
                                       : 0;
    if (length == 0 || text.size() - i < length) return false;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsEscape(const std::string& text, std::size_t i) {
  return i + 2 < text.size() && text[i] == '%' && HexValue(text[i + 1]) >= 0 &&
         HexValue(text[i + 2]) >= 0;
}

// The original component of an entry name's component.
std::string Unescaped(const std::string& component) {
  bool escaped = false;
  for (std::size_t i = 0; i < component.size(); ++i) escaped |= IsEscape(component, i);
  if (!escaped) return component;
  std::string original;
  for (std::size_t i = 0; i < component.size(); ++i) {
    if (IsEscape(component, i)) {
      original += static_cast<char>(HexValue(component[i + 1]) * 16 + HexValue(component[i + 2]));
      i += 2;
    } else {
      original += component[i];
    }
  }
  return original;
}

}  // namespace

void FuzzEntryName(std::span<const std::uint8_t> input) {
  const std::string path(reinterpret_cast<const char*>(input.data()), input.size());
  const std::string name = EntryName(path);
  Check(IsValidUtf8(name), "not valid UTF-8: " + name);
  Check(name.empty() || name.front() != '/', "leads with /: " + name);

  std::vector<std::string> expected;
  for (std::string& part : Components(path)) {
    if (!part.empty()) expected.push_back(std::move(part));
  }
  std::vector<std::string> decoded;
  if (!name.empty()) {
    for (const std::string& part : Components(name)) {
      Check(!part.empty() && part.find_first_not_of(". ") != std::string::npos,
            "an empty, dot or blank component: " + name);
      for (char c : part) {
        const auto byte = static_cast<unsigned char>(c);
        Check(byte >= 0x20 && byte != 0x7F &&
                  std::string_view("\\:<>\"|?*").find(c) == std::string_view::npos,
              "a character Windows reads as structure or cannot keep: " + name);
      }
      decoded.push_back(Unescaped(part));
    }
  }
  Check(decoded == expected, "does not give back the path: " + name);
}

}  // namespace lormex::fuzz
