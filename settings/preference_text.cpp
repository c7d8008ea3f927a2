#include "settings/preference_text.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

namespace lormex {
namespace {

constexpr std::string_view kSignature = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kOptionGroup = "Option";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
    } else {
      return false;
    }
    constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::uint32_t code = lead & (0x7F >> length);
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text.push_back(c);
    } else {
      text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// `line` is not empty and holds no line break. Lines of blanks and tabs only give false: they
// count as the empty lines they look like.
bool ParseLine(std::string_view line, PreferenceEntry& entry) {
  std::size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  if (start == line.size()) return false;
  const std::string_view rest = line.substr(start);
  if (rest.front() == ';') {
    std::string_view text = rest.substr(1);
    if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    entry = {PreferenceEntryKind::kComment, {}, std::string(text)};
  } else if (rest.front() == '[') {
    const std::string_view name = rest.substr(1, rest.find(']', 1) - 1);
    entry = {PreferenceEntryKind::kGroup, std::string(name), {}};
  } else if (const std::size_t equals = rest.find('='); equals != std::string_view::npos) {
    std::size_t value_start = equals + 1;
    while (value_start < rest.size() && IsBlank(rest[value_start])) ++value_start;
    entry = {PreferenceEntryKind::kKey, std::string(TrimTrailingBlanks(rest.substr(0, equals))),
             std::string(rest.substr(value_start))};
  } else {
    // Not a key: a line a person wrote for some other reason, returned exactly as it stood.
    entry = {PreferenceEntryKind::kOther, {}, std::string(line)};
  }
  return true;
}

constexpr std::size_t kNoGroup = static_cast<std::size_t>(-1);

std::size_t FindGroup(const PreferenceFile& file, std::string_view name) {
  for (std::size_t i = 0; i < file.entries.size(); ++i) {
    const PreferenceEntry& entry = file.entries[i];
    if (entry.kind == PreferenceEntryKind::kGroup && PreferenceNamesEqual(entry.name, name)) {
      return i;
    }
  }
  return kNoGroup;
}

// Index of the first key named `name` in the section of the group header at `group`, or the index
// behind the section's last entry when there is none.
std::size_t FindKeyOrSectionEnd(const PreferenceFile& file, std::size_t group,
                                std::string_view name, bool& found) {
  std::size_t i = group + 1;
  for (; i < file.entries.size(); ++i) {
    const PreferenceEntry& entry = file.entries[i];
    if (entry.kind == PreferenceEntryKind::kGroup) break;
    if (entry.kind == PreferenceEntryKind::kKey && PreferenceNamesEqual(entry.name, name)) {
      found = true;
      return i;
    }
  }
  found = false;
  return i;
}

const std::string* FindValue(const PreferenceFile& file, std::size_t group, std::string_view name) {
  if (group == kNoGroup) return nullptr;
  bool found;
  const std::size_t index = FindKeyOrSectionEnd(file, group, name, found);
  return found ? &file.entries[index].text : nullptr;
}

std::string ReadText(const PreferenceFile& file, std::size_t group, std::string_view name) {
  const std::string* value = FindValue(file, group, name);
  return value != nullptr ? *value : std::string();
}

std::int32_t ReadInteger(const PreferenceFile& file, std::size_t group, std::string_view name,
                         std::int32_t fallback) {
  const std::string* value = FindValue(file, group, name);
  return value != nullptr ? ParsePreferenceInteger(*value) : fallback;
}

void SetValue(PreferenceFile& file, std::size_t group, std::string_view name, std::string value) {
  // A line break would end the line early and turn the rest of the value into lines of its own.
  if (value.find_first_of("\r\n") != std::string::npos) return;
  bool found;
  const std::size_t index = FindKeyOrSectionEnd(file, group, name, found);
  if (found) {
    file.entries[index].name = std::string(name);
    file.entries[index].text = std::move(value);
  } else {
    file.entries.insert(file.entries.begin() + static_cast<std::ptrdiff_t>(index),
                        {PreferenceEntryKind::kKey, std::string(name), std::move(value)});
  }
}

}  // namespace

