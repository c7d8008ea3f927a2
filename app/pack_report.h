#ifndef LORMEX_APP_PACK_REPORT_H_
#define LORMEX_APP_PACK_REPORT_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "packing/packing_run.h"

namespace lormex {

// Columns a UTF-8 text takes on a terminal (East Asian characters take two). Needs a UTF-8
// LC_CTYPE; bytes it cannot decode count one column each.
int DisplayWidth(const std::string& text);

// The one updating terminal line, "相册 2/5 Wedding 2016：120/340 个文件 00:00:42", at most
// `columns` - 1 columns wide: a long album name is shortened with "…". Control characters of the
// name are shown as "?", so they cannot move the cursor.
std::string ProgressLine(int album_number, int album_total, const std::string& album_name,
                         int files_done, int file_count, std::int64_t seconds, int columns);

// The figures of the summary at the end of a command-line run.
struct PackTotals {
  int albums = 0;  // albums given, duplicates left out
  int albums_done = 0;
  int albums_failed = 0;
  bool cancelled = false;
  AlbumPackStats files;
  std::int64_t seconds = 0;
  std::vector<std::string> failed_names;
};

// The summary lines for stdout, each ended by a line feed.
std::string SummaryText(const PackTotals& totals);

// Shows a command-line run on stderr: on a terminal one updating line (redrawn at most ten times
// a second, and once a second so the time moves during a long file), otherwise one line as each
// album starts and ends; quiet shows failures only. Failures are always written, as they happen.
// Observer calls come from the run's thread; the clock runs on a thread of its own.
class PackReporter : public RunObserver {
 public:
  enum class Mode { kTerminal, kLines, kQuiet };

  // One album of the run, in run order: its number among all albums given (1-based).
  struct Album {
    int number = 0;
    std::string name;
    std::string folder;
  };

  // `columns` is the terminal width (kTerminal only); `dumb` terminals get no escape sequences.
  PackReporter(std::FILE* stream, Mode mode, int album_total, int columns, bool dumb);
  ~PackReporter() override;
  PackReporter(const PackReporter&) = delete;
  PackReporter& operator=(const PackReporter&) = delete;

  // Shown while the albums are counted before the run.
  void Counting(int album_number);
  // An album that fails before the run (missing folder, name clash), with the reason.
  void AlbumRefused(int album_number, const std::string& name, const std::string& folder,
                    const std::string& reason);
  // A note that does not fail anything.
  void Warn(const std::string& text);
  // The albums RunPacking gets, in its order; starts the clock of the terminal line.
  void BeginRun(std::vector<Album> albums);
  // Ends the terminal line and the clock, so that the summary starts on a clean line.
  void EndRun();

  void AlbumStarted(int index, int file_count) override;
  void FileDone(int index, int file_counter) override;
  void AlbumFinished(int index, const AlbumOutcome& outcome) override;

  std::int64_t ElapsedSeconds() const;

 private:
  void DrawLocked();
  void ClearLineLocked();
  void WriteLocked(const std::string& text);
  void Tick();

  std::FILE* stream_;
  const Mode mode_;
  const int album_total_;
  const int columns_;
  const bool dumb_;
  const std::chrono::steady_clock::time_point start_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Album> albums_;
  std::string line_;  // the progress line on screen; empty when none
  int current_ = -1;  // run index of the album being packed
  int file_count_ = 0;
  int files_done_ = 0;
  std::chrono::steady_clock::time_point last_draw_;
  bool stopping_ = false;
  std::thread clock_;
};

}  // namespace lormex

#endif  // LORMEX_APP_PACK_REPORT_H_
