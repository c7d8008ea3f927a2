#ifndef LORMEX_PACKING_PICTURE_FAILURE_H_
#define LORMEX_PACKING_PICTURE_FAILURE_H_

#include <string>

namespace lormex {

// Why a picture could not be re-encoded. Every one of them makes the caller store the original.
enum class PictureFailure {
  kNone,
  kEmptyFile,       // no bytes at all
  kUnknownContent,  // neither a JPEG nor a BMP by its first bytes
  kNotRegularFile,  // a folder, pipe or device under a picture's name
  kReadError,       // opening or reading failed; comes with an errno value
  kCorrupt,         // damaged or truncated data, or a decoder warning
  kUnsupported,     // a valid picture of a kind we do not decode (12-bit, RLE BMP, ...)
  kTooLarge,        // beyond the size or decoder memory limits
  kTooManyScans,    // a progressive file with an absurd number of scans
  kZeroSide,        // the size rule gives a side of 0 or less
  kOutOfMemory,     // an allocation failed
  kEncodeFailed,    // the JPEG encoder gave up
};

// A failure with the errno value that belongs to kReadError.
struct PictureError {
  PictureFailure failure = PictureFailure::kNone;
  int error_number = 0;
  bool ok() const { return failure == PictureFailure::kNone; }
};

// The short reason shown to studio users (Chinese). Thread-safe.
std::string PictureFailureText(const PictureError& error);

}  // namespace lormex

#endif  // LORMEX_PACKING_PICTURE_FAILURE_H_
