#include "packing/packing_run.h"

#include <memory>

#include "packing/archive_writer.h"
#include "packing/picture_pool.h"

namespace lormex {

const char* AlbumStatusText(AlbumStatus status) {
  switch (status) {
    case AlbumStatus::kReady:
      return "就绪";
    case AlbumStatus::kPacking:
      return "打包中";
    case AlbumStatus::kDone:
      return "完成";
    case AlbumStatus::kFailed:
      return "失败";
  }
  return "";
}

std::optional<std::string> ArchivePathFor(const std::string& out_folder, const std::string& studio,
                                          const std::string& album_name, std::string* error) {
  if (out_folder.empty()) {
    *error = "未设置打包输出文件夹";
    return std::nullopt;
  }
  // The archive must lie directly in the output folder: a separator in either name would put
  // it, or the deletion of an older file of its name, somewhere else.
  for (const std::string* part : {&studio, &album_name}) {
    if (part->find('/') != std::string::npos || part->find('\0') != std::string::npos) {
      *error = "工作室名称或相册名称中含有路径分隔符“/”，不能作为文件名";
      return std::nullopt;
    }
  }
  std::string path = out_folder;
  if (path.back() != '/') path += '/';
  path += studio;
  path += '_';
  path += album_name;
  path += ".zip";
  return path;
}

namespace {

std::string FailureLine(const RunAlbum& album, const std::string& path, const std::string& reason) {
  return album.name + "：" + path + "：" + reason;
}

}  // namespace

RunSummary RunPacking(std::vector<RunAlbum>* albums, const SettingsStore& settings,
                      RunObserver* observer, const RunOptions& options,
                      const std::atomic<bool>* cancel) {
  RunSummary summary;
  RunObserver quiet;
  if (observer == nullptr) observer = &quiet;
  std::unique_ptr<PicturePool> pool;

  for (int index = 0; index < static_cast<int>(albums->size()); ++index) {
    RunAlbum& album = (*albums)[static_cast<std::size_t>(index)];
    if (album.status == AlbumStatus::kDone) {
      ++summary.albums_skipped;
      continue;
    }
    if (cancel != nullptr && cancel->load()) {
      summary.cancelled = true;
      break;
    }
    observer->AlbumStarted(index, album.file_count);
    album.status = AlbumStatus::kPacking;

    AlbumOutcome outcome;
    const Settings at_start = settings.Snapshot();
    std::optional<std::string> archive_path =
        ArchivePathFor(at_start.OutFolder, at_start.Studio, album.name, &outcome.archive_error);
    std::unique_ptr<ArchiveWriter> archive;
    if (archive_path) {
      outcome.archive_path = *archive_path;
      archive = ArchiveWriter::CreateArchive(*archive_path, &outcome.archive_error);
    } else {
      outcome.archive_path = at_start.OutFolder + at_start.Studio + "_" + album.name + ".zip";
    }
    if (archive) {
      if (!pool) pool = std::make_unique<PicturePool>(PictureThreadCount(options.picture_threads));
      AlbumPackContext context;
      context.pool = pool.get();
      context.picture_settings = [&settings] {
        const Settings now = settings.Snapshot();
        return ReencodeSettings{now.ImageMaxWidth, now.ImageQuality};
      };
      context.file_done = [observer, index](int counter) { observer->FileDone(index, counter); };
      context.cancel = cancel;
      context.skip_path = *archive_path;
      outcome.pack = PackAlbumFolder(album.path, *archive, context);

      if (outcome.pack.cancelled) {
        summary.cancelled = true;
        archive.reset();
        album.status = AlbumStatus::kReady;
        break;
      }
      if (outcome.pack.archive_lost) {
        // The reason is the archive's own; the file that met it is not to blame.
        if (!outcome.pack.failures.empty()) {
          outcome.archive_error = outcome.pack.failures.back().reason;
          outcome.pack.failures.pop_back();
        }
      } else if (outcome.pack.failures.empty()) {
        // Read back and checked entry by entry before the album counts as done.
        outcome.ok =
            archive->CloseArchive(&outcome.archive_error, ArchiveWriter::CloseCheck::kReadBack);
      } else {
        outcome.archive_error = "有文件未能打包，压缩包不完整，已删除";
      }
      // An archive that is not finished leaves nothing under its name, not even an older one.
      archive.reset();
    }

    album.status = outcome.ok ? AlbumStatus::kDone : AlbumStatus::kFailed;
    if (outcome.ok) {
      ++summary.albums_done;
    } else {
      ++summary.albums_failed;
      summary.failure_lines.push_back(
          FailureLine(album, outcome.archive_path, outcome.archive_error));
      for (const FileFailure& failure : outcome.pack.failures) {
        summary.failure_lines.push_back(FailureLine(album, failure.path, failure.reason));
      }
    }
    const AlbumPackStats& stats = outcome.pack.stats;
    summary.files.files += stats.files;
    summary.files.reencoded += stats.reencoded;
    summary.files.stored += stats.stored;
    summary.files.kept_original += stats.kept_original;
    summary.files.failed += stats.failed;
    summary.files.skipped += stats.skipped;
    observer->AlbumFinished(index, outcome);
  }
  return summary;
}

}  // namespace lormex
