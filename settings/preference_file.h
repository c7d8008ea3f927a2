#ifndef LORMEX_SETTINGS_PREFERENCE_FILE_H_
#define LORMEX_SETTINGS_PREFERENCE_FILE_H_

#include <string>

#include "settings/settings.h"

namespace lormex {

// Name of the preference file, resolved against the working directory at each load and save.
inline constexpr char kPreferenceFileName[] = "Lormex.pref";

// Reads the group "Option" of the preference file at `path`. A missing or unreadable file, a
// missing group or key gives the defaults of `Settings`. Never creates or changes the file.
Settings LoadSettings(const std::string& path = kPreferenceFileName);

// Writes the five settings into the preference file at `path`, keeping every other line, group
// and comment in its place. Returns false when nothing could be written; the old file is then
// untouched. The caller keeps the values in memory either way.
bool SaveSettings(const Settings& settings, const std::string& path = kPreferenceFileName);

}  // namespace lormex

#endif  // LORMEX_SETTINGS_PREFERENCE_FILE_H_
