#include "packing/jpeg_source_decoder.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>

#include "packing/exif_orientation.h"
#include "packing/picture_limits.h"

namespace lormex {
namespace {

constexpr std::size_t kLargestMarkerPayload = 65533;  // a marker's length field counts itself

// Everything the libjpeg callbacks reach through client_data. Trivially destructible on purpose:
// the decoder leaves by longjmp, which must not skip any destructor.
struct DecodeContext {
  jpeg_error_mgr error;
  std::jmp_buf jump;
  PictureError failure;
  jpeg_source_mgr source;
  jpeg_progress_mgr progress;
  ByteSource* bytes;
  JpegMarkers* markers;
  std::uint8_t* scratch;
  PictureSink* sink;
};

DecodeContext* Context(j_common_ptr cinfo) {
  return static_cast<DecodeContext*>(cinfo->client_data);
}
DecodeContext* Context(j_decompress_ptr cinfo) {
  return static_cast<DecodeContext*>(cinfo->client_data);
}

[[noreturn]] void Fail(DecodeContext* context, PictureFailure failure, int error_number = 0) {
  if (context->failure.ok()) context->failure = {failure, error_number};
  std::longjmp(context->jump, 1);
}

PictureFailure FailureOfError(int message_code) {
  switch (message_code) {
    case JERR_BAD_PRECISION:
    case JERR_ARITH_NOTIMPL:
    case JERR_CONVERSION_NOTIMPL:
    case JERR_NOTIMPL:
      return PictureFailure::kUnsupported;
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
    case JERR_NO_BACKING_STORE:
      return PictureFailure::kTooLarge;
    case JERR_OUT_OF_MEMORY:
      return PictureFailure::kOutOfMemory;
    default:
      return PictureFailure::kCorrupt;
  }
}

void OnError(j_common_ptr cinfo) { Fail(Context(cinfo), FailureOfError(cinfo->err->msg_code)); }

// libjpeg reports damaged data as a warning and goes on, filling the rest with grey; a damaged
// picture must instead be stored as it is, so every warning ends the decoding. The one exception
// is a newer JFIF version number, which says nothing about the pixels.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code != JWRN_JFIF_MAJOR) {
    Fail(Context(cinfo), PictureFailure::kCorrupt);
  }
}

void IgnoreMessage(j_common_ptr) {}

void OnProgress(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
    Fail(Context(cinfo), PictureFailure::kTooManyScans);
  }
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// libjpeg would invent an end-of-image marker at the end of the data and warn; ending at once
// keeps a truncated file from ever looking whole.
boolean FillInput(j_decompress_ptr cinfo) {
  DecodeContext* context = Context(cinfo);
  ByteSource* bytes = context->bytes;
  if (!bytes->Refill()) {
    if (bytes->read_error() != 0) {
      Fail(context, PictureFailure::kReadError, bytes->read_error());
    }
    Fail(context, PictureFailure::kCorrupt);
  }
  cinfo->src->next_input_byte = bytes->data();
  cinfo->src->bytes_in_buffer = bytes->size();
  bytes->Consume(bytes->size());
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = cinfo->src;
  std::size_t left = static_cast<std::size_t>(count);
  while (left > source->bytes_in_buffer) {
    left -= source->bytes_in_buffer;
    source->bytes_in_buffer = 0;
    FillInput(cinfo);
  }
  source->next_input_byte += left;
  source->bytes_in_buffer -= left;
}

void ReadBytes(j_decompress_ptr cinfo, std::uint8_t* out, std::size_t count) {
  jpeg_source_mgr* source = cinfo->src;
  while (count > 0) {
    if (source->bytes_in_buffer == 0) FillInput(cinfo);
    std::size_t take = std::min(count, source->bytes_in_buffer);
    std::copy_n(source->next_input_byte, take, out);
    source->next_input_byte += take;
    source->bytes_in_buffer -= take;
    out += take;
    count -= take;
  }
}

// Application markers 1 and 2 are read here instead of being saved by libjpeg, whose saved
// markers pile up without any bound on their number.
boolean ReadApplicationMarker(j_decompress_ptr cinfo) {
  DecodeContext* context = Context(cinfo);
  std::uint8_t length_field[2];
  ReadBytes(cinfo, length_field, 2);
  const std::size_t length = std::size_t{length_field[0]} << 8 | length_field[1];
  if (length < 2) Fail(context, PictureFailure::kCorrupt);
  const std::size_t size = length - 2;
  ReadBytes(cinfo, context->scratch, size);
  std::span<const std::uint8_t> payload(context->scratch, size);
  const bool kept = cinfo->unread_marker == JPEG_APP0 + 1 ? context->markers->AddApp1(payload)
                                                          : context->markers->AddApp2(payload);
  if (!kept) Fail(context, PictureFailure::kOutOfMemory);
  return TRUE;
}

