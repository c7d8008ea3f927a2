// A save that fails or dies at any point must leave the old file or the new one, never a mix, and
// must not leave its temporary file behind when it fails.

#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "settings/preference_file.h"
#include "settings/preference_save_calls.h"
#include "tests/settings/preference_test_support.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::FileExists;
using testing::ListFolder;
using testing::MakeSettings;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

enum class Call { kWrite, kSyncFile, kLink, kRename, kSyncFolder };

const char* CallName(Call call) {
  static const char* const kNames[] = {"write", "fsync(file)", "link", "rename", "fsync(folder)"};
  return kNames[static_cast<int>(call)];
}

// What the replaced system calls do; reset by the fixture before every test.
struct FaultPlan {
  std::size_t fail_at = 0;  // number of the call (from 1) that fails; 0: none
  bool kill = false;        // the failing call kills the process instead
  std::size_t max_write = std::numeric_limits<std::size_t>::max();
  std::size_t disk_space = std::numeric_limits<std::size_t>::max();
  bool interrupt_every_other_write = false;
  bool writes_make_no_progress = false;

  std::vector<Call> calls;
  std::size_t writes = 0;
  std::size_t bytes_written = 0;
};

FaultPlan plan;

// Records the call and tells whether it is the one to fail.
bool Fails(Call call) {
  plan.calls.push_back(call);
  if (plan.calls.size() != plan.fail_at) return false;
  if (plan.kill) ::raise(SIGKILL);
  errno = EIO;
  return true;
}

ssize_t FaultyWrite(int fd, const void* data, std::size_t size) {
  if (Fails(Call::kWrite)) return -1;
  if (plan.interrupt_every_other_write && plan.writes++ % 2 == 0) {
    errno = EINTR;
    return -1;
  }
  if (plan.writes_make_no_progress) return 0;
  if (plan.bytes_written >= plan.disk_space) {
    errno = ENOSPC;
    return -1;
  }
  size = std::min({size, plan.max_write, plan.disk_space - plan.bytes_written});
  const ssize_t written = ::write(fd, data, size);
  if (written > 0) plan.bytes_written += static_cast<std::size_t>(written);
  return written;
}

int FaultyFsync(int fd) {
  struct stat status;
  if (::fstat(fd, &status) != 0) return -1;
  if (Fails(S_ISDIR(status.st_mode) ? Call::kSyncFolder : Call::kSyncFile)) return -1;
  return ::fsync(fd);
}

int FaultyLinkat(int old_folder, const char* old_name, int new_folder, const char* new_name,
                 int flags) {
  if (Fails(Call::kLink)) return -1;
  return ::linkat(old_folder, old_name, new_folder, new_name, flags);
}

int FaultyRenameat(int old_folder, const char* old_name, int new_folder, const char* new_name) {
  if (Fails(Call::kRename)) return -1;
  return ::renameat(old_folder, old_name, new_folder, new_name);
}

const std::string kHead = "\xEF\xBB\xBF\r\n";
const std::string kOld = kHead + "; by hand\r\n[Option]\r\nStudio = Old\r\nTheme = dark\r\n";
const Settings kNewSettings = MakeSettings("/srv/out/", "New", 85, 3000, 1);
const std::string kNew =
    kHead +
    "; by hand\r\n[Option]\r\nStudio = New\r\nTheme = dark\r\nOutFolder = /srv/out/\r\n"
    "ImageQuality = 85\r\nImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n";
const std::string kNewFromNothing =
    kHead +
    "[Option]\r\nOutFolder = /srv/out/\r\nStudio = New\r\nImageQuality = 85\r\n"
    "ImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n";

class SaveFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plan = FaultPlan{};
    PreferenceSaveCalls& calls = PreferenceSaveCallsForTesting();
    calls.write = FaultyWrite;
    calls.fsync = FaultyFsync;
    calls.linkat = FaultyLinkat;
    calls.renameat = FaultyRenameat;
  }
  void TearDown() override { PreferenceSaveCallsForTesting() = PreferenceSaveCalls{}; }

  // Puts the old file (or none) in place and clears the record of calls, keeping the fault.
  void Reset(const std::optional<std::string>& old) {
    if (old) {
      WriteFile(path_, *old);
    } else {
      std::remove(path_.c_str());
    }
    FaultPlan fresh;
    fresh.fail_at = plan.fail_at;
    fresh.kill = plan.kill;
    fresh.max_write = plan.max_write;
    plan = fresh;
  }

  // The file must hold exactly `expected`, or be missing for nullopt; a temporary file left by a
  // killed save is removed and counted.
  void ExpectFile(const std::optional<std::string>& expected, std::size_t& left_over) {
    for (const std::string& name : ListFolder(dir_.path())) {
      if (name == "Lormex.pref") continue;
      EXPECT_EQ(name.rfind(".Lormex.pref.", 0), 0u) << "unexpected file " << name;
      std::remove((dir_ / name).c_str());
      ++left_over;
    }
    if (expected) {
      EXPECT_EQ(ReadFile(path_), *expected);
    } else {
      EXPECT_FALSE(FileExists(path_));
    }
  }

  TempDir dir_;
  const std::string path_ = dir_ / "Lormex.pref";
};

