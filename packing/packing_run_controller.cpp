#include "packing/packing_run_controller.h"

#include <dirent.h>

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidgetItem>
#include <algorithm>

#include "albums/album_list_controller.h"
#include "app/album_list_view.h"
#include "app/app_texts.h"
#include "app/main_window.h"
#include "app/user_prompts.h"
#include "packing/elapsed_time.h"

namespace lormex {
namespace {

// At most this many failures are listed in the report at the end of a run.
constexpr int kReportedFailures = 20;

bool FolderListable(const std::string& path) {
  if (path.empty()) return false;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  closedir(dir);
  return true;
}

std::uint64_t PackProgress(int index, int counter) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(index)) << 32) |
         static_cast<std::uint32_t>(counter);
}

}  // namespace

// Hands what the run's thread reports to the GUI thread, in order.
class PackingRunController::Relay : public RunObserver {
 public:
  explicit Relay(PackingRunController* controller) : controller_(controller) {}

  void AlbumStarted(int index, int file_count) override {
    Post([c = controller_, index, file_count] { c->OnAlbumStarted(index, file_count); });
  }

  void FileDone(int index, int file_counter) override {
    controller_->latest_progress_.store(PackProgress(index, file_counter));
    if (!controller_->progress_posted_.exchange(true)) {
      Post([c = controller_] { c->OnProgress(); });
    }
  }

  void AlbumFinished(int index, const AlbumOutcome& outcome) override {
    const AlbumStatus status = outcome.ok ? AlbumStatus::kDone : AlbumStatus::kFailed;
    Post([c = controller_, index, status] { c->OnAlbumFinished(index, status); });
  }

  template <typename Function>
  void Post(Function function) {
    QMetaObject::invokeMethod(controller_, std::move(function), Qt::QueuedConnection);
  }

 private:
  PackingRunController* controller_;
};

PackingRunController::PackingRunController(MainWindow* window, UserPrompts* prompts,
                                           const SettingsStore* settings,
                                           const AlbumListController* albums,
                                           std::atomic<bool>* packing_busy, int picture_threads)
    : window_(window),
      prompts_(prompts),
      settings_(settings),
      albums_(albums),
      picture_threads_(picture_threads),
      packing_busy_(packing_busy) {
  // Precise: a coarse timer may fire early, and the time is never shown more than once a second.
  tick_.setTimerType(Qt::PreciseTimer);
  tick_.setInterval(1000);
  connect(&tick_, &QTimer::timeout, this, &PackingRunController::OnTick);
}

PackingRunController::~PackingRunController() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

bool PackingRunController::OutputFolderListable() const {
  return FolderListable(settings_->Snapshot().OutFolder);
}

void PackingRunController::StartPacking() {
  if (!OutputFolderListable()) {
    prompts_->ShowError(window_, AppTitle(), QStringLiteral("请先设置打包输出文件夹！"));
    return;
  }
  AlbumListView* list = window_->album_list_view();
  // Test and set in one step: two runs never overlap.
  if (list->topLevelItemCount() == 0 || packing_busy_->exchange(true)) return;
  if (thread_.joinable()) thread_.join();  // the previous run's thread has ended its work

  std::vector<RunAlbum> run_albums;
  const std::vector<std::string>& paths = albums_->album_list();
  for (int row = 0; row < list->topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = list->topLevelItem(row);
    RunAlbum album;
    album.path = paths[static_cast<std::size_t>(row)];
    album.name = QFile::encodeName(item->text(kAlbumNameColumn)).toStdString();
    album.file_count = item->text(kFileCountColumn).toInt();
    album.status =
        item->text(kStatusColumn) == QString::fromUtf8(AlbumStatusText(AlbumStatus::kDone))
            ? AlbumStatus::kDone
            : AlbumStatus::kReady;
    run_albums.push_back(std::move(album));
  }

  window_->state_field()->setText(QStringLiteral("正在打包..."));
  window_->DisableDeleteCommands(1);
  window_->DisablePackingCommands(1);
  cancel_ = false;
  current_album_ = -1;
  thread_running_ = true;
  clock_.start();
  tick_.start();

  thread_ = std::thread([this, albums = std::move(run_albums)]() mutable {
    Relay relay(this);
    RunOptions options;
    options.picture_threads = picture_threads_;
    RunSummary summary = RunPacking(&albums, *settings_, &relay, options, &cancel_);
    relay.Post([this, summary = std::move(summary)] { OnRunFinished(summary); });
  });
}

void PackingRunController::OnAlbumStarted(int index, int file_count) {
  current_album_ = index;
  QProgressBar* progress = window_->progress_field();
  progress->setRange(0, std::max(file_count, 0));
  progress->setValue(0);
  if (QTreeWidgetItem* row = window_->album_list_view()->topLevelItem(index)) {
    row->setText(kStatusColumn, QString::fromUtf8(AlbumStatusText(AlbumStatus::kPacking)));
  }
}

void PackingRunController::OnProgress() {
  progress_posted_ = false;
  const std::uint64_t latest = latest_progress_.load();
  const int index = static_cast<int>(latest >> 32);
  const int counter = static_cast<int>(latest & 0xffffffffu);
  if (index != current_album_) return;
  QProgressBar* progress = window_->progress_field();
  // Files added to the album after it was counted leave the bar full.
  progress->setValue(std::min(counter, progress->maximum()));
}

void PackingRunController::OnAlbumFinished(int index, AlbumStatus status) {
  OnProgress();
  if (QTreeWidgetItem* row = window_->album_list_view()->topLevelItem(index)) {
    row->setText(kStatusColumn, QString::fromUtf8(AlbumStatusText(status)));
  }
}

void PackingRunController::OnRunFinished(const RunSummary& summary) {
  window_->progress_field()->setValue(0);
  if (!summary.failure_lines.empty()) {
    QString text =
        QStringLiteral("有 %1 个相册打包失败，未生成压缩包：\n").arg(summary.albums_failed);
    int listed = 0;
    for (const std::string& line : summary.failure_lines) {
      if (listed++ == kReportedFailures) {
        text += QStringLiteral("\n…… 另有 %1 项")
                    .arg(static_cast<int>(summary.failure_lines.size()) - kReportedFailures);
        break;
      }
      text += QLatin1Char('\n') + QFile::decodeName(QByteArray::fromStdString(line));
    }
    text += QStringLiteral("\n\n请排除问题后再次开始打包。");
    prompts_->ShowError(window_, AppTitle(), text);
  }
  if (settings_->Snapshot().FinishedOpenFolder != 0) OpenOutputFolder();
  *packing_busy_ = false;
  thread_running_ = false;
  Q_EMIT RunEnded();
}

void PackingRunController::OnTick() {
  window_->time_field()->setText(QString::fromStdString(ElapsedTimeText(clock_.elapsed() / 1000)));
  if (!thread_running_) {
    window_->state_field()->setText(QStringLiteral("打包完成"));
    tick_.stop();
  }
}

void PackingRunController::OpenOutputFolder() {
  const std::string folder = settings_->Snapshot().OutFolder;
  if (FolderListable(folder)) {
    prompts_->OpenFolder(QFile::decodeName(QByteArray::fromStdString(folder)));
  } else {
    prompts_->ShowError(window_, AppTitle(), QStringLiteral("打包输出文件夹不存在！"));
  }
}

}  // namespace lormex
