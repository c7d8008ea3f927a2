#ifndef LORMEX_TESTS_PACKING_UNPRIVILEGED_H_
#define LORMEX_TESTS_PACKING_UNPRIVILEGED_H_

#include <functional>
#include <optional>
#include <string>

namespace lormex::testing {

// Runs `work` where file permissions apply: in a child process switched to the user and group
// 65534 when this process is root (root ignores permissions), directly otherwise. Gives what
// `work` returned, or nothing when the switch was impossible. `work` must not use test
// assertions; it reports through its result.
std::optional<std::string> RunUnprivileged(const std::function<std::string()>& work);

// Runs `work` in a child process and gives its result; for work that ends the process.
std::string RunInChild(const std::function<std::string()>& work);

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_PACKING_UNPRIVILEGED_H_
