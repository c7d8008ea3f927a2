#ifndef LORMEX_PACKING_SOURCE_FILE_H_
#define LORMEX_PACKING_SOURCE_FILE_H_

namespace lormex {

// Opens a file of an album for reading, as openat does (-1 and errno on failure). The album is
// the studio's original and is left exactly as it was: where the owner's rights allow it, reading
// does not even move the file's access time, so packing the same album twice gives the same
// archive. Never waits on a FIFO and never becomes a controlling terminal.
int OpenSourceFile(int folder_fd, const char* path);

}  // namespace lormex

#endif  // LORMEX_PACKING_SOURCE_FILE_H_
