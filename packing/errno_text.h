#ifndef LORMEX_PACKING_ERRNO_TEXT_H_
#define LORMEX_PACKING_ERRNO_TEXT_H_

#include <string>

namespace lormex {

// The system's reason for `error_number` in the product's language: the errors a studio meets
// (no permission, full disk, missing file, name too long...) in Chinese, with the system's
// English text in brackets; other errors in the system's words. Thread-safe.
std::string SystemErrorText(int error_number);

// `what`, a full-width colon and SystemErrorText, e.g. "无法打开文件：没有访问权限
// (Permission denied)". Thread-safe.
std::string ErrnoText(const char* what, int error_number);

}  // namespace lormex

#endif  // LORMEX_PACKING_ERRNO_TEXT_H_
