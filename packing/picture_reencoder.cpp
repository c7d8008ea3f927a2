#include "packing/picture_reencoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "packing/area_resampler.h"
#include "packing/bmp_decoder.h"
#include "packing/byte_source.h"
#include "packing/exif_orientation.h"
#include "packing/jpeg_markers.h"
#include "packing/jpeg_memory_encoder.h"
#include "packing/jpeg_source_decoder.h"
#include "packing/picture_failure.h"
#include "packing/picture_limits.h"
#include "packing/picture_sink.h"
#include "packing/source_file.h"

namespace lormex {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Decides the output size as soon as the source size is known and streams the rows into the
// resampler.
class ResizingSink final : public PictureSink {
 public:
  ResizingSink(AreaResampler* resampler, int max_side, ReencodeOutcome* outcome)
      : resampler_(resampler), max_side_(max_side), outcome_(outcome) {}

  PictureFailure Begin(int width, int height, int orientation) noexcept override {
    if (width < 1 || height < 1) return PictureFailure::kCorrupt;
    if (std::uint64_t(width) * std::uint64_t(height) > kMaxSourcePixels) {
      return PictureFailure::kTooLarge;
    }
    orientation_ = orientation;
    // The size rule applies to the picture as it is seen, i.e. upright.
    const bool turned = OrientationSwapsSides(orientation);
    outcome_->source = turned ? PictureSize{height, width} : PictureSize{width, height};
    const PictureSize target =
        ScaledPictureSize(outcome_->source.width, outcome_->source.height, max_side_);
    if (target.width <= 0 || target.height <= 0) return PictureFailure::kZeroSide;
    if (target.width > kMaxPictureSide || target.height > kMaxPictureSide ||
        std::uint64_t(target.width) * std::uint64_t(target.height) > kMaxOutputPixels) {
      return PictureFailure::kTooLarge;
    }
    planned_ = target;
    try {
      if (turned) {
        resampler_->Begin(width, height, target.height, target.width);
      } else {
        resampler_->Begin(width, height, target.width, target.height);
      }
    } catch (...) {
      return PictureFailure::kOutOfMemory;
    }
    return PictureFailure::kNone;
  }

  void Row(const std::uint8_t* rgb) noexcept override { resampler_->PushRow(rgb); }

  int orientation() const { return orientation_; }
  PictureSize planned() const { return planned_; }

 private:
  AreaResampler* resampler_;
  int max_side_;
  ReencodeOutcome* outcome_;
  int orientation_ = 1;
  PictureSize planned_;
};

ReencodeOutcome Failed(ReencodeOutcome outcome, const PictureError& error) {
  outcome.ok = false;
  outcome.error = PictureFailureText(error);
  outcome.result = {};
  return outcome;
}

}  // namespace

struct PictureReencoder::Buffers {
  std::vector<std::uint8_t> read_buffer;
  std::vector<std::uint8_t> marker_scratch;
  std::vector<std::uint8_t> bmp_rows;
  std::vector<std::uint8_t> icc_profile;
  JpegMarkers markers;
  AreaResampler resampler;

  ReencodeOutcome Reencode(ByteSource* source, const ReencodeSettings& settings,
                           std::vector<std::uint8_t>* jpeg);
};

ReencodeOutcome PictureReencoder::Buffers::Reencode(ByteSource* source,
                                                    const ReencodeSettings& settings,
                                                    std::vector<std::uint8_t>* jpeg) {
  ReencodeOutcome outcome;
  jpeg->clear();
  if (source->size() == 0 && !source->Refill()) {
    if (source->read_error() != 0) {
      return Failed(outcome, {PictureFailure::kReadError, source->read_error()});
    }
    return Failed(outcome, {PictureFailure::kEmptyFile});
  }
  // Decoded by content, whatever the name says.
  const std::uint8_t* head = source->data();
  const bool is_jpeg = source->size() >= 2 && head[0] == 0xFF && head[1] == 0xD8;
  const bool is_bmp = source->size() >= 2 && head[0] == 'B' && head[1] == 'M';
  if (!is_jpeg && !is_bmp) return Failed(outcome, {PictureFailure::kUnknownContent});

  try {
    markers.Clear();
    ResizingSink sink(&resampler, settings.max_side, &outcome);
    PictureError error = is_jpeg ? DecodeJpeg(source, &markers, &marker_scratch, &sink)
                                 : DecodeBmp(source, &bmp_rows, &sink);
    if (!error.ok()) return Failed(outcome, error);
    if (!resampler.complete()) return Failed(outcome, {PictureFailure::kCorrupt});

    if (!markers.AssembleIccProfile(&icc_profile)) {
      return Failed(outcome, {PictureFailure::kOutOfMemory});
    }
    // Only an RGB profile describes the RGB output; a grey or CMYK one would mislead.
    if (!IsRgbIccProfile(icc_profile)) icc_profile.clear();

    EncodeRequest request;
    request.pixels = resampler.pixels();
    request.width = resampler.width();
    request.height = resampler.height();
    request.orientation = sink.orientation();
    request.quality = settings.quality;
    request.icc_profile = icc_profile;
    error = EncodeJpeg(request, jpeg);
    if (!error.ok()) return Failed(outcome, error);
    outcome.result = sink.planned();
  } catch (...) {
    jpeg->clear();
    return Failed(outcome, {PictureFailure::kOutOfMemory});
  }
  outcome.ok = true;
  return outcome;
}

PictureReencoder::PictureReencoder() : buffers_(std::make_unique<Buffers>()) {}

PictureReencoder::~PictureReencoder() = default;

ReencodeOutcome PictureReencoder::ReencodeFile(const std::string& path,
                                               const ReencodeSettings& settings,
                                               std::vector<std::uint8_t>* jpeg) {
  jpeg->clear();
  // Non-blocking, so that a pipe under a picture's name cannot stall the worker at open.
  FileHandle file(OpenSourceFile(AT_FDCWD, path.c_str()));
  if (file.get() < 0) return Failed({}, {PictureFailure::kReadError, errno});
  struct stat status;
  if (fstat(file.get(), &status) != 0) return Failed({}, {PictureFailure::kReadError, errno});
  if (!S_ISREG(status.st_mode)) return Failed({}, {PictureFailure::kNotRegularFile});
  posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  try {
    buffers_->read_buffer.resize(kReadChunk);
  } catch (...) {
    return Failed({}, {PictureFailure::kOutOfMemory});
  }
  ByteSource source(file.get(), static_cast<std::uint64_t>(status.st_size), &buffers_->read_buffer);
  return buffers_->Reencode(&source, settings, jpeg);
}

ReencodeOutcome PictureReencoder::ReencodeBytes(std::span<const std::uint8_t> data,
                                                const ReencodeSettings& settings,
                                                std::vector<std::uint8_t>* jpeg) {
  ByteSource source(data);
  return buffers_->Reencode(&source, settings, jpeg);
}

}  // namespace lormex
