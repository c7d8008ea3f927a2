#ifndef LORMEX_PACKING_UNFINISHED_FILES_H_
#define LORMEX_PACKING_UNFINISHED_FILES_H_

#include <string>

namespace lormex {

// A process-wide fixed table of named files that exist only while an archive is being made
// (temporary names in the destination folder), so that a process ending at once can remove them.
// The table never allocates; every function is thread-safe.

// Enters `path` before the file is created; gives its slot, or -1 when the table is full or the
// path too long.
int RegisterUnfinishedFile(const std::string& path);

// Brackets every system call that may create or rename the file of `slot`, so that
// RemoveUnfinishedArchives never runs in between. BeginUnfinishedFileChange gives false when the
// process is ending: the caller must not create the file then.
bool BeginUnfinishedFileChange(int slot);
void EndUnfinishedFileChange(int slot);

// Leaves the table once the file is gone or has its final name. A slot of -1 is ignored.
void ForgetUnfinishedFile(int slot);

// Deletes every file still in the table, for a process about to end with _exit while an archive
// is being written. Uses no allocation and no lock, only atomics, unlink and a short bounded wait
// for a creation or rename under way, so it may also be called from a signal handler. Archives
// written to unnamed files need nothing: they vanish with the process.
void RemoveUnfinishedArchives();

}  // namespace lormex

#endif  // LORMEX_PACKING_UNFINISHED_FILES_H_