struct FaultCase {
  const char* name;
  std::optional<std::string> old;  // nullopt: no file
  std::size_t max_write;           // bytes a single write takes at most
  bool unnamed;                    // the temporary file is made without a name first
};

class EveryCallFaultTest : public SaveFaultTest, public ::testing::WithParamInterface<FaultCase> {
 protected:
  const std::string& NewBytes() const { return GetParam().old ? kNew : kNewFromNothing; }

  // The calls of a save that nothing disturbs, which the fault loops walk through one by one.
  std::vector<Call> CleanSave() {
    PreferenceSaveCallsForTesting().unnamed_temporary = GetParam().unnamed;
    plan.max_write = GetParam().max_write;
    Reset(GetParam().old);
    EXPECT_TRUE(SaveSettings(kNewSettings, path_));
    EXPECT_EQ(ReadFile(path_), NewBytes());
    return plan.calls;
  }
  bool Unsupported(const std::vector<Call>& calls) const {
    return GetParam().unnamed && std::find(calls.begin(), calls.end(), Call::kLink) == calls.end();
  }
};

TEST_P(EveryCallFaultTest, CleanSaveSyncsTheFileBeforeAndTheFolderAfterTheRename) {
  std::vector<Call> calls = CleanSave();
  if (Unsupported(calls)) GTEST_SKIP() << "this file system makes no unnamed files";
  // Only the writes may repeat; they come first.
  const auto first_other =
      std::find_if(calls.begin(), calls.end(), [](Call call) { return call != Call::kWrite; });
  EXPECT_GE(first_other - calls.begin(), GetParam().max_write < kNew.size() ? 2 : 1);
  calls.erase(calls.begin(), first_other);
  std::vector<Call> expected = {Call::kSyncFile, Call::kRename, Call::kSyncFolder};
  if (GetParam().unnamed) expected.insert(expected.begin() + 1, Call::kLink);
  EXPECT_EQ(calls, expected);
}

TEST_P(EveryCallFaultTest, FailureAtAnyCallLeavesTheOldFileOrTheNew) {
  const std::vector<Call> calls = CleanSave();
  if (Unsupported(calls)) GTEST_SKIP() << "this file system makes no unnamed files";
  for (std::size_t k = 1; k <= calls.size(); ++k) {
    SCOPED_TRACE(::testing::Message() << "call " << k << ": " << CallName(calls[k - 1]));
    plan.fail_at = k;
    Reset(GetParam().old);
    const bool saved = SaveSettings(kNewSettings, path_);
    // Past the rename the new file is in place; a failed folder sync cannot take that back. An
    // unnamed file that cannot be linked is written again with a name.
    const bool replaced = calls[k - 1] == Call::kSyncFolder || calls[k - 1] == Call::kLink;
    EXPECT_EQ(saved, replaced);
    std::size_t left_over = 0;
    ExpectFile(replaced ? NewBytes() : GetParam().old, left_over);
    EXPECT_EQ(left_over, 0u) << "a failed save left its temporary file";
  }
}

TEST_P(EveryCallFaultTest, KillAtAnyCallLeavesTheOldFileOrTheNew) {
  const std::vector<Call> calls = CleanSave();
  if (Unsupported(calls)) GTEST_SKIP() << "this file system makes no unnamed files";
  for (std::size_t k = 1; k <= calls.size(); ++k) {
    const Call call = calls[k - 1];
    SCOPED_TRACE(::testing::Message() << "call " << k << ": " << CallName(call));
    plan.fail_at = k;
    Reset(GetParam().old);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      plan.kill = true;
      SaveSettings(kNewSettings, path_);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    std::size_t left_over = 0;
    ExpectFile(call == Call::kSyncFolder ? NewBytes() : GetParam().old, left_over);
    // A file without a name vanishes with the process; only a named one can remain.
    const bool named_yet = GetParam().unnamed ? call == Call::kRename : call != Call::kSyncFolder;
    EXPECT_EQ(left_over, named_yet ? 1u : 0u);
  }
}

constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

INSTANTIATE_TEST_SUITE_P(Saves, EveryCallFaultTest,
                         ::testing::Values(FaultCase{"OldFileUnnamed", kOld, kWhole, true},
                                           FaultCase{"OldFileUnnamedShortWrites", kOld, 16, true},
                                           FaultCase{"OldFileNamed", kOld, kWhole, false},
                                           FaultCase{"OldFileNamedShortWrites", kOld, 16, false},
                                           FaultCase{"NoFileUnnamed", std::nullopt, kWhole, true},
                                           FaultCase{"NoFileNamedShortWrites", std::nullopt, 16,
                                                     false}),
                         [](const auto& row) { return std::string(row.param.name); });

struct WriteCase {
  const char* name;
  std::size_t max_write;
  std::size_t disk_space;
  bool interrupt_every_other_write;
  bool writes_make_no_progress;
  bool saved;
};

class WriteBehaviourTest : public SaveFaultTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteBehaviourTest, WritesEverythingOrKeepsTheOldFile) {
  const WriteCase& c = GetParam();
  Reset(kOld);
  plan.max_write = c.max_write;
  plan.disk_space = c.disk_space;
  plan.interrupt_every_other_write = c.interrupt_every_other_write;
  plan.writes_make_no_progress = c.writes_make_no_progress;
  EXPECT_EQ(SaveSettings(kNewSettings, path_), c.saved);
  std::size_t left_over = 0;
  ExpectFile(c.saved ? kNew : kOld, left_over);
  EXPECT_EQ(left_over, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WriteBehaviourTest,
    ::testing::Values(WriteCase{"OneByteAtATime", 1, kWhole, false, false, true},
                      WriteCase{"InterruptedEveryOtherCall", 5, kWhole, true, false, true},
                      WriteCase{"DiskFullHalfway", kWhole, 20, false, false, false},
                      WriteCase{"DiskFullAtOnce", kWhole, 0, false, false, false},
                      WriteCase{"NoProgress", kWhole, kWhole, false, true, false}),
    [](const auto& row) { return std::string(row.param.name); });

// Without any seam: a process saving two versions in turn, killed at ever other moments.
TEST_F(SaveFaultTest, KilledWhileSavingAgainAndAgainLeavesAWholeFile) {
  PreferenceSaveCallsForTesting() = PreferenceSaveCalls{};
  const Settings first = MakeSettings("/first/", "First", 80, 1000, 0);
  const Settings second = MakeSettings("/second/", "Second with a longer name", 90, 4000, 1);
  const std::string first_bytes =
      kHead +
      "; by hand\r\n[Option]\r\nStudio = First\r\nTheme = dark\r\nOutFolder = /first/\r\n"
      "ImageQuality = 80\r\nImageMaxWidth = 1000\r\nFinishedOpenFolder = 0\r\n";
  const std::string second_bytes =
      kHead +
      "; by hand\r\n[Option]\r\nStudio = Second with a longer name\r\nTheme = dark\r\n"
      "OutFolder = /second/\r\nImageQuality = 90\r\nImageMaxWidth = 4000\r\n"
      "FinishedOpenFolder = 1\r\n";
  // The kills must fall at all points of both saves, whatever a save takes on this disk: spread
  // them over the time of two saves.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 4; ++i) SaveSettings(i % 2 == 0 ? first : second, path_);
  const auto four_saves = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
  const long spread = std::clamp<long>(four_saves / 2, 1000, 50000);
  Reset(kOld);
  std::size_t left_over = 0;
  for (int round = 0; round < 100; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        SaveSettings(first, path_);
        SaveSettings(second, path_);
      }
    }
    ::usleep(static_cast<useconds_t>((round * 7919L) % spread));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    const std::string bytes = ReadFile(path_);
    EXPECT_TRUE(bytes == kOld || bytes == first_bytes || bytes == second_bytes)
        << "round " << round << ": " << ::testing::PrintToString(bytes);
    ExpectFile(bytes, left_over);
  }
  // Each kill leaves at most the one temporary file its save had open.
  EXPECT_LE(left_over, 100u);
}

}  // namespace
}  // namespace lormex
