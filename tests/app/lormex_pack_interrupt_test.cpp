// lormex-pack stopped while it writes an archive: killed outright, or asked to stop by SIGTERM or
// Ctrl+C. Nothing half-written may be left in the output folder, an archive finished earlier in the
// run stays whole, and the album folders are left exactly as they were.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/pack_command_support.h"
#include "tests/packing/archive_test_support.h"
#include "tests/packing/picture_fixtures.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::ListFolder;
using testing::TempDir;
using testing::WriteFile;

// How a stopped lormex-pack ended.
struct Ending {
  bool exited = false;
  int status = 0;  // the exit status, or the signal that ended it
};

// A lormex-pack started in `folder` with stdin empty and its output kept in files.
class PackProcess {
 public:
  PackProcess(const std::string& folder, const std::vector<std::string>& arguments) {
    out_path_ = scratch_ / "stdout";
    err_path_ = scratch_ / "stderr";
    const std::string binary = testing::LormexPackPath();
    std::vector<std::string> argv_text = {binary};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argv_text) argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      // A test runner started in the background may pass the stop signals on ignored, and
      // lormex-pack keeps ignored signals ignored; this child must see them.
      signal(SIGINT, SIG_DFL);
      signal(SIGTERM, SIG_DFL);
      const int in = open("/dev/null", O_RDONLY);
      const int out = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
          chdir(folder.c_str()) != 0) {
        _exit(120);
      }
      execv(binary.c_str(), argv.data());
      _exit(121);
    }
  }

  ~PackProcess() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  PackProcess(const PackProcess&) = delete;
  PackProcess& operator=(const PackProcess&) = delete;

  pid_t pid() const { return pid_; }

  // True once the process has ended (then reaped).
  bool Ended() {
    if (ended_) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) Reaped(status);
    return ended_;
  }

  Ending Wait() {
    if (!ended_) {
      int status = 0;
      if (waitpid(pid_, &status, 0) == pid_) Reaped(status);
    }
    return ending_;
  }

  std::string Err() const { return testing::ReadFile(err_path_); }

 private:
  void Reaped(int status) {
    ended_ = true;
    ending_.exited = WIFEXITED(status);
    ending_.status = WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status);
  }

  TempDir scratch_;
  std::string out_path_;
  std::string err_path_;
  pid_t pid_ = -1;
  bool ended_ = false;
  Ending ending_;
};

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// True when `pid` holds a file in `folder` open that has bytes in it and is none of `finished`:
// an archive under way, unnamed ("<folder>/#123 (deleted)") or under a temporary name.
bool WritesInto(pid_t pid, const std::string& folder, const std::vector<std::string>& finished) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = opendir(fds.c_str());
  if (dir == nullptr) return false;
  bool writing = false;
  while (const dirent* item = readdir(dir)) {
    const std::string link = fds + "/" + item->d_name;
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    const std::string path = target;
    bool done = false;
    for (const std::string& name : finished) done = done || path == folder + "/" + name;
    struct stat status;
    if (!done && path.rfind(folder + "/", 0) == 0 && stat(link.c_str(), &status) == 0 &&
        S_ISREG(status.st_mode) && status.st_size > 0) {
      writing = true;
      break;
    }
  }
  closedir(dir);
  return writing;
}

struct StopCase {
  const char* label;
  int signal_number;
  std::vector<std::string> albums;       // below the albums folder
  std::vector<std::string> wait_for;     // archives that must be finished before the stop
  bool exited;                           // ended by exit (true) or by the signal itself
  int status;                            // the exit status or the signal
  std::vector<std::string> left_in_out;  // what the output folder holds afterwards
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.label; }

class LormexPackStopTest : public ::testing::TestWithParam<StopCase> {
 protected:
  // Two albums shared by every case: "First", two small files, and "Big", large enough (48 MiB
  // that deflate cannot shrink, and pictures for the picture threads) that its archive is still
  // being written when the test sees it begin.
  static void SetUpTestSuite() {
    albums_ = new TempDir;
    WriteFile(*albums_ / "First/a.txt", "first album");
    WriteFile(*albums_ / "First/sub/b.txt", "first album, sub-folder");
    for (int i = 0; i < 12; ++i) {
      WriteFile(*albums_ / ("Big/data/part" + std::to_string(i) + ".bin"),
                testing::RandomBytes(4 << 20, static_cast<std::uint32_t>(100 + i)));
    }
    for (int i = 0; i < 8; ++i) {
      WriteFile(
          *albums_ / ("Big/IMG_" + std::to_string(i) + ".jpg"),
          testing::EncodeFixtureJpeg(testing::NoisePixels(640, 480, static_cast<unsigned>(i))));
    }
  }
  static void TearDownTestSuite() {
    delete albums_;
    albums_ = nullptr;
  }

  static TempDir* albums_;
};

TempDir* LormexPackStopTest::albums_ = nullptr;

TEST_P(LormexPackStopTest, LeavesNoHalfWrittenArchiveAndTheAlbumsUnchanged) {
  const StopCase& c = GetParam();
  TempDir dir;
  testing::MakeFolders(dir / "out");
  const std::string out = RealPath(dir / "out");
  const std::string before = testing::TreeFingerprint(albums_->path());

  std::vector<std::string> arguments = {"--out", out, "--studio", "S", "--max-size", "100"};
  for (const std::string& album : c.albums) arguments.push_back(albums_->path() + album);
  PackProcess process(dir.path(), arguments);
  ASSERT_GT(process.pid(), 0);

  // Until the last album's archive is under way, the ones before it finished.
  bool under_way = false;
  while (!process.Ended()) {
    bool earlier_done = true;
    for (const std::string& archive : c.wait_for) {
      earlier_done = earlier_done && testing::FileExists(out + "/" + archive);
    }
    if (earlier_done && WritesInto(process.pid(), out, c.wait_for)) {
      under_way = true;
      break;
    }
    usleep(2000);
  }
  ASSERT_TRUE(under_way) << "lormex-pack ended before its archive was seen under way:\n"
                         << process.Err();
  ASSERT_EQ(kill(process.pid(), c.signal_number), 0);
  const Ending ending = process.Wait();

  EXPECT_EQ(ending.exited, c.exited) << process.Err();
  EXPECT_EQ(ending.status, c.status) << process.Err();
  EXPECT_EQ(ListFolder(out), c.left_in_out);
  for (const std::string& archive : c.left_in_out) {
    testing::ExpectReadersAccept(out + "/" + archive);
  }
  EXPECT_EQ(testing::TreeFingerprint(albums_->path()), before) << "the albums were changed";
}

INSTANTIATE_TEST_SUITE_P(
    Stops, LormexPackStopTest,
    ::testing::Values(
        StopCase{"Killed", SIGKILL, {"Big"}, {}, false, SIGKILL, {}},
        // Asked to stop, it finishes the file under way and drops the album's archive.
        StopCase{"Terminated", SIGTERM, {"Big"}, {}, true, 143, {}},
        StopCase{"Interrupted", SIGINT, {"Big"}, {}, true, 130, {}},
        StopCase{"KilledDuringTheSecondAlbum",
                 SIGKILL,
                 {"First", "Big"},
                 {"S_First.zip"},
                 false,
                 SIGKILL,
                 {"S_First.zip"}},
        StopCase{"TerminatedDuringTheSecondAlbum",
                 SIGTERM,
                 {"First", "Big"},
                 {"S_First.zip"},
                 true,
                 143,
                 {"S_First.zip"}}),
    [](const auto& row) { return std::string(row.param.label); });

}  // namespace
}  // namespace lormex
