#include "packing/errno_text.h"

#include <string.h>

namespace lormex {

std::string ErrnoText(const char* what, int error_number) {
  char buffer[256];
  // The GNU strerror_r gives a pointer that may or may not be `buffer`.
  const char* text = strerror_r(error_number, buffer, sizeof buffer);
  return std::string(what) + "：" + text;
}

}  // namespace lormex
