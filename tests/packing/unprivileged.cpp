#include "tests/packing/unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lormex::testing {
namespace {

constexpr int kCannotSwitch = 77;

std::optional<std::string> Fork(const std::function<std::string()>& work, bool switch_user) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return std::nullopt;
  const pid_t child = fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    close(pipe_fds[0]);
    if (switch_user && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                        setresuid(65534, 65534, 65534) != 0)) {
      _exit(kCannotSwitch);
    }
    const std::string result = work();
    std::size_t written = 0;
    while (written < result.size()) {
      const ssize_t n = write(pipe_fds[1], result.data() + written, result.size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(pipe_fds[1]);
  std::string result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) {
    result.append(buffer, static_cast<std::size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotSwitch) return std::nullopt;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed: " + result;
  return result;
}

}  // namespace

std::optional<std::string> RunUnprivileged(const std::function<std::string()>& work) {
  if (geteuid() != 0) return work();
  return Fork(work, true);
}

std::string RunInChild(const std::function<std::string()>& work) {
  return Fork(work, false).value_or("cannot start a child process");
}

}  // namespace lormex::testing
