#include "packing/elapsed_time.h"

#include <cstdio>

namespace lormex {

std::string ElapsedTimeText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(seconds / 3600 % 24),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

}  // namespace lormex
