#ifndef LORMEX_TESTS_SETTINGS_PREFERENCE_TEST_SUPPORT_H_
#define LORMEX_TESTS_SETTINGS_PREFERENCE_TEST_SUPPORT_H_

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace lormex::testing {

// A settings record in field order.
Settings MakeSettings(std::string out_folder, std::string studio, int image_quality,
                      int image_max_width, int finished_open_folder);

// The names in `folder`, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& folder);

// The user a child of RunBoundByPermissions runs as: nobody when the tests run as root, else the
// tests' own user.
uid_t PermissionUser();
// Makes `path` belong to PermissionUser() (a no-op unless the tests run as root).
void GiveToPermissionUser(const std::string& path);

// Runs `body` in a child process that file permissions bind and gives its exit status (0..63).
// As root, the child first becomes nobody. `scratch_folder` must be writable by PermissionUser():
// the child proves there that a read-only file refuses writing. Gives nullopt when permissions do
// not bind (e.g. no way to give up root's rights); the caller skips then.
std::optional<int> RunBoundByPermissions(const std::string& scratch_folder,
                                         const std::function<int()>& body);

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_SETTINGS_PREFERENCE_TEST_SUPPORT_H_
