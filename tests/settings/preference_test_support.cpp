#include "tests/settings/preference_test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace lormex::testing {
namespace {

constexpr uid_t kNobody = 65534;
constexpr int kPermissionsDoNotBind = 77;

}  // namespace

Settings MakeSettings(std::string out_folder, std::string studio, int image_quality,
                      int image_max_width, int finished_open_folder) {
  Settings settings;
  settings.OutFolder = std::move(out_folder);
  settings.Studio = std::move(studio);
  settings.ImageQuality = image_quality;
  settings.ImageMaxWidth = image_max_width;
  settings.FinishedOpenFolder = finished_open_folder;
  return settings;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_FALSE(error) << "cannot list " << folder;
  std::sort(names.begin(), names.end());
  return names;
}

uid_t PermissionUser() { return ::geteuid() == 0 ? kNobody : ::geteuid(); }

void GiveToPermissionUser(const std::string& path) {
  if (::geteuid() != 0) return;
  ASSERT_EQ(::lchown(path.c_str(), kNobody, kNobody), 0) << path;
}

std::optional<int> RunBoundByPermissions(const std::string& scratch_folder,
                                         const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) {
    ADD_FAILURE() << "fork failed";
    return std::nullopt;
  }
  if (child == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(kPermissionsDoNotBind);
    }
    // A user may still hold rights that override file permissions; find out by trying.
    const std::string probe = scratch_folder + "/.permission-probe";
    const int created = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0444);
    if (created < 0) ::_exit(kPermissionsDoNotBind);
    ::close(created);
    const int reopened = ::open(probe.c_str(), O_WRONLY);
    ::unlink(probe.c_str());
    if (reopened >= 0) ::_exit(kPermissionsDoNotBind);
    ::_exit(body() & 63);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
    ADD_FAILURE() << "the unprivileged child did not end normally";
    return std::nullopt;
  }
  if (WEXITSTATUS(status) == kPermissionsDoNotBind) return std::nullopt;
  return WEXITSTATUS(status);
}

}  // namespace lormex::testing
