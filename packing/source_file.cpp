#include "packing/source_file.h"

#include <fcntl.h>

#include <cerrno>

namespace lormex {

int OpenSourceFile(int folder_fd, const char* path) {
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd;
  do {
    fd = openat(folder_fd, path, kFlags | O_NOATIME);
  } while (fd < 0 && errno == EINTR);
  // Only the file's owner (or a privileged user) may read without moving the access time.
  if (fd < 0 && errno == EPERM) {
    do {
      fd = openat(folder_fd, path, kFlags);
    } while (fd < 0 && errno == EINTR);
  }
  return fd;
}

}  // namespace lormex
