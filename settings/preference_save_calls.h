#ifndef LORMEX_SETTINGS_PREFERENCE_SAVE_CALLS_H_
#define LORMEX_SETTINGS_PREFERENCE_SAVE_CALLS_H_

#include <fcntl.h>
#include <stdio.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>

namespace lormex {

// The system calls through which `SaveSettings` puts the new file on disk: writing the temporary
// file, syncing it and its folder, naming it (when it was made without a name) and renaming it
// over the old file.
struct PreferenceSaveCalls {
  // False: always make the temporary file with a name, as on file systems that cannot do without.
  bool unnamed_temporary = true;
  ssize_t (*write)(int fd, const void* data, std::size_t size) = ::write;
  int (*fsync)(int fd) = ::fsync;
  int (*linkat)(int old_folder, const char* old_name, int new_folder, const char* new_name,
                int flags) = ::linkat;
  int (*renameat)(int old_folder, const char* old_name, int new_folder,
                  const char* new_name) = ::renameat;
};

// The calls every save uses. Only tests change them, to inject faults, and restore them after;
// not thread-safe.
PreferenceSaveCalls& PreferenceSaveCallsForTesting();

}  // namespace lormex

#endif  // LORMEX_SETTINGS_PREFERENCE_SAVE_CALLS_H_
