#ifndef LORMEX_APP_SPLITTER_RULE_H_
#define LORMEX_APP_SPLITTER_RULE_H_

#include <optional>

namespace lormex {

struct PaneWidths {
  int left = 0;
  int right = 0;
  friend bool operator==(const PaneWidths&, const PaneWidths&) = default;
};

// How the two panes of the main splitter share its width. The splitter remembers the ratio of
// its usable width (its width less the bar) to the width of the right pane; putting or dragging
// the bar sets the ratio anew, and a change of size keeps it, so both panes keep their
// proportions. The right pane is widened to its minimum first; then the left minimum wins.
class SplitterRule {
 public:
  SplitterRule(int bar_width, int min_left, int min_right)
      : bar_width_(bar_width), min_left_(min_left), min_right_(min_right) {}

  // Puts the bar so that the left pane of a splitter `width` wide is `left` wide, within the
  // limits, and remembers the new ratio.
  PaneWidths PutBar(int width, int left);

  // The panes after the splitter has become `width` wide; nothing for a width of 0 (minimised).
  std::optional<PaneWidths> Resize(int width) const;

 private:
  PaneWidths ApplyLimits(int usable, int right) const;

  int bar_width_;
  int min_left_;
  int min_right_;
  // The ratio as the two widths it was taken from, so that dividing by it is exact.
  long long ratio_usable_ = 2;
  long long ratio_right_ = 1;
};

}  // namespace lormex

#endif  // LORMEX_APP_SPLITTER_RULE_H_
