#ifndef LORMEX_PACKING_ALBUM_PACKER_H_
#define LORMEX_PACKING_ALBUM_PACKER_H_

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "packing/picture_reencoder.h"

namespace lormex {

class ArchiveWriter;
class PicturePool;

// A file or folder of an album that did not reach the archive, with the reason.
struct FileFailure {
  std::string path;
  std::string reason;
  friend bool operator==(const FileFailure&, const FileFailure&) = default;
};

// What one album's walk did.
struct AlbumPackStats {
  int files = 0;          // files processed: the final value of the file counter
  int reencoded = 0;      // pictures decoded, resized and encoded anew
  int stored = 0;         // other files stored byte for byte
  int kept_original = 0;  // pictures that could not be re-encoded, stored byte for byte
  int failed = 0;         // files that could not be stored at all
  int skipped = 0;        // the archive's own file, never packed into itself
};

struct AlbumPackResult {
  AlbumPackStats stats;
  std::vector<FileFailure> failures;       // files not stored and folders not listed
  std::vector<FileFailure> kept_original;  // pictures stored unchanged, with the reason
  bool cancelled = false;
  bool archive_lost = false;  // writing the archive itself failed; the walk ended there
};

struct AlbumPackContext {
  PicturePool* pool = nullptr;
  // Read once for every picture, when the walk reaches it.
  std::function<ReencodeSettings()> picture_settings;
  // Called on the writing thread after every file, in walk order, with the file counter.
  std::function<void(int)> file_done;
  // Checked before every file; a set flag ends the walk early.
  const std::atomic<bool>* cancel = nullptr;
  // A file at this path is never packed (the older archive this one replaces).
  std::string skip_path;
};

// Walks the album folder (which ends with "/") depth first and adds every file to `archive` in
// walk order: "jpg" and "jpeg" pictures re-encoded on the pool's threads ahead of the writer
// (stored byte for byte when that fails), every other file stored byte for byte. Entry names are
// the paths below the album folder. Memory stays bounded: the walk runs at most a fixed window
// of pictures ahead of the writer. Runs on the calling thread, which is the only one to touch
// `archive`.
AlbumPackResult PackAlbumFolder(const std::string& album_path, ArchiveWriter& archive,
                                const AlbumPackContext& context);

}  // namespace lormex

#endif  // LORMEX_PACKING_ALBUM_PACKER_H_
