#ifndef LORMEX_SETTINGS_PREFERENCE_TEXT_H_
#define LORMEX_SETTINGS_PREFERENCE_TEXT_H_

// The preference file as text: reading its bytes into entries and writing entries back as bytes.
// Everything here is a pure function over memory, safe on any input and on any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

namespace lormex {

enum class PreferenceEntryKind {
  kGroup,    // "[" name "]"
  kComment,  // ";" text
  kKey,      // name "=" value
  kOther,    // any other line (it has no "="); kept byte for byte
};

// One line of the preference file. Every text is UTF-8 and holds neither CR nor LF.
struct PreferenceEntry {
  PreferenceEntryKind kind = PreferenceEntryKind::kOther;
  std::string name;  // group or key name; empty for comments and other lines
  std::string text;  // key value, comment text without its "; ", or the whole other line

  friend bool operator==(const PreferenceEntry&, const PreferenceEntry&) = default;
};

// The entries of a preference file in file order.
struct PreferenceFile {
  std::vector<PreferenceEntry> entries;

  friend bool operator==(const PreferenceFile&, const PreferenceFile&) = default;
};

// Reads any bytes as a preference file: UTF-8 behind the signature EF BB BF, otherwise UTF-8 when
// the bytes are valid UTF-8 and Latin-1 when they are not; never fails.
PreferenceFile ParsePreferenceText(std::string_view bytes);

// The bytes of `file` as every save writes them: signature, CR LF, then one CR LF line per entry.
std::string SerializePreferenceFile(const PreferenceFile& file);

// True when two group or key names are equal, ignoring the case of the ASCII letters only.
bool PreferenceNamesEqual(std::string_view a, std::string_view b);

// The decimal integer at the start of `value` (white space, sign, digits), clamped to the 32-bit
// range; 0 when the value does not begin with a number.
std::int32_t ParsePreferenceInteger(std::string_view value);

// The five settings kept in the group "Option" of `file`; defaults for a missing group or key.
Settings ReadSettingsFrom(const PreferenceFile& file);

// Puts the five settings into the group "Option" of `file`, creating the group and keys where
// missing and keeping every other entry. A text holding a line break cannot be stored: its key is
// left as it was.
void WriteSettingsInto(const Settings& settings, PreferenceFile& file);

}  // namespace lormex

#endif  // LORMEX_SETTINGS_PREFERENCE_TEXT_H_
