#pragma once
#include <QWidget>

namespace penvora::qt::ui {

// Holds one child and fits it, centred, into the space it is given with a
// fixed width ÷ height.
class AspectRatioBox : public QWidget {
 public:
  AspectRatioBox(QWidget* child, double ratio, QWidget* parent = nullptr);
  static QRect fitted(const QSize& space, double ratio);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* child_;
  double ratio_;
};

}  // namespace penvora::qt::ui
