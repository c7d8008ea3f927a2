#include "packing/area_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

namespace lormex {
namespace {

constexpr int kChannels = 3;

// The loops over every sample get a second build for the x86-64 level of the last decade (AVX2,
// FMA), picked at load time when the processor has it; the plain build stays for any other.
// Clang 14 (the fuzz build) cannot clone function templates, and under ThreadSanitizer the
// resolver that picks a clone crashes (it runs before the sanitizer is set up): both build the
// plain loops only.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define LORMEX_SAMPLE_LOOP __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define LORMEX_SAMPLE_LOOP
#endif

// Where an enlarged axis samples its source: the centre of output pixel `i` mapped back onto the
// source, clamped to the first and last pixel centre.
void LinearPosition(int i, int src, int dst, int* first, float* share) {
  double position = ((2.0 * i + 1.0) * src - dst) / (2.0 * dst);
  if (position <= 0) {
    *first = 0;
    *share = 0;
  } else if (position >= src - 1) {
    *first = src - 1;
    *share = 0;
  } else {
    *first = static_cast<int>(position);
    *share = static_cast<float>(position - *first);
  }
}

// Every output sample is a weighted sum with weights that are never negative and sum to one, so
// it lies in 0..255 up to rounding errors far below half a step: adding 0.5 and truncating
// rounds it, without clamping.
inline std::uint8_t ToByte(float value) {
  return static_cast<std::uint8_t>(static_cast<std::int32_t>(value + 0.5f));
}

// The hot loops below are written so the compiler can vectorise them: plain indexes, no aliasing.

// Whole source rows of one output row are summed as integers: a byte added to a 16-bit sum is a
// fraction of the work of a float multiply-add, and every source row passes through this loop.
// 257 rows of 255 still fit in 16 bits.
constexpr int kMostWholeRows = 257;

LORMEX_SAMPLE_LOOP
void SetWhole(std::uint16_t* __restrict whole, const std::uint8_t* __restrict row,
              std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) whole[i] = row[i];
}

LORMEX_SAMPLE_LOOP
void AddWhole(std::uint16_t* __restrict whole, const std::uint8_t* __restrict row,
              std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) whole[i] = static_cast<std::uint16_t>(whole[i] + row[i]);
}

LORMEX_SAMPLE_LOOP
void AddWeightedWhole(float* __restrict sum, const std::uint16_t* __restrict whole, float weight,
                      std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) sum[i] += weight * static_cast<float>(whole[i]);
}

// The weighted parts of one shrunk output row: the sum of its whole rows, the row it shares with
// the output row above (lead) and the one it shares with the row below (trail); each part only
// when present, chosen at compile time so that every variant is one plain loop.
struct ShrinkParts {
  const std::uint16_t* whole;
  float whole_weight;
  const std::uint8_t* lead;
  float lead_weight;
  const std::uint8_t* trail;
  float trail_weight;
};

template <bool kWhole, bool kLead, bool kTrail>
LORMEX_SAMPLE_LOOP void CombineParts(float* __restrict line, const ShrinkParts& parts,
                                     std::size_t count) {
  const std::uint16_t* __restrict whole = parts.whole;
  const std::uint8_t* __restrict lead = parts.lead;
  const std::uint8_t* __restrict trail = parts.trail;
  const float ww = parts.whole_weight, lw = parts.lead_weight, tw = parts.trail_weight;
  for (std::size_t i = 0; i < count; ++i) {
    float value = 0;
    if constexpr (kWhole) value += ww * static_cast<float>(whole[i]);
    if constexpr (kLead) value += lw * static_cast<float>(lead[i]);
    if constexpr (kTrail) value += tw * static_cast<float>(trail[i]);
    line[i] = value;
  }
}

