// The entry point libFuzzer calls; LORMEX_FUZZ_TARGET names the body (see fuzz_targets.h).
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lormex::fuzz::LORMEX_FUZZ_TARGET({data, size});
  return 0;
}
