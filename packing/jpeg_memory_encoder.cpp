#include "packing/jpeg_memory_encoder.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "packing/exif_orientation.h"

namespace lormex {
namespace {

constexpr std::size_t kFirstOutputSize = 64 * 1024;
constexpr int kRowsPerWrite = 16;

// Everything the libjpeg callbacks reach through client_data; trivially destructible, since the
// encoder leaves by longjmp.
struct EncodeContext {
  jpeg_error_mgr error;
  std::jmp_buf jump;
  PictureError failure;
  jpeg_destination_mgr destination;
  std::vector<std::uint8_t>* out;
  const EncodeRequest* request;
};

EncodeContext* Context(j_common_ptr cinfo) {
  return static_cast<EncodeContext*>(cinfo->client_data);
}
EncodeContext* Context(j_compress_ptr cinfo) {
  return static_cast<EncodeContext*>(cinfo->client_data);
}

[[noreturn]] void Fail(EncodeContext* context, PictureFailure failure) {
  if (context->failure.ok()) context->failure = {failure};
  std::longjmp(context->jump, 1);
}

void OnError(j_common_ptr cinfo) {
  Fail(Context(cinfo), cinfo->err->msg_code == JERR_OUT_OF_MEMORY ? PictureFailure::kOutOfMemory
                                                                  : PictureFailure::kEncodeFailed);
}

void IgnoreMessage(j_common_ptr) {}

// Makes `out` hold at least `size` bytes; false when memory runs out. No exception may cross
// libjpeg, so it is caught here, before any longjmp.
bool GrowTo(std::vector<std::uint8_t>* out, std::size_t size) noexcept {
  try {
    out->resize(size);
  } catch (...) {
    return false;
  }
  return true;
}

void InitDestination(j_compress_ptr cinfo) {
  EncodeContext* context = Context(cinfo);
  std::vector<std::uint8_t>* out = context->out;
  if (!GrowTo(out, std::max(out->capacity(), kFirstOutputSize))) {
    Fail(context, PictureFailure::kOutOfMemory);
  }
  cinfo->dest->next_output_byte = out->data();
  cinfo->dest->free_in_buffer = out->size();
}

boolean EmptyOutput(j_compress_ptr cinfo) {
  EncodeContext* context = Context(cinfo);
  std::vector<std::uint8_t>* out = context->out;
  // libjpeg calls this only when the whole buffer is full.
  const std::size_t used = out->size();
  if (!GrowTo(out, used * 2)) Fail(context, PictureFailure::kOutOfMemory);
  cinfo->dest->next_output_byte = out->data() + used;
  cinfo->dest->free_in_buffer = out->size() - used;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  std::vector<std::uint8_t>* out = Context(cinfo)->out;
  out->resize(out->size() - cinfo->dest->free_in_buffer);
}

// Runs the whole encoding; every failure leaves by longjmp, so nothing here has a destructor.
void RunEncode(j_compress_ptr cinfo, EncodeContext* context) {
  const EncodeRequest& request = *context->request;
  const bool turned = OrientationSwapsSides(request.orientation);
  const int width = turned ? request.height : request.width;
  const int height = turned ? request.width : request.height;

  context->destination.init_destination = InitDestination;
  context->destination.empty_output_buffer = EmptyOutput;
  context->destination.term_destination = TermDestination;
  cinfo->dest = &context->destination;

  cinfo->image_width = static_cast<JDIMENSION>(width);
  cinfo->image_height = static_cast<JDIMENSION>(height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  // Forcing baseline changes nothing from quality 24 up; below it, libjpeg would otherwise write
  // 16-bit quantisation tables and an extended-sequential file that many viewers refuse.
  jpeg_set_quality(cinfo, std::clamp(request.quality, 1, 100), TRUE);
  jpeg_start_compress(cinfo, TRUE);
  if (!request.icc_profile.empty()) {
    jpeg_write_icc_profile(cinfo, request.icc_profile.data(),
                           static_cast<unsigned int>(request.icc_profile.size()));
  }

  const std::size_t stride = std::size_t(request.width) * 3;
  if (request.orientation < 2 || request.orientation > 8) {
    JSAMPROW rows[kRowsPerWrite];
    while (cinfo->next_scanline < cinfo->image_height) {
      const JDIMENSION first = cinfo->next_scanline;
      const JDIMENSION count = std::min<JDIMENSION>(kRowsPerWrite, cinfo->image_height - first);
      for (JDIMENSION i = 0; i < count; ++i) {
        rows[i] = const_cast<JSAMPROW>(request.pixels + (first + i) * stride);
      }
      jpeg_write_scanlines(cinfo, rows, count);
    }
  } else {
    // Each upright row is gathered from the stored picture along the orientation's map.
    JSAMPROW row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                               cinfo->image_width * 3, 1)[0];
    const OrientationMap map = UprightToStored(request.orientation, request.width, request.height);
    const std::ptrdiff_t step =
        (std::ptrdiff_t(map.du_y) * std::ptrdiff_t(request.width) + map.du_x) * 3;
    while (cinfo->next_scanline < cinfo->image_height) {
      const int v = static_cast<int>(cinfo->next_scanline);
      const std::ptrdiff_t x = map.x0 + std::ptrdiff_t(v) * map.dv_x;
      const std::ptrdiff_t y = map.y0 + std::ptrdiff_t(v) * map.dv_y;
      // An index rather than a pointer walks the column: a pointer stepped past the first row
      // would leave the array, which is undefined even unread.
      std::ptrdiff_t at = y * std::ptrdiff_t(stride) + x * 3;
      std::uint8_t* out = row;
      for (int u = 0; u < width; ++u, at += step, out += 3) {
        std::memcpy(out, request.pixels + at, 3);
      }
      jpeg_write_scanlines(cinfo, &row, 1);
    }
  }
  jpeg_finish_compress(cinfo);
}

}  // namespace

PictureError EncodeJpeg(const EncodeRequest& request, std::vector<std::uint8_t>* out) {
  out->clear();
  jpeg_compress_struct cinfo{};
  EncodeContext context{};
  context.out = out;
  context.request = &request;
  cinfo.err = jpeg_std_error(&context.error);
  context.error.error_exit = OnError;
  context.error.output_message = IgnoreMessage;
  cinfo.client_data = &context;
  if (setjmp(context.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    out->clear();
    return context.failure;
  }
  jpeg_create_compress(&cinfo);
  RunEncode(&cinfo, &context);
  jpeg_destroy_compress(&cinfo);
  return {};
}

}  // namespace lormex
