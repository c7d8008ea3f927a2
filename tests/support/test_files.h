#ifndef LORMEX_TESTS_SUPPORT_TEST_FILES_H_
#define LORMEX_TESTS_SUPPORT_TEST_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace lormex::testing {

// A fresh folder below the system's temporary folder, removed with everything in it at the end
// of its scope. `path()` ends with "/".
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() followed by `relative`.
  std::string operator/(const std::string& relative) const { return path_ + relative; }

 private:
  std::string path_;
};

// Writes `bytes` to `path`, creating the folders on the way. Fails the test on error.
void WriteFile(const std::string& path, const std::string& bytes);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
// The whole file, or an empty string with a test failure when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// Creates a folder and the folders on the way.
void MakeFolders(const std::string& path);

// A fixture file kept in tests/data.
std::string TestDataPath(const std::string& relative);

// Runs a shell command and gives its exit status and what it printed on stdout.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::string& command);

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_SUPPORT_TEST_FILES_H_
