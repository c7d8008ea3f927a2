#ifndef LORMEX_PACKING_AREA_RESAMPLER_H_
#define LORMEX_PACKING_AREA_RESAMPLER_H_

#include <cstdint>
#include <vector>

namespace lormex {

// Resizes an RGB picture (3 bytes a pixel) that arrives one row at a time, so the source is never
// held whole. Each axis on its own: a shrinking axis averages areas exactly (every output pixel is
// the mean of the source block that maps onto it, partly covered pixels by their covered share),
// an enlarging axis interpolates linearly between pixel centres, an axis of equal size keeps its
// pixels. Rows are first combined vertically across the full source width, then the finished row
// is resampled horizontally, so the horizontal work is done once per output row.
// Memory: the output plus a few source-wide rows. Not thread-safe; keep one per thread so its
// buffers are reused.
class AreaResampler {
 public:
  // Resamples one vertically finished row horizontally (internal; public for its selection).
  using RowFilter = void (*)(const float* in, const int* start, const float* weight, int taps,
                             int width, std::uint8_t* out);

  // Prepares for a source of `src_width` x `src_height` resized to `dst_width` x `dst_height`
  // (all at least 1). Throws std::bad_alloc when memory runs out.
  void Begin(int src_width, int src_height, int dst_width, int dst_height);

  // Takes the next source row, top to bottom; finished output rows are written at once. Rows
  // beyond the source height are ignored.
  void PushRow(const std::uint8_t* rgb) noexcept;

  // True once every output row has been written.
  bool complete() const { return out_row_ == dst_height_; }

  int width() const { return dst_width_; }
  int height() const { return dst_height_; }
  // The output, `width() * 3` bytes a row, rows top to bottom.
  const std::uint8_t* pixels() const { return pixels_.data(); }

 private:
  enum class Vertical { kCopy, kShrink, kEnlarge };

  void EmitRow(const float* row) noexcept;
  void EmitRow(const std::uint8_t* row) noexcept;
  void FoldWholeRows() noexcept;
  void FinishShrunkRow(const std::uint8_t* trail, float trail_weight) noexcept;

  int src_width_ = 0;
  int src_height_ = 0;
  int dst_width_ = 0;
  int dst_height_ = 0;

  // Horizontal: every output pixel reads `taps_` source pixels from its start, with weights.
  bool horizontal_copy_ = false;
  int taps_ = 0;
  std::vector<int> tap_start_;
  std::vector<float> tap_weight_;
  RowFilter filter_ = nullptr;

  Vertical vertical_ = Vertical::kCopy;
  int src_row_ = 0;  // source rows taken so far
  int out_row_ = 0;  // output rows written so far
  // Shrinking: the plain sum of the whole source rows of the output row being gathered, the
  // source row it shares with the output row above and that row's weight here, and, only when
  // more than 257 rows make one output row, the weighted sum of the whole rows folded so far.
  std::vector<std::uint16_t> whole_;
  int whole_count_ = 0;
  std::vector<std::uint8_t> lead_;
  float lead_weight_ = 0;
  bool has_lead_ = false;
  std::vector<float> sum_;
  bool folded_ = false;
  float row_weight_ = 0;  // 1 / src_height: the weight of one source row of a full-height cell
  // Enlarging: for every output row its upper source row and the share of the row below it, and
  // the last two source rows.
  std::vector<int> upper_row_;
  std::vector<float> lower_share_;
  std::vector<std::uint8_t> recent_rows_;
  std::vector<float> line_;

  std::vector<std::uint8_t> pixels_;
};

}  // namespace lormex

#endif  // LORMEX_PACKING_AREA_RESAMPLER_H_
