#include "app/main_splitter.h"

#include <QResizeEvent>

namespace lormex {

MainSplitter::MainSplitter(QWidget* left, QWidget* right, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent), rule_(kBarWidth, kMinLeft, kMinRight) {
  setHandleWidth(kBarWidth);
  setChildrenCollapsible(false);
  setOpaqueResize(true);
  addWidget(left);
  addWidget(right);
  left->setMinimumWidth(kMinLeft);
  right->setMinimumWidth(kMinRight);
  setStretchFactor(0, 0);
  setStretchFactor(1, 1);
  // Dragging the bar sets the proportion that later changes of size keep.
  connect(this, &QSplitter::splitterMoved, this, [this](int, int) {
    const QList<int> panes = sizes();
    if (panes.size() == 2) rule_.PutBar(width(), panes[0]);
  });
}

void MainSplitter::PutBar(int left) {
  if (!isVisible()) {
    // Not laid out yet: the bar is put at the first layout.
    initial_left_ = left;
    return;
  }
  ApplyWidths(rule_.PutBar(width(), left));
}

void MainSplitter::resizeEvent(QResizeEvent* event) {
  QSplitter::resizeEvent(event);
  if (initial_left_ >= 0 && width() > kBarWidth) {
    const int left = initial_left_;
    initial_left_ = -1;
    ApplyWidths(rule_.PutBar(width(), left));
    return;
  }
  if (std::optional<PaneWidths> panes = rule_.Resize(event->size().width())) {
    if (event->size().height() > 0) ApplyWidths(*panes);
  }
}

void MainSplitter::ApplyWidths(const PaneWidths& panes) { setSizes({panes.left, panes.right}); }

}  // namespace lormex
