#ifndef LORMEX_SETTINGS_PREFERENCE_FILE_H_
#define LORMEX_SETTINGS_PREFERENCE_FILE_H_

#include <string>

#include "settings/settings.h"

namespace lormex {

// Name of the preference file, resolved against the working directory at each load and save.
inline constexpr char kPreferenceFileName[] = "Lormex.pref";

// Reads the group "Option" of the preference file at `path`. A missing or unreadable file, a
// missing group or key gives the defaults of `Settings`. Never creates or changes the file; call
// on one thread at a time.
Settings LoadSettings(const std::string& path = kPreferenceFileName);

// Writes the five settings into the preference file at `path` (through a symbolic link to its
// target), keeping every other line, group and comment in its place; a text holding a line break
// leaves its key as it was. The file is replaced whole: it holds the old or the new content at
// every moment, also after a crash. Returns false when nothing was written: the file is missing
// and cannot be created, cannot be read, or may not be written (read-only file or folder), or
// writing failed; the old file is then untouched. The caller keeps the values in memory either
// way. Call on one thread at a time.
bool SaveSettings(const Settings& settings, const std::string& path = kPreferenceFileName);

}  // namespace lormex

#endif  // LORMEX_SETTINGS_PREFERENCE_FILE_H_
