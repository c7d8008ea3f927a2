#include "app/splitter_rule.h"

#include <algorithm>

namespace lormex {

PaneWidths SplitterRule::ApplyLimits(int usable, int right) const {
  right = std::max(right, min_right_);
  int left = usable - right;
  if (left < min_left_) {
    left = min_left_;
    right = usable - left;
  }
  return {left, right};
}

PaneWidths SplitterRule::PutBar(int width, int left) {
  const int usable = width - bar_width_;
  const PaneWidths panes = ApplyLimits(usable, usable - left);
  if (panes.right > 0 && usable > 0) {
    ratio_usable_ = usable;
    ratio_right_ = panes.right;
  }
  return panes;
}

std::optional<PaneWidths> SplitterRule::Resize(int width) const {
  if (width <= 0) return std::nullopt;
  const int usable = width - bar_width_;
  // usable / (ratio_usable_ / ratio_right_), rounded down.
  const long long scaled = static_cast<long long>(usable) * ratio_right_;
  const int right = static_cast<int>(
      scaled >= 0 ? scaled / ratio_usable_ : -((-scaled + ratio_usable_ - 1) / ratio_usable_));
  return ApplyLimits(usable, right);
}

}  // namespace lormex
