#ifndef LORMEX_APP_PACK_OPTIONS_H_
#define LORMEX_APP_PACK_OPTIONS_H_

#include <string>
#include <vector>

#include "settings/settings.h"

namespace lormex {

// Exit statuses of lormex-pack.
inline constexpr int kPackExitOk = 0;            // every album packed and verified
inline constexpr int kPackExitAlbumFailed = 1;   // at least one album has no archive
inline constexpr int kPackExitUsage = 2;         // bad arguments; nothing was packed
inline constexpr int kPackExitSignalBase = 128;  // plus the number of the signal that stopped it

// Bounds of the numeric options.
inline constexpr int kPackMinMaxSize = 1;
inline constexpr int kPackMaxMaxSize = 65500;  // the longest side libjpeg can encode
inline constexpr int kPackMinQuality = 1;
inline constexpr int kPackMaxQuality = 100;
inline constexpr int kPackMinJobs = 1;
inline constexpr int kPackMaxJobs = 256;

// What a pack from the command line uses, after the preference file and the options.
struct PackOptions {
  // Absolute, cleaned album folders, each ending with "/", in the order given; a folder given
  // twice appears once.
  std::vector<std::string> album_folders;
  // The settings of the run: the preference file's values overridden by the options. OutFolder
  // is absolute, names a folder that could be listed, and ends with "/".
  Settings settings;
  int jobs = 0;  // picture threads; 0: one per processor
  bool quiet = false;
  // Notes for the user that do not stop the run (a folder given twice).
  std::vector<std::string> warnings;
};

// The outcome of reading the command line.
struct PackCommand {
  enum class Action { kPack, kHelp, kVersion, kUsageError };
  Action action = Action::kUsageError;
  PackOptions options;  // for kPack
  // For kHelp and kVersion the text for stdout; for kUsageError the reason, one line in Chinese.
  std::string text;
};

// Reads the command line of lormex-pack. `arguments` are the raw bytes of argv, the program name
// first; `defaults` are the settings of the preference file; relative folders are taken from
// `working_folder` (absolute). Looks at the file system only to test that the output folder can
// be listed. Never prints and never exits. An argument that is not UTF-8, an unknown option, a
// missing or malformed value, a number out of range, no album folder, no output folder or an
// unlistable one, and a studio name holding "/" are usage errors.
PackCommand ParsePackArguments(const std::vector<std::string>& arguments, const Settings& defaults,
                               const std::string& working_folder);

// The folder `path` given on the command line as an absolute, cleaned path ending with "/":
// relative paths are taken from `working_folder`, "." and ".." are resolved by name.
std::string AbsoluteFolderPath(const std::string& path, const std::string& working_folder);

}  // namespace lormex

#endif  // LORMEX_APP_PACK_OPTIONS_H_
