#include "settings/preference_file.h"

namespace lormex {

Settings LoadSettings(const std::string&) { return Settings{}; }

bool SaveSettings(const Settings&, const std::string&) { return false; }

}  // namespace lormex
