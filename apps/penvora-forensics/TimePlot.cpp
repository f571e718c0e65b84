#include "TimePlot.hpp"

#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace penvora::tools {
namespace {

// A step of 1, 2, 2.5 or 5 times a power of ten giving about `count`
// ticks over `range`: values a reader can add up at a glance.
double tickStep(double range, int count) {
  const double raw = std::max(range, 1e-9) / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 2.5, 5.0})
    if (m * power >= raw) return m * power;
  return 10 * power;
}

// As many decimals as the step needs (0.25 two, 0.5 one, 20 none).
QString tickText(double v, double step) {
  int decimals = 0;
  while (decimals < 3 && std::fabs(step * std::pow(10, decimals) - std::round(step * std::pow(10, decimals))) > 1e-6)
    ++decimals;
  return QString::number(v, 'f', decimals);
}

}  // namespace

void TimePlot::draw(QPainter& p, const QRectF& area) const {
  const QRectF box = area.adjusted(60, 0, 0, -34);
  double maxT = 0, maxV = 0;
  for (const auto& c : curves) {
    maxT = std::max(maxT, static_cast<double>(c.size()) * stepMs / 1000.0);
    for (double v : c) maxV = std::max(maxV, v);
  }
  const double tStep = tickStep(maxT, 10), vStep = tickStep(maxV, 4);
  const double topT = std::max(maxT, tStep), topV = std::max(std::ceil(maxV / vStep - 1e-9), 1.0) * vStep;
  const auto at = [&](double t, double v) {
    return QPointF(box.left() + box.width() * t / topT, box.bottom() - box.height() * v / topV);
  };

  p.setFont(tickFont);
  const QPen grid(QColor(225, 225, 225), 0.6), tick(Qt::darkGray, 0.8);
  for (double t = 0; t <= topT + tStep * 1e-6; t += tStep) {
    const QPointF x = at(t, 0);
    p.setPen(grid);
    p.drawLine(QPointF(x.x(), box.top()), x);
    p.setPen(tick);
    p.drawLine(x, x + QPointF(0, 4));
    p.setPen(Qt::black);
    p.drawText(QRectF(x.x() - 30, box.bottom() + 5, 60, 14), Qt::AlignHCenter | Qt::AlignTop, tickText(t, tStep));
  }
  for (double v = 0; v <= topV + vStep * 1e-6; v += vStep) {
    const QPointF y = at(0, v);
    p.setPen(grid);
    p.drawLine(y, QPointF(box.right(), y.y()));
    p.setPen(tick);
    p.drawLine(y - QPointF(4, 0), y);
    p.setPen(Qt::black);
    p.drawText(QRectF(box.left() - 50, y.y() - 8, 44, 16), Qt::AlignRight | Qt::AlignVCenter, tickText(v, vStep));
  }
  p.drawText(QRectF(box.left(), box.bottom() + 19, box.width(), 14), Qt::AlignHCenter | Qt::AlignTop,
             "pen-down time (s)");
  p.save();
  p.translate(area.left() + 2, box.center().y());
  p.rotate(-90);
  p.drawText(QRectF(-box.height() / 2, 0, box.height(), 14), Qt::AlignHCenter | Qt::AlignTop, valueAxis);
  p.restore();
  p.setPen(QPen(Qt::gray, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(box);

  for (std::size_t k = 0; k < curves.size(); ++k) {
    const bool questioned = k + 1 == curves.size();
    p.setPen(QPen(questioned ? questionedColour : referenceColour, questioned ? 1.6 : 0.8));
    QPainterPath path;
    for (std::size_t i = 0; i < curves[k].size(); ++i) {
      const QPointF point = at(static_cast<double>(i) * stepMs / 1000.0, curves[k][i]);
      if (i == 0)
        path.moveTo(point);
      else
        path.lineTo(point);
    }
    p.drawPath(path);
  }
}

}  // namespace penvora::tools
