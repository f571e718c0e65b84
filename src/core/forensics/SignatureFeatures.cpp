#include "core/forensics/SignatureFeatures.hpp"

#include <algorithm>
#include <cmath>
#include <string>

namespace penvora::core::forensics {
namespace {

// Longer than a handwritten signature takes; the warping's time grows
// with the square of the length.
constexpr double kMaxDurationMs = 60000;
// The warping band joins each row to the next only when the shorter series
// has five points or more, whatever the other's length, and the second
// differences need three per stroke: twice that is still far below any
// handwritten signature (0.1 s of writing).
constexpr std::size_t kMinPoints = 10;
constexpr double kMaxClockJitterMs = 50;

// Central differences inside each stroke, one-sided at its ends.
std::vector<double> derivative(const std::vector<double>& v, const std::vector<std::size_t>& starts) {
  std::vector<double> d(v.size(), 0);
  for (std::size_t s = 0; s < starts.size(); ++s) {
    const std::size_t a = starts[s], b = s + 1 < starts.size() ? starts[s + 1] : v.size();
    if (b - a < 2) continue;
    for (std::size_t i = a; i < b; ++i) {
      const std::size_t lo = i > a ? i - 1 : i, hi = i + 1 < b ? i + 1 : i;
      d[i] = (v[hi] - v[lo]) / static_cast<double>(hi - lo);
    }
  }
  return d;
}

void smooth(std::vector<double>& v, const std::vector<std::size_t>& starts, int half) {
  if (half <= 0) return;
  const std::vector<double> in = v;
  for (std::size_t s = 0; s < starts.size(); ++s) {
    const long a = static_cast<long>(starts[s]);
    const long b = static_cast<long>(s + 1 < starts.size() ? starts[s + 1] : v.size());
    for (long i = a; i < b; ++i) {
      double sum = 0;
      int n = 0;
      for (long k = std::max(a, i - half); k <= std::min(b - 1, i + half); ++k) sum += in[k], ++n;
      v[i] = sum / n;
    }
  }
}

double mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return v.empty() ? 0 : s / v.size();
}

double deviation(const std::vector<double>& v, double m) {
  double s = 0;
  for (double x : v) s += (x - m) * (x - m);
  return v.empty() ? 0 : std::sqrt(s / v.size());
}

double signChangesPerSecond(const std::vector<double>& d, double seconds) {
  int changes = 0, last = 0;
  for (double v : d) {
    const int sign = v > 1e-9 ? 1 : v < -1e-9 ? -1 : 0;
    if (sign && last && sign != last) ++changes;
    if (sign) last = sign;
  }
  return changes / std::max(seconds, 0.05);
}

}  // namespace