PreferenceFile ParsePreferenceText(std::string_view bytes) {
  std::string converted;
  std::string_view text;
  if (bytes.substr(0, kSignature.size()) == kSignature) {
    text = bytes.substr(kSignature.size());
  } else if (IsValidUtf8(bytes)) {
    // Files written by hand on this platform are UTF-8 without a signature; reading them as
    // Latin-1 would garble every non-ASCII letter and the next save would store the garbage.
    text = bytes;
  } else {
    converted = Latin1ToUtf8(bytes);
    text = converted;
  }

  PreferenceFile file;
  std::size_t position = 0;
  while (position < text.size()) {
    while (position < text.size() && IsLineBreak(text[position])) ++position;
    std::size_t end = position;
    while (end < text.size() && !IsLineBreak(text[end])) ++end;
    if (end > position) {
      PreferenceEntry entry;
      if (ParseLine(text.substr(position, end - position), entry)) {
        file.entries.push_back(std::move(entry));
      }
    }
    position = end;
  }
  return file;
}

std::string SerializePreferenceFile(const PreferenceFile& file) {
  std::string bytes(kSignature);
  bytes += kLineEnd;
  for (const PreferenceEntry& entry : file.entries) {
    switch (entry.kind) {
      case PreferenceEntryKind::kGroup:
        bytes += '[';
        bytes += entry.name;
        bytes += ']';
        break;
      case PreferenceEntryKind::kComment:
        bytes += "; ";
        bytes += entry.text;
        break;
      case PreferenceEntryKind::kKey:
        bytes += entry.name;
        bytes += " = ";
        bytes += entry.text;
        break;
      case PreferenceEntryKind::kOther:
        bytes += entry.text;
        break;
    }
    bytes += kLineEnd;
  }
  return bytes;
}

bool PreferenceNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::int32_t ParsePreferenceInteger(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && (IsBlank(value[i]) || value[i] == '\v' || value[i] == '\f')) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
    negative = value[i] == '-';
    ++i;
  }
  // Saturates above the 32-bit range, so a hand-written 99999999999 gives the largest value
  // instead of wrapping around to some unrelated one.
  constexpr std::int64_t kCeiling = std::int64_t{1} << 32;
  std::int64_t magnitude = 0;
  for (; i < value.size() && IsDigit(value[i]); ++i) {
    magnitude = magnitude * 10 + (value[i] - '0');
    if (magnitude > kCeiling) magnitude = kCeiling;
  }
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  if (negative) return static_cast<std::int32_t>(-magnitude < kMin ? kMin : -magnitude);
  return static_cast<std::int32_t>(magnitude > kMax ? kMax : magnitude);
}

Settings ReadSettingsFrom(const PreferenceFile& file) {
  const Settings defaults;
  const std::size_t group = FindGroup(file, kOptionGroup);
  Settings settings;
  settings.OutFolder = ReadText(file, group, "OutFolder");
  settings.Studio = ReadText(file, group, "Studio");
  settings.ImageQuality = ReadInteger(file, group, "ImageQuality", defaults.ImageQuality);
  settings.ImageMaxWidth = ReadInteger(file, group, "ImageMaxWidth", defaults.ImageMaxWidth);
  settings.FinishedOpenFolder =
      ReadInteger(file, group, "FinishedOpenFolder", defaults.FinishedOpenFolder);
  return settings;
}

void WriteSettingsInto(const Settings& settings, PreferenceFile& file) {
  std::size_t group = FindGroup(file, kOptionGroup);
  if (group == kNoGroup) {
    file.entries.push_back({PreferenceEntryKind::kGroup, std::string(kOptionGroup), {}});
    group = file.entries.size() - 1;
  }
  // Keys are only ever inserted behind the header, so `group` stays valid throughout.
  SetValue(file, group, "OutFolder", settings.OutFolder);
  SetValue(file, group, "Studio", settings.Studio);
  SetValue(file, group, "ImageQuality", std::to_string(settings.ImageQuality));
  SetValue(file, group, "ImageMaxWidth", std::to_string(settings.ImageMaxWidth));
  SetValue(file, group, "FinishedOpenFolder", std::to_string(settings.FinishedOpenFolder));
}

}  // namespace lormex
