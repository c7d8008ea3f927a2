// Every file kept in a fuzz target's corpus (its seeds and whatever fuzzing found) replayed
// through the target's body in the ordinary test builds, sanitizers included.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

struct Target {
  const char* name;
  void (*body)(std::span<const std::uint8_t>);
};

class CorpusReplayTest : public ::testing::TestWithParam<Target> {};

TEST_P(CorpusReplayTest, EveryKeptInputHoldsTheInvariants) {
  const std::filesystem::path folder = std::filesystem::path(LORMEX_FUZZ_CORPUS) / GetParam().name;
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
    if (item.is_regular_file()) files.push_back(item.path());
  }
  ASSERT_FALSE(error) << folder << ": " << error.message();
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no seeds in " << folder;
  for (const auto& file : files) {
    const std::string bytes = testing::ReadFile(file.string());
    try {
      GetParam().body({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    } catch (const fuzz::FuzzFailure& failure) {
      ADD_FAILURE() << file.filename().string() << ": " << failure.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplayTest,
                         ::testing::Values(Target{"fuzz_picture", fuzz::FuzzPicture},
                                           Target{"fuzz_bmp", fuzz::FuzzBmp},
                                           Target{"fuzz_preference", fuzz::FuzzPreference},
                                           Target{"fuzz_entry_name", fuzz::FuzzEntryName}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace lormex
