#ifndef LORMEX_PACKING_ERRNO_TEXT_H_
#define LORMEX_PACKING_ERRNO_TEXT_H_

#include <string>

namespace lormex {

// `what`, a full-width colon and the system's text for `error_number`, e.g.
// "无法打开文件：Permission denied". Thread-safe.
std::string ErrnoText(const char* what, int error_number);

}  // namespace lormex

#endif  // LORMEX_PACKING_ERRNO_TEXT_H_
