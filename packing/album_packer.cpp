#include "packing/album_packer.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "packing/album_walk.h"
#include "packing/archive_writer.h"
#include "packing/entry_name.h"
#include "packing/picture_pool.h"

namespace lormex {
namespace {

// A file taken from the walk and not yet written, with its picture job if it is one.
struct PendingFile {
  WalkEntry entry;
  std::shared_ptr<PictureJob> job;
};

// How far the walk may run ahead of the writer. Pictures ahead keep every picture thread busy
// while the writer deflates a large stored file (a RAW file takes a core for a second); each one
// finished ahead holds only its encoded bytes, so the window is set by a memory budget for them,
// at least enough to keep the threads busy. The cap on files bounds the memory of albums of
// many small files.
constexpr double kEncodedBudgetBytes = 32.0 * 1024 * 1024;
constexpr int kMostPicturesAhead = 32;

int PicturesAhead(const PicturePool& pool, int max_side) {
  const int least = 2 * pool.threads() + 2;
  // A 3:2 photo at quality 70 takes about 2 bits a pixel; a square one, half again as much.
  const double side = std::max(max_side, 1);
  const double encoded_estimate = side * side * 0.25;
  const int affordable = static_cast<int>(kEncodedBudgetBytes / encoded_estimate);
  return std::max(least, std::min(affordable, kMostPicturesAhead));
}
constexpr std::size_t kFilesAhead = 4096;

}  // namespace

AlbumPackResult PackAlbumFolder(const std::string& album_path, ArchiveWriter& archive,
                                const AlbumPackContext& context) {
  AlbumPackResult result;
  AlbumWalk walk(album_path);
  std::deque<PendingFile> pending;
  std::vector<std::vector<std::uint8_t>> free_buffers;
  int pictures_pending = 0;
  bool walk_ended = false;
  const int pictures_ahead = PicturesAhead(*context.pool, context.picture_settings().max_side);
  std::size_t problems_reported = 0;

  auto cancelled = [&context] {
    return context.cancel != nullptr && context.cancel->load(std::memory_order_relaxed);
  };
  auto take_walk_problems = [&] {
    for (; problems_reported < walk.problems().size(); ++problems_reported) {
      const WalkProblem& problem = walk.problems()[problems_reported];
      result.failures.push_back({problem.path, problem.reason});
    }
  };

  while (true) {
    // Keep the window ahead of the writer full.
    while (!walk_ended && pictures_pending < pictures_ahead && pending.size() < kFilesAhead) {
      PendingFile file;
      if (!walk.Next(&file.entry)) {
        walk_ended = true;
        break;
      }
      if (IsReencodedPicture(file.entry.full_path) && file.entry.full_path != context.skip_path) {
        std::vector<std::uint8_t> buffer;
        if (!free_buffers.empty()) {
          buffer = std::move(free_buffers.back());
          free_buffers.pop_back();
        }
        file.job = context.pool->Submit(file.entry.full_path, context.picture_settings(),
                                        std::move(buffer));
        ++pictures_pending;
      }
      pending.push_back(std::move(file));
    }
    take_walk_problems();
    if (pending.empty()) break;
    if (cancelled()) {
      result.cancelled = true;
      break;
    }

    PendingFile file = std::move(pending.front());
    pending.pop_front();
    const WalkEntry& entry = file.entry;
    std::string error;
    if (entry.full_path == context.skip_path || archive.IsOwnArchive(entry.device, entry.inode)) {
      ++result.stats.skipped;
    } else if (file.job) {
      context.pool->Wait(*file.job);
      --pictures_pending;
      const std::string name = EntryName(entry.relative_path);
      if (file.job->outcome.ok) {
        if (archive.AddArchiveMemory(file.job->jpeg, name, &error)) {
          ++result.stats.reencoded;
        } else {
          ++result.stats.failed;
          result.failures.push_back({entry.full_path, error});
        }
      } else if (archive.AddArchiveFile(entry.full_path, name, &error)) {
        // Nothing of the album is lost: a picture that cannot be re-encoded goes in as it is.
        ++result.stats.kept_original;
        result.kept_original.push_back({entry.full_path, file.job->outcome.error});
      } else {
        ++result.stats.failed;
        result.failures.push_back({entry.full_path, error});
      }
      free_buffers.push_back(std::move(file.job->jpeg));
    } else if (archive.AddArchiveFile(entry.full_path, EntryName(entry.relative_path), &error)) {
      ++result.stats.stored;
    } else {
      ++result.stats.failed;
      result.failures.push_back({entry.full_path, error});
    }
    ++result.stats.files;
    if (context.file_done) context.file_done(result.stats.files);
    // A full disk or a failing drive ends the album: nothing more could reach the archive.
    if (archive.Lost()) {
      result.archive_lost = true;
      break;
    }
  }
  // Pictures still queued after a cancel are waited for, so no job outlives its album.
  for (PendingFile& file : pending) {
    if (file.job) context.pool->Wait(*file.job);
  }
  return result;
}

}  // namespace lormex
