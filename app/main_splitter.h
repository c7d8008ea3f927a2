#ifndef LORMEX_APP_MAIN_SPLITTER_H_
#define LORMEX_APP_MAIN_SPLITTER_H_

#include <QSplitter>

#include "app/splitter_rule.h"

namespace lormex {

// The two panes side by side: the folder tree on the left, the album list on the right, with a
// 4-pixel bar. When its width changes both panes keep their proportions (SplitterRule).
class MainSplitter : public QSplitter {
  Q_OBJECT

 public:
  static constexpr int kBarWidth = 4;
  static constexpr int kMinLeft = 150;
  static constexpr int kMinRight = 200;

  MainSplitter(QWidget* left, QWidget* right, QWidget* parent = nullptr);

  // Puts the bar so that the left pane is `left` wide.
  void PutBar(int left);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ApplyWidths(const PaneWidths& panes);

  SplitterRule rule_;
  int initial_left_ = -1;  // the first bar position, taken up at the first layout
};

}  // namespace lormex

#endif  // LORMEX_APP_MAIN_SPLITTER_H_