// Runs the whole decoding; every failure leaves by longjmp, so nothing here has a destructor.
void RunDecode(j_decompress_ptr cinfo, DecodeContext* context) {
  cinfo->mem->max_memory_to_use = kDecoderMemoryLimit;

  jpeg_source_mgr* source = &context->source;
  source->init_source = InitSource;
  source->fill_input_buffer = FillInput;
  source->skip_input_data = SkipInput;
  source->resync_to_restart = jpeg_resync_to_restart;
  source->term_source = TermSource;
  source->next_input_byte = context->bytes->data();
  source->bytes_in_buffer = context->bytes->size();
  context->bytes->Consume(context->bytes->size());
  cinfo->src = source;

  context->progress.progress_monitor = OnProgress;
  cinfo->progress = &context->progress;
  jpeg_set_marker_processor(cinfo, JPEG_APP0 + 1, ReadApplicationMarker);
  jpeg_set_marker_processor(cinfo, JPEG_APP0 + 2, ReadApplicationMarker);

  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) Fail(context, PictureFailure::kCorrupt);
  if (cinfo->data_precision != 8) Fail(context, PictureFailure::kUnsupported);
  // In arithmetic-coded data a marker is legal, and the decoder supplies zeros after it until
  // the picture is complete; an encoder may end its data early that way. A file cut short looks
  // the same, so its damage cannot be told and it would come out partly grey. Such pictures (no
  // camera writes them) are kept as they are instead.
  if (cinfo->arith_code) Fail(context, PictureFailure::kUnsupported);
  bool inks = false;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo->out_color_space = JCS_RGB;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      inks = true;
      break;
    default:
      Fail(context, PictureFailure::kUnsupported);
  }

  const int width = static_cast<int>(cinfo->image_width);
  const int height = static_cast<int>(cinfo->image_height);
  const int orientation = ExifOrientation(context->markers->exif());
  const PictureFailure refused = context->sink->Begin(width, height, orientation);
  if (refused != PictureFailure::kNone) Fail(context, refused);

  if (!jpeg_start_decompress(cinfo)) Fail(context, PictureFailure::kCorrupt);
  if (cinfo->output_width != cinfo->image_width || cinfo->output_height != cinfo->image_height ||
      cinfo->output_components != (inks ? 4 : 3)) {
    Fail(context, PictureFailure::kUnsupported);
  }
  const int strip_rows = std::max(1, cinfo->rec_outbuf_height);
  JSAMPARRAY strip = (*cinfo->mem->alloc_sarray)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
      cinfo->output_width * static_cast<JDIMENSION>(cinfo->output_components),
      static_cast<JDIMENSION>(strip_rows));
  JSAMPROW converted = nullptr;
  if (inks) {
    converted = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                            cinfo->output_width * 3, 1)[0];
  }
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION got = jpeg_read_scanlines(cinfo, strip, static_cast<JDIMENSION>(strip_rows));
    if (got == 0) Fail(context, PictureFailure::kCorrupt);
    for (JDIMENSION i = 0; i < got; ++i) {
      if (inks) {
        InvertedCmykToRgb(strip[i], converted, width);
        context->sink->Row(converted);
      } else {
        context->sink->Row(strip[i]);
      }
    }
  }
  // Reading on to the end-of-image marker catches damage behind the last row.
  if (!jpeg_finish_decompress(cinfo)) Fail(context, PictureFailure::kCorrupt);
}

}  // namespace

void InvertedCmykToRgb(const std::uint8_t* cmyk, std::uint8_t* rgb, int pixels) {
  for (int i = 0; i < pixels; ++i, cmyk += 4, rgb += 3) {
    const unsigned k = cmyk[3];
    for (int c = 0; c < 3; ++c) {
      // floor(t / 255) for t up to 255 * 255, without a division.
      const unsigned t = cmyk[c] * k;
      rgb[c] = static_cast<std::uint8_t>((t + 1 + (t >> 8)) >> 8);
    }
  }
}

PictureError DecodeJpeg(ByteSource* source, JpegMarkers* markers,
                        std::vector<std::uint8_t>* scratch, PictureSink* sink) {
  markers->Clear();
  try {
    if (scratch->size() < kLargestMarkerPayload) scratch->resize(kLargestMarkerPayload);
  } catch (...) {
    return {PictureFailure::kOutOfMemory};
  }

  jpeg_decompress_struct cinfo{};
  DecodeContext context{};
  context.bytes = source;
  context.markers = markers;
  context.scratch = scratch->data();
  context.sink = sink;
  cinfo.err = jpeg_std_error(&context.error);
  context.error.error_exit = OnError;
  context.error.emit_message = OnMessage;
  context.error.output_message = IgnoreMessage;
  cinfo.client_data = &context;
  if (setjmp(context.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    return context.failure;
  }
  jpeg_create_decompress(&cinfo);
  RunDecode(&cinfo, &context);
  jpeg_destroy_decompress(&cinfo);
  return {};
}

}  // namespace lormex