void Combine(float* line, const ShrinkParts& parts, std::size_t count) {
  const int which = (parts.whole ? 4 : 0) | (parts.lead ? 2 : 0) | (parts.trail ? 1 : 0);
  switch (which) {
    case 1:
      return CombineParts<false, false, true>(line, parts, count);
    case 2:
      return CombineParts<false, true, false>(line, parts, count);
    case 3:
      return CombineParts<false, true, true>(line, parts, count);
    case 4:
      return CombineParts<true, false, false>(line, parts, count);
    case 5:
      return CombineParts<true, false, true>(line, parts, count);
    case 6:
      return CombineParts<true, true, false>(line, parts, count);
    case 7:
      return CombineParts<true, true, true>(line, parts, count);
    default:
      std::fill_n(line, count, 0.0f);
  }
}

LORMEX_SAMPLE_LOOP
void Blend(float* __restrict line, const std::uint8_t* __restrict upper,
           const std::uint8_t* __restrict lower, float share, std::size_t count) {
  const float keep = 1.0f - share;
  for (std::size_t i = 0; i < count; ++i) {
    line[i] = keep * static_cast<float>(upper[i]) + share * static_cast<float>(lower[i]);
  }
}

LORMEX_SAMPLE_LOOP
void ToFloat(float* __restrict line, const std::uint8_t* __restrict row, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) line[i] = static_cast<float>(row[i]);
}

// Four floats handled as one: the three channels of a pixel and one lane of the next pixel,
// which is ignored. GCC and Clang map this to SSE2 or NEON registers.
typedef float Float4 __attribute__((vector_size(16)));
typedef std::int32_t Int4 __attribute__((vector_size(16)));

// One output row from one vertically finished row: every output pixel is the weighted sum of
// `taps` source pixels from its start, all three channels at once. A fixed tap count lets the
// compiler unroll the inner loop; 0 stands for a count only known at run time. The input must
// hold one float more than its pixels, for the fourth lane of the last pixel.
template <int kTaps>
LORMEX_SAMPLE_LOOP void FilterRow(const float* __restrict in, const int* __restrict start,
                                  const float* __restrict weight, int taps, int width,
                                  std::uint8_t* __restrict out) {
  const int n = kTaps > 0 ? kTaps : taps;
  for (int x = 0; x < width; ++x, weight += n, out += kChannels) {
    const float* p = in + std::size_t(start[x]) * kChannels;
    Float4 sum = {0, 0, 0, 0};
    for (int k = 0; k < n; ++k, p += kChannels) {
      Float4 pixel;
      std::memcpy(&pixel, p, sizeof pixel);
      sum += weight[k] * pixel;
    }
    const Int4 rounded = __builtin_convertvector(sum + 0.5f, Int4);
    out[0] = static_cast<std::uint8_t>(rounded[0]);
    out[1] = static_cast<std::uint8_t>(rounded[1]);
    out[2] = static_cast<std::uint8_t>(rounded[2]);
  }
}

AreaResampler::RowFilter FilterFor(int taps) {
  switch (taps) {
    case 1:
      return FilterRow<1>;
    case 2:
      return FilterRow<2>;
    case 3:
      return FilterRow<3>;
    case 4:
      return FilterRow<4>;
    case 5:
      return FilterRow<5>;
    case 6:
      return FilterRow<6>;
    case 7:
      return FilterRow<7>;
    case 8:
      return FilterRow<8>;
    default:
      return FilterRow<0>;
  }
}

}  // namespace

