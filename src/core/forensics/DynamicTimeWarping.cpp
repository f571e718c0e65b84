#include "core/forensics/DynamicTimeWarping.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace penvora::core::forensics {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Band {
  std::size_t n, m, half;
  Band(std::size_t n_, std::size_t m_, double band)
      : n(n_), m(m_), half(std::max<std::size_t>(2, static_cast<std::size_t>(band * std::max(n_, m_)))) {}
  // Columns [lo, hi) of row i.
  std::pair<std::size_t, std::size_t> row(std::size_t i) const {
    const double centre = n > 1 ? static_cast<double>(i) * (m - 1) / (n - 1) : 0;
    const long lo = static_cast<long>(std::floor(centre)) - static_cast<long>(half);
    const std::size_t hi = std::min(m, static_cast<std::size_t>(std::ceil(centre)) + half + 1);
    return {static_cast<std::size_t>(std::max(0L, lo)), hi};
  }
};

// Four columns at a time, in a form the compiler turns into vector
// instructions; the buffers are padded so the last group is whole.
constexpr std::size_t kLanes = 4;

// The costs of point u of one series against columns [lo, hi) of the
// other, stored feature by feature (bt[k * stride + j]). Each column's sum
// runs over the features in order, as a plain loop would, so the distances
// do not depend on this layout.
void rowCosts(const float* u, const float* bt, std::size_t stride, const std::vector<float>& w, bool weighted,
              float cap, std::size_t lo, std::size_t hi, float* out) {
  std::fill(out + lo, out + hi + kLanes, 0.0f);
  for (std::size_t k = 0; k < w.size(); ++k) {
    const float uk = u[k], wk = w[k];
    const float* col = bt + k * stride;
    if (weighted)
      for (std::size_t j = lo; j < hi; j += kLanes)
        for (std::size_t l = 0; l < kLanes; ++l) out[j + l] += wk * std::min(std::fabs(uk - col[j + l]), cap);
    else
      for (std::size_t j = lo; j < hi; j += kLanes)
        for (std::size_t l = 0; l < kLanes; ++l) out[j + l] += std::min(std::fabs(uk - col[j + l]), cap);
  }
}

}  // namespace

double DynamicTimeWarping::distance(const SignatureFeatures& a, const SignatureFeatures& b, double bandFraction,
                                    const std::vector<float>& weights, float cap, double abandonAbove) {
  const std::size_t n = a.length(), m = b.length(), d = a.dims;
  if (n == 0 || m == 0 || d != b.dims) return kInf;
  std::vector<float> w(weights.begin(), weights.end());
  w.resize(d, 1.0f);
  const bool weighted = std::any_of(w.begin(), w.end(), [](float x) { return x != 1.0f; });
  const std::size_t stride = m + kLanes;
  std::vector<float> bt(d * stride, 0.0f), cost(stride, 0.0f);
  for (std::size_t j = 0; j < m; ++j)
    for (std::size_t k = 0; k < d; ++k) bt[k * stride + j] = b.local[j * d + k];

  const Band band(n, m, bandFraction);
  const double limit = abandonAbove * static_cast<double>(n + m);
  // Only band cells are written, so only they need clearing: `cur` still
  // holds the row before last, infinite outside its band.
  std::vector<double> prev(m, kInf), cur(m, kInf);
  std::pair<std::size_t, std::size_t> prevBand{0, 0}, stale{0, 0};
  for (std::size_t i = 0; i < n; ++i) {
    const auto [lo, hi] = band.row(i);
    std::fill(cur.begin() + static_cast<long>(stale.first), cur.begin() + static_cast<long>(stale.second), kInf);
    rowCosts(a.local.data() + i * d, bt.data(), stride, w, weighted, cap, lo, hi, cost.data());
    // Symmetric steps: a diagonal step counts its cost twice, so every
    // path weighs n + m costs and the division by n + m is fair to paths
    // that keep to the diagonal and to those that do not. The steps from
    // the row above come first: they do not wait on the cell to the left.
    double left = kInf, rowBest = kInf;
    for (std::size_t j = lo; j < hi; ++j) {
      const double c = cost[j];
      double best;
      if (i == 0 && j == 0)
        best = 2 * c;
      else
        best = std::min(std::min(prev[j] + c, (j > 0 ? prev[j - 1] : kInf) + 2 * c), left + c);
      cur[j] = left = best;
      rowBest = std::min(rowBest, best);
    }
    // Every path crosses every row and no cost is negative: once the
    // cheapest partial path is over the limit, the whole warping is too.
    if (rowBest > limit) return kInf;
    std::swap(prev, cur);
    stale = prevBand;
    prevBand = {lo, hi};
  }
  return prev[m - 1] / static_cast<double>(n + m);
}

}  // namespace penvora::core::forensics
