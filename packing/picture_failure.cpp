#include "packing/picture_failure.h"

#include "packing/errno_text.h"

namespace lormex {

std::string PictureFailureText(const PictureError& error) {
  switch (error.failure) {
    case PictureFailure::kNone:
      return {};
    case PictureFailure::kEmptyFile:
      return "文件为空";
    case PictureFailure::kUnknownContent:
      return "不是可识别的图片";
    case PictureFailure::kNotRegularFile:
      return "不是普通文件";
    case PictureFailure::kReadError:
      return ErrnoText("无法读取文件", error.error_number);
    case PictureFailure::kCorrupt:
      return "图片已损坏";
    case PictureFailure::kUnsupported:
      return "不支持的图片格式";
    case PictureFailure::kTooLarge:
      return "图片尺寸过大";
    case PictureFailure::kTooManyScans:
      return "图片扫描段过多";
    case PictureFailure::kZeroSide:
      return "缩放后的图片尺寸为 0";
    case PictureFailure::kOutOfMemory:
      return "内存不足";
    case PictureFailure::kEncodeFailed:
      return "无法编码图片";
  }
  return "图片已损坏";
}

}  // namespace lormex