SignatureFeatures FeatureExtractor::extract(const PenSignature& signature, const FeatureSettings& st) {
  std::vector<PenSample> raw = signature.samples;
  // Tablets' clocks jitter by a few milliseconds, which is evened out; a
  // clock that goes back further would fold the writing onto itself.
  for (std::size_t i = 1; i < raw.size(); ++i) {
    if (raw[i].time < raw[i - 1].time - kMaxClockJitterMs)
      throw ForensicsError("the clock goes back by " +
                           std::to_string(static_cast<long>(raw[i - 1].time - raw[i].time)) + " ms at point " +
                           std::to_string(i + 1));
    raw[i].time = std::max(raw[i].time, raw[i - 1].time);
  }
  std::vector<double> steps;
  for (std::size_t i = 1; i < raw.size(); ++i)
    if (raw[i].time > raw[i - 1].time) steps.push_back(raw[i].time - raw[i - 1].time);
  double median = st.stepMs;
  if (!steps.empty()) {
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    median = steps[steps.size() / 2];
  }
  const double gap = std::max(st.gapFactor * median, st.minGapMs);
  if (raw.back().time - raw.front().time > kMaxDurationMs)
    throw ForensicsError("the signature lasts more than " + std::to_string(static_cast<int>(kMaxDurationMs / 1000)) +
                         " s");

  // Strokes, each resampled at the fixed step.
  SignatureFeatures f;
  double penDown = 0;
  std::size_t a = 0;
  while (a < raw.size()) {
    std::size_t b = a + 1;
    while (b < raw.size() && raw[b].time - raw[b - 1].time <= gap) ++b;
    f.strokeStarts.push_back(f.x.size());
    const double t0 = raw[a].time, t1 = raw[b - 1].time;
    penDown += t1 - t0;
    std::size_t k = a;
    for (double t = t0; t <= t1 + 1e-9; t += st.stepMs) {
      while (k + 1 < b && raw[k + 1].time < t) ++k;
      const PenSample& p = raw[k];
      const PenSample& q = raw[std::min(k + 1, b - 1)];
      const double span = q.time - p.time;
      const double w = span > 0 ? std::clamp((t - p.time) / span, 0.0, 1.0) : 0.0;
      f.x.push_back(p.x + w * (q.x - p.x));
      f.y.push_back(p.y + w * (q.y - p.y));
      f.pressure.push_back(p.pressure + w * (q.pressure - p.pressure));
    }
    a = b;
  }
  const std::size_t n = f.x.size();
  if (n < kMinPoints)
    throw ForensicsError("too short to compare (at least " + std::to_string(kMinPoints) + " points of writing at " +
                         std::to_string(static_cast<int>(st.stepMs)) + " ms steps are needed, it has " +
                         std::to_string(n) + ")");
  const double duration = std::max(raw.back().time - raw.front().time, st.stepMs);

  // Centre on the centroid; one scale for both axes keeps the shape.
  smooth(f.x, f.strokeStarts, st.smoothing);
  smooth(f.y, f.strokeStarts, st.smoothing);
  const double mx = mean(f.x), my = mean(f.y);
  const auto [minX, maxX] = std::minmax_element(f.x.begin(), f.x.end());
  const auto [minY, maxY] = std::minmax_element(f.y.begin(), f.y.end());
  // A pen that never moves drew nothing to compare, however long it stayed.
  if (*maxX - *minX < 1 && *maxY - *minY < 1)
    throw ForensicsError("the pen does not move: every point is in one place");
  const double width = std::max(*maxX - *minX, 1.0), height = std::max(*maxY - *minY, 1.0);
  const double scale = std::max(deviation(f.y, my), 1.0);
  for (std::size_t i = 0; i < n; ++i) f.x[i] = (f.x[i] - mx) / scale, f.y[i] = (f.y[i] - my) / scale;

  const auto dx = derivative(f.x, f.strokeStarts), dy = derivative(f.y, f.strokeStarts);
  const auto ddx = derivative(dx, f.strokeStarts), ddy = derivative(dy, f.strokeStarts);
  f.speed.resize(n);
  for (std::size_t i = 0; i < n; ++i) f.speed[i] = std::hypot(dx[i], dy[i]);

  // Position, velocity and acceleration: direction and curvature features
  // measured no better on the development data and cost time.
  std::vector<const std::vector<double>*> columns = {&f.x, &f.y, &dx, &dy, &ddx, &ddy};
  // Pressure itself; its derivative only added noise.
  if (st.usePressure) columns.push_back(&f.pressure);
  f.dims = columns.size();
  f.local.resize(n * f.dims);
  for (std::size_t c = 0; c < f.dims; ++c) {
    const auto& col = *columns[c];
    const double m = mean(col), sd = std::max(deviation(col, m), 1e-6);
    for (std::size_t i = 0; i < n; ++i) f.local[i * f.dims + c] = static_cast<float>((col[i] - m) / sd);
  }

  // Global features, each free of position and size.
  const double seconds = duration / 1000.0;
  double path = 0, accel = 0;
  int right = 0, down = 0;
  for (std::size_t i = 0; i < n; ++i) {
    path += f.speed[i];
    accel += std::hypot(ddx[i], ddy[i]);
    right += dx[i] > 0;
    down += dy[i] > 0;
  }
  const double meanSpeed = std::max(path / n, 1e-9);
  const double maxSpeed = *std::max_element(f.speed.begin(), f.speed.end());
  const double pathInHeights = path * scale / height;
  f.global = {std::log(duration),
              static_cast<double>(f.strokeStarts.size()),
              penDown / duration,
              std::log(std::max(pathInHeights, 1e-3)),
              std::log(width / height),
              std::log(std::max(pathInHeights / seconds, 1e-3)),
              maxSpeed / meanSpeed,
              deviation(f.speed, meanSpeed) / meanSpeed,
              signChangesPerSecond(dx, seconds),
              signChangesPerSecond(dy, seconds),
              accel / n / meanSpeed,
              static_cast<double>(right) / n,
              static_cast<double>(down) / n};
  if (st.usePressure) {
    const double mp = mean(f.pressure);
    f.global.push_back(mp);
    f.global.push_back(deviation(f.pressure, mp));
  }
  return f;
}

}  // namespace penvora::core::forensics
