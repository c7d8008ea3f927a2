// Any bytes read as the preference file: reading never fails, a save loses no entry and is stable,
// and settings written into any file read back as written.
#include <string>
#include <string_view>

#include "settings/preference_text.h"
#include "tests/fuzz/fuzz_targets.h"

namespace lormex::fuzz {
namespace {

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string WithoutLeadingBlanks(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : text.substr(start);
}

// Settings made from the input's own bytes, so that texts hold whatever the fuzzer puts there.
Settings SettingsFrom(std::string_view bytes) {
  Settings settings;
  const std::size_t third = bytes.size() / 3;
  settings.OutFolder = std::string(bytes.substr(0, third));
  settings.Studio = std::string(bytes.substr(third, third));
  std::uint32_t mix = 2166136261u;
  for (char c : bytes) mix = (mix ^ static_cast<unsigned char>(c)) * 16777619u;
  settings.ImageQuality = static_cast<std::int32_t>(mix);
  settings.ImageMaxWidth = static_cast<std::int32_t>(mix * 2654435761u);
  settings.FinishedOpenFolder = static_cast<std::int32_t>(mix >> 7) - (1 << 24);
  return settings;
}

}  // namespace

void FuzzPreference(std::span<const std::uint8_t> input) {
  const std::string_view bytes(reinterpret_cast<const char*>(input.data()), input.size());
  const PreferenceFile file = ParsePreferenceText(bytes);
  for (const PreferenceEntry& entry : file.entries) {
    Check(!HasLineBreak(entry.name) && !HasLineBreak(entry.text), "an entry holds a line break");
  }

  // A save keeps every entry, and saving what was read back gives the same bytes.
  const std::string saved = SerializePreferenceFile(file);
  const PreferenceFile reread = ParsePreferenceText(saved);
  Check(reread == file, "a save changed the entries");
  Check(SerializePreferenceFile(reread) == saved, "a second save gave other bytes");

  // The settings read are written back without a change.
  const Settings read = ReadSettingsFrom(file);
  PreferenceFile unchanged = file;
  WriteSettingsInto(read, unchanged);
  Check(ReadSettingsFrom(unchanged) == read, "writing the settings read changed them");

  // Any settings written into the file read back as written: in memory exactly, after a save
  // without the blanks before a text; a text holding a line break keeps the file's old value.
  const Settings wanted = SettingsFrom(bytes);
  PreferenceFile updated = file;
  WriteSettingsInto(wanted, updated);
  Settings expected = wanted;
  if (HasLineBreak(wanted.OutFolder)) expected.OutFolder = read.OutFolder;
  if (HasLineBreak(wanted.Studio)) expected.Studio = read.Studio;
  Check(ReadSettingsFrom(updated) == expected, "settings written in memory read back otherwise");
  const Settings loaded = ReadSettingsFrom(ParsePreferenceText(SerializePreferenceFile(updated)));
  expected.OutFolder = WithoutLeadingBlanks(expected.OutFolder);
  expected.Studio = WithoutLeadingBlanks(expected.Studio);
  Check(loaded == expected, "saved settings read back otherwise");
}

}  // namespace lormex::fuzz
