#ifndef LORMEX_PACKING_PACKING_RUN_CONTROLLER_H_
#define LORMEX_PACKING_PACKING_RUN_CONTROLLER_H_

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "packing/packing_run.h"
#include "settings/settings.h"

namespace lormex {

class AlbumListController;
class MainWindow;
class UserPrompts;

// Runs the packing of the album list on a thread of its own and shows its progress: row
// statuses, the progress bar, the state and the elapsed time. The run's thread never touches a
// widget; it hands every update to the GUI thread, in order. GUI thread only.
class PackingRunController : public QObject {
  Q_OBJECT

 public:
  // `packing_busy` is the flag shared with the album list operations; set from the start of a
  // run until its last step.
  PackingRunController(MainWindow* window, UserPrompts* prompts, const SettingsStore* settings,
                       const AlbumListController* albums, std::atomic<bool>* packing_busy,
                       int picture_threads = 0);
  // Waits for a run's thread that has finished its work; the program itself never waits for a
  // run under way (it ends the process instead).
  ~PackingRunController() override;

  // The start command: tests the output folder, then starts the run and returns at once.
  void StartPacking();
  // The open-folder command: shows the output folder in the system's file browser.
  void OpenOutputFolder();

  // Asks a run under way to stop after the current file.
  void Cancel() { cancel_ = true; }

 Q_SIGNALS:
  // The run has taken its last step ("打包完成" follows at the next tick).
  void RunEnded();

 private:
  class Relay;

  bool OutputFolderListable() const;
  void OnAlbumStarted(int index, int file_count);
  void OnProgress();
  void OnAlbumFinished(int index, AlbumStatus status);
  void OnRunFinished(const RunSummary& summary);
  void OnTick();

  MainWindow* window_;
  UserPrompts* prompts_;
  const SettingsStore* settings_;
  const AlbumListController* albums_;
  int picture_threads_;

  std::atomic<bool>* packing_busy_;
  std::atomic<bool> cancel_{false};
  std::thread thread_;
  bool thread_running_ = false;  // the run's thread has not yet taken its last step

  // The latest file counter, with the album it belongs to, waiting for the GUI thread. Many
  // small files would otherwise flood the event queue with one update each.
  std::atomic<std::uint64_t> latest_progress_{0};
  std::atomic<bool> progress_posted_{false};
  int current_album_ = -1;

  QTimer tick_;
  QElapsedTimer clock_;
};

}  // namespace lormex

#endif  // LORMEX_PACKING_PACKING_RUN_CONTROLLER_H_
