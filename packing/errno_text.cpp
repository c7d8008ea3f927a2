#include "packing/errno_text.h"

#include <errno.h>
#include <string.h>

namespace lormex {
namespace {

const char* ChineseReason(int error_number) {
  switch (error_number) {
    case EACCES:
    case EPERM:
      return "没有访问权限";
    case ENOENT:
      return "文件或文件夹不存在";
    case ENOSPC:
      return "磁盘空间不足";
    case EDQUOT:
      return "超出磁盘配额";
    case EROFS:
      return "磁盘是只读的";
    case ENAMETOOLONG:
      return "文件名或路径过长";
    case ENOTDIR:
      return "路径中有一部分不是文件夹";
    case EISDIR:
      return "这是一个文件夹";
    case ELOOP:
      return "链接层数过多";
    case EIO:
      return "读写错误，磁盘可能已损坏或已拔出";
    case ENOMEM:
      return "内存不足";
    case EMFILE:
    case ENFILE:
      return "打开的文件过多";
    case EFBIG:
      return "文件过大";
    case ENODEV:
    case ENXIO:
      return "设备不存在或已断开";
    default:
      return nullptr;
  }
}

}  // namespace

std::string SystemErrorText(int error_number) {
  char buffer[256];
  // The GNU strerror_r gives a pointer that may or may not be `buffer`.
  const char* system_text = strerror_r(error_number, buffer, sizeof buffer);
  const char* reason = ChineseReason(error_number);
  if (reason == nullptr) return system_text;
  return std::string(reason) + " (" + system_text + ")";
}

std::string ErrnoText(const char* what, int error_number) {
  return std::string(what) + "：" + SystemErrorText(error_number);
}

}  // namespace lormex
