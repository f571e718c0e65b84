#include "qt/ui/AspectRatioBox.hpp"

#include <QResizeEvent>
#include <cmath>

namespace penvora::qt::ui {

AspectRatioBox::AspectRatioBox(QWidget* child, double ratio, QWidget* parent)
    : QWidget(parent), child_(child), ratio_(std::isfinite(ratio) && ratio > 0 ? ratio : 1.0) {
  child_->setParent(this);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QRect AspectRatioBox::fitted(const QSize& space, double ratio) {
  int w = space.width(), h = static_cast<int>(std::lround(space.width() / ratio));
  if (h > space.height()) {
    h = space.height();
    w = static_cast<int>(std::lround(space.height() * ratio));
  }
  return QRect((space.width() - w) / 2, (space.height() - h) / 2, w, h);
}

void AspectRatioBox::resizeEvent(QResizeEvent* event) { child_->setGeometry(fitted(event->size(), ratio_)); }

}  // namespace penvora::qt::ui
