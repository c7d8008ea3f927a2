#ifndef LORMEX_PACKING_ALBUM_WALK_H_
#define LORMEX_PACKING_ALBUM_WALK_H_

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace lormex {

// One file found by the walk.
struct WalkEntry {
  std::string full_path;      // the album folder followed by `relative_path`
  std::string relative_path;  // below the album folder, folders separated by "/"
  std::string name;           // the file's own name, the last component of `relative_path`
  // An open descriptor of the folder holding the file, valid until the next call of Next().
  // With `name` it reaches files whose full path is longer than the system's path limit.
  int folder_fd = -1;
  dev_t device = 0;  // identity of the file, so a caller can skip a file of its own
  ino_t inode = 0;
};

// A folder the walk could not list (its files are missing from the walk), with the reason.
struct WalkProblem {
  std::string path;
  std::string reason;
};

// The one walk over an album folder, shared by the file count of the album list and by packing,
// so the count always equals the number of files a run processes. Depth first, in the order the
// file system lists entries, nothing sorted. Every entry that is not a folder is a file (hidden
// files, links to files, broken links and special files included). Links to folders are followed,
// but a folder already on the current path is never entered again, so link loops end.
// At most one listing per folder level is open. Not thread-safe; one walk per thread.
class AlbumWalk {
 public:
  // `folder` is the album folder; a missing trailing "/" is added.
  explicit AlbumWalk(std::string folder);
  ~AlbumWalk();
  AlbumWalk(const AlbumWalk&) = delete;
  AlbumWalk& operator=(const AlbumWalk&) = delete;

  // Gives the next file; false when the walk has ended. Reusing one `entry` for the whole walk
  // avoids an allocation per file.
  bool Next(WalkEntry* entry);

  // Folders that could not be listed so far, the album folder itself included.
  const std::vector<WalkProblem>& problems() const { return problems_; }

 private:
  struct Level;
  void EnterFolder(int parent_fd, const char* name, const std::string& relative);
  std::string root_;
  std::vector<std::unique_ptr<Level>> stack_;
  std::vector<WalkProblem> problems_;
  bool started_ = false;
};

// Number of files the walk finds below `folder`; 0 when it cannot be listed. Saturates at the
// largest int.
int CountFiles(const std::string& folder);

// The extension of a file path: the text after the last "." of the file name, unless a blank
// stands after that dot or the dot is the first character of the name. Empty when there is none.
// Only "/" separates folders.
std::string PathExtension(const std::string& path);

// True for the files that are re-encoded: extension exactly "jpg" or "jpeg" (case kept).
bool IsReencodedPicture(const std::string& path);

}  // namespace lormex

#endif  // LORMEX_PACKING_ALBUM_WALK_H_