void AreaResampler::Begin(int src_width, int src_height, int dst_width, int dst_height) {
  src_width_ = src_width;
  src_height_ = src_height;
  dst_width_ = dst_width;
  dst_height_ = dst_height;
  src_row_ = 0;
  out_row_ = 0;
  const std::size_t src_samples = std::size_t(src_width) * kChannels;

  pixels_.resize(std::size_t(dst_width) * std::size_t(dst_height) * kChannels);

  // Horizontal taps. Shrinking: output pixel x covers the source interval [x * sw, (x + 1) * sw)
  // and source pixel i the interval [i * dw, (i + 1) * dw), both in units of 1 / dw source
  // pixels; the weight of i is the length of the overlap over sw, so the weights sum to 1.
  horizontal_copy_ = src_width == dst_width;
  tap_start_.clear();
  tap_weight_.clear();
  if (!horizontal_copy_) {
    const std::int64_t sw = src_width, dw = dst_width;
    if (sw > dw) {
      taps_ = 0;
      for (std::int64_t x = 0; x < dw; ++x) {
        std::int64_t first = x * sw / dw, last = ((x + 1) * sw - 1) / dw;
        taps_ = std::max(taps_, static_cast<int>(last - first + 1));
      }
    } else {
      taps_ = 2;
    }
    taps_ = std::min(taps_, src_width);
    filter_ = FilterFor(taps_);
    tap_start_.resize(std::size_t(dst_width));
    tap_weight_.assign(std::size_t(dst_width) * std::size_t(taps_), 0.0f);
    for (std::int64_t x = 0; x < dw; ++x) {
      // Every output pixel reads the same number of taps, so the inner loop has a fixed length;
      // near the right edge the window is moved left and the extra taps weigh nothing.
      std::int64_t first;
      float* weight = &tap_weight_[std::size_t(x) * std::size_t(taps_)];
      if (sw > dw) {
        const std::int64_t lo = x * sw, hi = (x + 1) * sw;
        first = lo / dw;
        const std::int64_t last = (hi - 1) / dw;
        const std::int64_t start = std::min(first, sw - taps_);
        for (std::int64_t i = first; i <= last; ++i) {
          std::int64_t overlap = std::min(hi, (i + 1) * dw) - std::max(lo, i * dw);
          weight[i - start] = static_cast<float>(double(overlap) / double(sw));
        }
        first = start;
      } else {
        int upper;
        float share;
        LinearPosition(static_cast<int>(x), src_width, dst_width, &upper, &share);
        const int start = std::min(upper, src_width - taps_);
        weight[upper - start] = 1.0f - share;
        if (share > 0) weight[upper + 1 - start] = share;
        first = start;
      }
      tap_start_[std::size_t(x)] = static_cast<int>(first);
    }
  }

  // Vertical.
  upper_row_.clear();
  lower_share_.clear();
  if (src_height > dst_height) {
    vertical_ = Vertical::kShrink;
    line_.assign(src_samples + 1, 0.0f);
    whole_.resize(src_samples);
    whole_count_ = 0;
    lead_.resize(src_samples);
    has_lead_ = false;
    folded_ = false;
    sum_.clear();
    if (std::int64_t{src_height} > std::int64_t{dst_height} * (kMostWholeRows - 1)) {
      sum_.resize(src_samples);
    }
    row_weight_ = static_cast<float>(1.0 / src_height);
  } else if (src_height < dst_height) {
    vertical_ = Vertical::kEnlarge;
    upper_row_.resize(std::size_t(dst_height));
    lower_share_.resize(std::size_t(dst_height));
    for (int y = 0; y < dst_height; ++y) {
      LinearPosition(y, src_height, dst_height, &upper_row_[std::size_t(y)],
                     &lower_share_[std::size_t(y)]);
    }
    recent_rows_.resize(2 * src_samples);
    line_.assign(src_samples + 1, 0.0f);
  } else {
    vertical_ = Vertical::kCopy;
    if (!horizontal_copy_) line_.assign(src_samples + 1, 0.0f);
  }
}

void AreaResampler::EmitRow(const float* row) noexcept {
  std::uint8_t* out = &pixels_[std::size_t(out_row_) * std::size_t(dst_width_) * kChannels];
  ++out_row_;
  if (horizontal_copy_) {
    const std::size_t count = std::size_t(dst_width_) * kChannels;
    for (std::size_t i = 0; i < count; ++i) out[i] = ToByte(row[i]);
    return;
  }
  filter_(row, tap_start_.data(), tap_weight_.data(), taps_, dst_width_, out);
}

