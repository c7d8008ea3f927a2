#include "tests/fuzz/fuzz_targets.h"

namespace lormex::fuzz {

void Check(bool condition, const std::string& what) {
  if (!condition) throw FuzzFailure(what);
}

}  // namespace lormex::fuzz
