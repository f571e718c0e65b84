// Cost of one pen event on a 2048 × 1536 capture surface, for the stroke
// view and the canvas: the event handled and its ink drawn into the
// retained bitmap, with the widget repainted every N events (a 240 Hz pen
// on a 60 Hz display repaints every 4). The goal is under 1 ms per event.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QMouseEvent>
#include <cmath>

#include "penvora/SignatureView.hpp"
#include "qt/capture/Canvas.hpp"

namespace {

constexpr int kWidth = 2048, kHeight = 1536;

QPointF pathPoint(std::int64_t i) {
  // A looping scribble over the whole surface, a few pixels per event.
  const double t = static_cast<double>(i) * 0.01;
  return {kWidth / 2.0 + 900 * std::sin(t * 1.3), kHeight / 2.0 + 650 * std::sin(t * 2.1)};
}

void send(QWidget& w, QEvent::Type type, const QPointF& p, Qt::MouseButtons buttons) {
  QMouseEvent e(type, p, w.mapToGlobal(p), Qt::LeftButton, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &e);
}

template <class View>
void runEvents(benchmark::State& state, View& view, std::int64_t eventsPerFrame) {
  view.resize(kWidth, kHeight);
  view.show();
  QCoreApplication::processEvents();
  std::int64_t i = 0;
  send(view, QEvent::MouseButtonPress, pathPoint(i), Qt::LeftButton);
  for (auto _ : state) {
    send(view, QEvent::MouseMove, pathPoint(++i), Qt::LeftButton);
    // Strokes of 500 events, as a signer lifts the pen now and then.
    if (i % 500 == 0) {
      send(view, QEvent::MouseButtonRelease, pathPoint(i), Qt::NoButton);
      send(view, QEvent::MouseButtonPress, pathPoint(i), Qt::LeftButton);
    }
    if (i % eventsPerFrame == 0) QCoreApplication::processEvents();
  }
  send(view, QEvent::MouseButtonRelease, pathPoint(i), Qt::NoButton);
  state.counters["events/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_StrokeViewEvent(benchmark::State& state) {
  penvora::SignatureView view;
  runEvents(state, view, state.range(0));
}

void BM_CanvasEvent(benchmark::State& state) {
  penvora::qt::capture::Canvas canvas(false, "#000000", 10.0);
  runEvents(state, canvas, state.range(0));
}

BENCHMARK(BM_StrokeViewEvent)->ArgName("eventsPerFrame")->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CanvasEvent)->ArgName("eventsPerFrame")->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
