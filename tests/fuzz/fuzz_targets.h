#ifndef LORMEX_TESTS_FUZZ_FUZZ_TARGETS_H_
#define LORMEX_TESTS_FUZZ_FUZZ_TARGETS_H_

// The bodies of the fuzz targets. libFuzzer calls one of them through fuzz_main.cpp; the corpus
// replay test calls each of them on every file kept for it in tests/fuzz/corpus/<target>/, so
// whatever fuzzing once found stays a regression test in every build.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace lormex::fuzz {

// A broken invariant. Thrown, so that libFuzzer sees a crash (the exception is not caught there)
// and the replay test sees a failure with its text.
class FuzzFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Throws FuzzFailure with `what` when `condition` is false.
void Check(bool condition, const std::string& what);

// Any bytes re-encoded as a picture (decode, turn upright, resample, encode). The first byte picks
// two size limits and the quality; the rest is the file.
void FuzzPicture(std::span<const std::uint8_t> input);

// The same with the rest of the input behind a BMP signature, so every input reaches the BMP
// decoder.
void FuzzBmp(std::span<const std::uint8_t> input);

// Any bytes read as a preference file, saved, read again and updated with settings.
void FuzzPreference(std::span<const std::uint8_t> input);

// Any bytes as a path relative to an album folder, turned into an entry name.
void FuzzEntryName(std::span<const std::uint8_t> input);

}  // namespace lormex::fuzz

#endif  // LORMEX_TESTS_FUZZ_FUZZ_TARGETS_H_
