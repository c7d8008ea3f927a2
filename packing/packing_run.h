#ifndef LORMEX_PACKING_PACKING_RUN_H_
#define LORMEX_PACKING_PACKING_RUN_H_

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "packing/album_packer.h"
#include "settings/settings.h"

namespace lormex {

// The status of an album in the list.
enum class AlbumStatus { kReady, kPacking, kDone, kFailed };

// "就绪", "打包中", "完成" or "失败": the texts of the list's status column.
const char* AlbumStatusText(AlbumStatus status);

// One album of a run, in list order.
struct RunAlbum {
  std::string path;  // the album folder, ending with "/"
  std::string name;  // the album name of its row
  int file_count = 0;
  AlbumStatus status = AlbumStatus::kReady;
};

// What became of one album.
struct AlbumOutcome {
  bool ok = false;            // the archive is complete, verified and in place
  std::string archive_path;   // where the archive went, or would have gone
  std::string archive_error;  // why the archive itself failed, if it did
  AlbumPackResult pack;
};

// The archive of an album: `out_folder` (a separator is added when it has none, so that the
// archive lies in that folder), `studio`, "_", `album_name` and ".zip". Nothing, with the reason,
// when the studio or album name would lead out of the folder.
std::optional<std::string> ArchivePathFor(const std::string& out_folder, const std::string& studio,
                                          const std::string& album_name, std::string* error);

// Told what a run does, on the run's own thread, in order.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void AlbumStarted(int /*index*/, int /*file_count*/) {}
  virtual void FileDone(int /*index*/, int /*file_counter*/) {}
  virtual void AlbumFinished(int /*index*/, const AlbumOutcome& /*outcome*/) {}
};

struct RunOptions {
  int picture_threads = 0;  // 0: one per processor
};

struct RunSummary {
  int albums_done = 0;
  int albums_failed = 0;
  int albums_skipped = 0;  // already "完成" before the run
  AlbumPackStats files;    // summed over the albums packed
  bool cancelled = false;
  // One line per failure, "<album>: <path>: <reason>", for the report at the end of the run.
  std::vector<std::string> failure_lines;
};

// Packs every album of `albums` that is not done yet, one after the other, into its archive in
// the output folder, and sets each album's status. `OutFolder` and `Studio` are read from
// `settings` once per album, `ImageMaxWidth` and `ImageQuality` once per picture, so values
// confirmed meanwhile apply to what the run reaches afterwards. An album ends done only when its
// archive holds every file and has been read back and verified; otherwise it ends failed and
// nothing is left under its archive's name. Runs on the calling thread; `cancel` ends it early.
RunSummary RunPacking(std::vector<RunAlbum>* albums, const SettingsStore& settings,
                      RunObserver* observer, const RunOptions& options,
                      const std::atomic<bool>* cancel = nullptr);

}  // namespace lormex

#endif  // LORMEX_PACKING_PACKING_RUN_H_
