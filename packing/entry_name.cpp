#include "packing/entry_name.h"

#include <cstddef>
#include <string_view>

namespace lormex {
namespace {

// Length of the well-formed UTF-8 sequence at the start of `text` (shortest form, no surrogates,
// at most U+10FFFF), or 0 when the first byte does not start one.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Characters that Windows reads as structure or cannot keep in a name, and invisible controls.
bool IsUnsafeAscii(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
    case '\\':
    case ':':
    case '<':
    case '>':
    case '"':
    case '|':
    case '?':
    case '*':
      return true;
    default:
      return false;
  }
}

bool HasEscapeLookalike(std::string_view component) {
  for (std::size_t i = 0; i + 2 < component.size(); ++i) {
    if (component[i] == '%' && IsHexDigit(component[i + 1]) && IsHexDigit(component[i + 2])) {
      return true;
    }
  }
  return false;
}

bool OnlyDotsAndBlanks(std::string_view component) {
  return component.find_first_not_of(". ") == std::string_view::npos;
}

bool NeedsEscaping(std::string_view component) {
  if (OnlyDotsAndBlanks(component) || HasEscapeLookalike(component)) return true;
  std::size_t i = 0;
  while (i < component.size()) {
    const std::size_t length = Utf8SequenceLength(component.substr(i));
    if (length == 0) return true;
    if (length == 1 && IsUnsafeAscii(static_cast<unsigned char>(component[i]))) return true;
    i += length;
  }
  return false;
}

void AppendEscaped(unsigned char byte, std::string* out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out->push_back('%');
  out->push_back(kHex[byte >> 4]);
  out->push_back(kHex[byte & 0x0F]);
}

void AppendComponent(std::string_view component, std::string* out) {
  if (!NeedsEscaping(component)) {
    out->append(component);
    return;
  }
  if (OnlyDotsAndBlanks(component)) {
    for (char c : component) AppendEscaped(static_cast<unsigned char>(c), out);
    return;
  }
  std::size_t i = 0;
  while (i < component.size()) {
    const auto c = static_cast<unsigned char>(component[i]);
    const std::size_t length = Utf8SequenceLength(component.substr(i));
    if (length == 0 || (length == 1 && (IsUnsafeAscii(c) || c == '%'))) {
      AppendEscaped(c, out);
      ++i;
    } else {
      out->append(component.substr(i, length));
      i += length;
    }
  }
}

}  // namespace

std::string EntryName(const std::string& relative_path) {
  std::string name;
  name.reserve(relative_path.size());
  std::string_view rest(relative_path);
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view component = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (component.empty()) continue;
    if (!name.empty()) name.push_back('/');
    AppendComponent(component, &name);
  }
  return name;
}

}  // namespace lormex