void AreaResampler::EmitRow(const std::uint8_t* row) noexcept {
  if (horizontal_copy_) {
    std::memcpy(&pixels_[std::size_t(out_row_) * std::size_t(dst_width_) * kChannels], row,
                std::size_t(dst_width_) * kChannels);
    ++out_row_;
    return;
  }
  ToFloat(line_.data(), row, std::size_t(src_width_) * kChannels);
  EmitRow(line_.data());
}

void AreaResampler::FoldWholeRows() noexcept {
  // Only reached when more than 257 source rows make one output row.
  const std::size_t count = std::size_t(src_width_) * kChannels;
  if (!folded_) std::fill_n(sum_.data(), count, 0.0f);
  AddWeightedWhole(sum_.data(), whole_.data(), static_cast<float>(dst_height_) * row_weight_,
                   count);
  folded_ = true;
  whole_count_ = 0;
}

void AreaResampler::FinishShrunkRow(const std::uint8_t* trail, float trail_weight) noexcept {
  const std::size_t count = std::size_t(src_width_) * kChannels;
  ShrinkParts parts{};
  if (whole_count_ > 0) {
    parts.whole = whole_.data();
    parts.whole_weight = static_cast<float>(dst_height_) * row_weight_;
  }
  if (has_lead_) {
    parts.lead = lead_.data();
    parts.lead_weight = lead_weight_;
  }
  parts.trail = trail;
  parts.trail_weight = trail_weight;
  Combine(line_.data(), parts, count);
  if (folded_) {
    for (std::size_t i = 0; i < count; ++i) line_[i] += sum_[i];
  }
  whole_count_ = 0;
  folded_ = false;
  EmitRow(line_.data());
}

void AreaResampler::PushRow(const std::uint8_t* rgb) noexcept {
  if (src_row_ >= src_height_) return;
  const int row = src_row_++;
  const std::size_t count = std::size_t(src_width_) * kChannels;
  switch (vertical_) {
    case Vertical::kCopy:
      EmitRow(rgb);
      return;
    case Vertical::kShrink: {
      // Source row i covers [i * dh, (i + 1) * dh) and output row j [j * sh, (j + 1) * sh), in
      // units of 1 / dh source rows; a row overlaps at most two output rows since dh < sh.
      const std::int64_t dh = dst_height_, sh = src_height_;
      const std::int64_t lo = row * dh, hi = lo + dh, end = (out_row_ + 1) * sh;
      if (hi <= end) {
        // Wholly inside output row j, so it weighs dh / sh like every whole row.
        if (whole_count_ == 0) {
          SetWhole(whole_.data(), rgb, count);
        } else {
          AddWhole(whole_.data(), rgb, count);
        }
        if (++whole_count_ == kMostWholeRows) FoldWholeRows();
        if (hi == end) {
          FinishShrunkRow(nullptr, 0);
          has_lead_ = false;
        }
      } else {
        // Shared with the next output row: its part above the border ends row j, and a copy of
        // it starts row j + 1.
        FinishShrunkRow(rgb, static_cast<float>(end - lo) * row_weight_);
        std::memcpy(lead_.data(), rgb, count);
        lead_weight_ = static_cast<float>(hi - end) * row_weight_;
        has_lead_ = true;
      }
      return;
    }
    case Vertical::kEnlarge: {
      std::uint8_t* slot = &recent_rows_[std::size_t(row & 1) * count];
      std::memcpy(slot, rgb, count);
      while (out_row_ < dst_height_) {
        const int upper = upper_row_[std::size_t(out_row_)];
        const float share = lower_share_[std::size_t(out_row_)];
        const int lower = share > 0 ? upper + 1 : upper;
        if (lower > row) break;
        Blend(line_.data(), &recent_rows_[std::size_t(upper & 1) * count],
              &recent_rows_[std::size_t(lower & 1) * count], share, count);
        EmitRow(line_.data());
      }
      return;
    }
  }
}

}  // namespace lormex
