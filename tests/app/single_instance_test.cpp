// The single-instance guard: the decision over a process list, and real copies of the program.
#include "app/single_instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/test_files.h"

extern char** environ;

namespace lormex {
namespace {

struct GuardCase {
  const char* name;
  std::vector<ProcessInfo> others;
  bool refused;
};

class GuardDecisionTest : public ::testing::TestWithParam<GuardCase> {};

TEST_P(GuardDecisionTest, OnlyAnEarlierProcessOfTheSameFileNameRefuses) {
  const ProcessInfo self{100, "lormex", 5000};
  std::vector<ProcessInfo> processes = GetParam().others;
  processes.push_back(self);
  EXPECT_EQ(IsAnotherInstanceAmong(processes, self), GetParam().refused);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GuardDecisionTest,
    ::testing::Values(
        GuardCase{"Alone", {}, false},
        GuardCase{"OtherPrograms", {{1, "systemd", 1}, {7, "bash", 4000}}, false},
        GuardCase{"EarlierCopy", {{50, "lormex", 4000}}, true},
        GuardCase{"OtherNameDiffersInCase", {{50, "Lormex", 4000}}, false},
        GuardCase{"OtherNameLonger", {{50, "lormex2", 4000}}, false},
        GuardCase{"OtherNameWithBlank", {{50, "lormex ", 4000}}, false},
        // Several copies started at once: the earliest goes on, ties go to the lower pid.
        GuardCase{"LaterCopyGivesWayToThis", {{150, "lormex", 5001}}, false},
        GuardCase{"SameTickLowerPid", {{99, "lormex", 5000}}, true},
        GuardCase{"SameTickHigherPid", {{101, "lormex", 5000}}, false}),
    [](const auto& test_info) { return std::string(test_info.param.name); });

TEST(GuardProcessListTest, FindsThisProcessUnderItsProgramFileName) {
  std::optional<std::vector<ProcessInfo>> processes = ListProcesses();
  ASSERT_TRUE(processes.has_value());
  std::optional<ProcessInfo> self = ReadProcess(getpid());
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(self->program_file_name, "single_instance_tests");
  bool found = false;
  for (const ProcessInfo& p : *processes) found |= p.pid == getpid();
  EXPECT_TRUE(found);
}

// Real copies of the window program, started offscreen in a scratch working folder.
class GuardProgramTest : public ::testing::Test {
 protected:
  std::string CopyProgram(const std::string& folder, const std::string& name) {
    const std::string target = dir_ / (folder + "/" + name);
    testing::MakeFolders(dir_ / folder);
    std::filesystem::copy_file(std::string(LORMEX_BINARY_DIR) + "/app/lormex", target);
    std::filesystem::permissions(target, std::filesystem::perms::owner_all);
    return target;
  }

  pid_t Start(const std::string& program) {
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "HOME=" + dir_.path()};
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.path().c_str());
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    started_.push_back(pid);
    return pid;
  }

  // The exit status once the process has ended within `limit`, or nothing while it runs.
  static std::optional<int> WaitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
      int status = 0;
      const pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  void TearDown() override {
    for (pid_t pid : started_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  testing::TempDir dir_;
  std::vector<pid_t> started_;
  // Unique per test run, so that a Lormex running on the machine does not take part.
  const std::string name_ = "lormex-guard-" + std::to_string(getpid());
};

TEST_F(GuardProgramTest, ASecondCopyOfTheSameFileNameEndsAtOnceWithZero) {
  const pid_t first = Start(CopyProgram("a", name_));
  // Under load the first copy may still be starting; it needs to exist, not to show a window.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_FALSE(WaitFor(first, std::chrono::milliseconds(0)).has_value()) << "first copy ended";

  const pid_t same_name_elsewhere = Start(CopyProgram("b", name_));
  EXPECT_EQ(WaitFor(same_name_elsewhere, std::chrono::seconds(20)), std::optional<int>(0));

  const pid_t other_name = Start(CopyProgram("c", name_ + "-b"));
  EXPECT_FALSE(WaitFor(other_name, std::chrono::seconds(2)).has_value())
      << "a copy under another file name must run";
  EXPECT_FALSE(WaitFor(first, std::chrono::milliseconds(0)).has_value())
      << "the first copy goes on undisturbed";
  // Starting (and ending) the program writes no preference file in its working folder.
  TearDown();
  started_.clear();
  EXPECT_FALSE(testing::FileExists(dir_ / "Lormex.pref"));
}

TEST_F(GuardProgramTest, OfEightCopiesStartedAtOnceExactlyOneRuns) {
  const std::string program = CopyProgram("a", name_);
  std::vector<pid_t> copies;
  for (int i = 0; i < 8; ++i) copies.push_back(Start(program));
  int refused = 0;
  for (pid_t pid : copies) {
    std::optional<int> status = WaitFor(pid, std::chrono::seconds(3));
    if (status.has_value()) {
      EXPECT_EQ(*status, 0);
      ++refused;
    }
  }
  EXPECT_EQ(refused, 7);
}

}  // namespace
}  // namespace lormex
