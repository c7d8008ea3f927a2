// lormex-pack: packs album folders given on the command line with the same engine, settings and
// archive names as the window program, for scripts and machines without a display.
#include <dirent.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "albums/album_rules.h"
#include "app/pack_options.h"
#include "app/pack_report.h"
#include "packing/album_walk.h"
#include "packing/errno_text.h"
#include "packing/packing_run.h"
#include "packing/unfinished_files.h"
#include "settings/preference_file.h"
#include "settings/settings.h"

namespace {

using lormex::PackReporter;

// The run checks this flag before every file; the signal handler may only touch lock-free atomics.
std::atomic<bool> stop_requested{false};
std::atomic<int> stop_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int number) {
  int expected = 0;
  if (!stop_signal.compare_exchange_strong(expected, number)) {
    // A second signal: stop now. Archives under way in unnamed files vanish with the process;
    // named temporary ones are removed here.
    lormex::RemoveUnfinishedArchives();
    _exit(lormex::kPackExitSignalBase + expected);
  }
  stop_requested.store(true);
  static const char kNote[] =
      "\n收到中断信号：当前文件完成后停止，未完成的压缩包不会留下。再按一次 Ctrl+C 立即退出。\n";
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kNote, sizeof kNote - 1);
}

void InstallStopHandlers() {
  for (int number : {SIGINT, SIGTERM}) {
    struct sigaction old_action {};
    if (sigaction(number, nullptr, &old_action) != 0) continue;
    // A job started with the signal ignored (a background job of a script) keeps it ignored.
    if (old_action.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(number, &action, nullptr);
  }
}

std::string WorkingFolder() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

int TerminalColumns() {
  struct winsize size {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

bool DumbTerminal() {
  const char* term = std::getenv("TERM");
  return term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0;
}

void Print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// Why `folder` cannot be packed before the run, or nothing.
std::string FolderProblem(const std::string& folder) {
  if (!lormex::IsLongEnoughForAlbum(folder)) return "根文件夹不能作为相册";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return errno == ENOTDIR ? std::string("不是文件夹")
                            : lormex::ErrnoText("无法打开相册文件夹", errno);
  }
  closedir(dir);
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv, argv + argc);
  QCoreApplication app(argc, argv);

  const lormex::PackCommand command =
      lormex::ParsePackArguments(arguments, lormex::LoadSettings(), WorkingFolder());
  switch (command.action) {
    case lormex::PackCommand::Action::kHelp:
    case lormex::PackCommand::Action::kVersion:
      Print(stdout, command.text);
      return lormex::kPackExitOk;
    case lormex::PackCommand::Action::kUsageError:
      Print(stderr, "lormex-pack：" + command.text + "\n用 lormex-pack --help 查看用法。\n");
      return lormex::kPackExitUsage;
    case lormex::PackCommand::Action::kPack:
      break;
  }
  InstallStopHandlers();

  const lormex::PackOptions& options = command.options;
  const int total = static_cast<int>(options.album_folders.size());
  const PackReporter::Mode mode = options.quiet                ? PackReporter::Mode::kQuiet
                                  : isatty(STDERR_FILENO) != 0 ? PackReporter::Mode::kTerminal
                                                               : PackReporter::Mode::kLines;
  PackReporter reporter(stderr, mode, total, TerminalColumns(), DumbTerminal());
  for (const std::string& warning : options.warnings) reporter.Warn(warning);

  lormex::PackTotals totals;
  totals.albums = total;
  std::vector<lormex::RunAlbum> run_albums;
  std::vector<PackReporter::Album> shown;
  // Two albums of the same name share one archive path: the later one would silently replace
  // the earlier one's archive, so it is refused instead.
  std::map<std::string, std::string> archive_owner;
  std::map<int, std::string> failed_names;  // by album number
  const lormex::Settings& settings = options.settings;
  int planned = 0;
  for (; planned < total && !stop_requested.load(); ++planned) {
    const int i = planned;
    const std::string& folder = options.album_folders[static_cast<std::size_t>(i)];
    const std::string name = lormex::AlbumNameFromPath(folder);
    std::string problem = FolderProblem(folder);
    int file_count = 0;
    if (problem.empty()) {
      reporter.Counting(i + 1);
      file_count = lormex::CountFiles(folder);
      if (file_count == 0) problem = "相册文件夹中没有文件";
    }
    if (problem.empty()) {
      std::optional<std::string> archive =
          lormex::ArchivePathFor(settings.OutFolder, settings.Studio, name, &problem);
      if (archive) {
        const auto [owner, inserted] = archive_owner.emplace(*archive, folder);
        if (!inserted) {
          problem = "与相册文件夹 " + owner->second + " 的压缩包同名（" + *archive + "），未打包";
        }
      }
    }
    if (!problem.empty()) {
      reporter.AlbumRefused(i + 1, name, folder, problem);
      ++totals.albums_failed;
      failed_names[i + 1] = name;
      continue;
    }
    run_albums.push_back({folder, name, file_count, lormex::AlbumStatus::kReady});
    shown.push_back({i + 1, name, folder});
  }

  lormex::SettingsStore store;
  store.Replace(settings);
  lormex::RunOptions run_options;
  run_options.picture_threads = options.jobs;
  reporter.BeginRun(shown);
  const lormex::RunSummary summary =
      lormex::RunPacking(&run_albums, store, &reporter, run_options, &stop_requested);
  reporter.EndRun();

  const bool stopped = summary.cancelled || planned < total;
  totals.cancelled = stopped;
  totals.albums_done = summary.albums_done;
  totals.albums_failed += summary.albums_failed;
  totals.files = summary.files;
  totals.seconds = reporter.ElapsedSeconds();
  for (std::size_t k = 0; k < run_albums.size(); ++k) {
    if (run_albums[k].status == lormex::AlbumStatus::kFailed) {
      failed_names[shown[k].number] = run_albums[k].name;
    }
  }
  for (const auto& [number, name] : failed_names) totals.failed_names.push_back(name);
  if (!options.quiet) Print(stdout, lormex::SummaryText(totals));

  if (stopped) return lormex::kPackExitSignalBase + stop_signal.load();
  return totals.albums_failed == 0 ? lormex::kPackExitOk : lormex::kPackExitAlbumFailed;
}
