#pragma once
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <vector>

namespace penvora::tools {

// Values of several signatures over their pen-down time, one curve each,
// on axes with labelled ticks so that an examiner can read times and
// values off the page.
struct TimePlot {
  std::vector<std::vector<double>> curves;  // one value per resampled point; the questioned one last
  double stepMs = 10;                       // time between two points
  QString valueAxis;                        // what the values are, with their unit
  QFont tickFont;
  QColor referenceColour, questionedColour;

  // Draws into `area`: the frame, the curves, the ticks and the axis titles
  // (the labels take the area's left 60 and bottom 34 units).
  void draw(QPainter& p, const QRectF& area) const;
};

}  // namespace penvora::tools
