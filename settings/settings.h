#ifndef LORMEX_SETTINGS_SETTINGS_H_
#define LORMEX_SETTINGS_SETTINGS_H_

#include <cstdint>
#include <mutex>
#include <string>

namespace lormex {

// The five user settings. Texts are UTF-8. Values read from the preference file are kept as they
// are; only the settings dialog keeps them within its ranges.
struct Settings {
  std::string OutFolder;  // output folder; ends with "/" when chosen in the dialog
  std::string Studio;     // prefix of every archive name, may be empty
  std::int32_t ImageQuality = 70;
  std::int32_t ImageMaxWidth = 2000;  // longer side of every re-encoded picture
  std::int32_t FinishedOpenFolder = 0;

  friend bool operator==(const Settings&, const Settings&) = default;
};

// The process-wide settings. The GUI thread replaces them when the settings dialog is confirmed
// while a packing run may read them on its own thread, so every access takes a consistent copy.
class SettingsStore {
 public:
  Settings Snapshot() const {
    std::lock_guard lock(mutex_);
    return settings_;
  }
  void Replace(const Settings& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
  }

 private:
  mutable std::mutex mutex_;
  Settings settings_;
};

}  // namespace lormex

#endif  // LORMEX_SETTINGS_SETTINGS_H_
