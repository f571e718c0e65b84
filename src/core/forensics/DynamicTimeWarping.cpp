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

template <typename Cost, typename Visit>
void fill(const Band& band, Cost cost, Visit visit) {
  // Only band cells are written, so only they need clearing: `cur` still
  // holds the row before last, infinite outside its band.
  std::vector<double> prev(band.m, kInf), cur(band.m, kInf);
  std::pair<std::size_t, std::size_t> prevBand{0, 0}, stale{0, 0};
  for (std::size_t i = 0; i < band.n; ++i) {
    const auto [lo, hi] = band.row(i);
    std::fill(cur.begin() + static_cast<long>(stale.first), cur.begin() + static_cast<long>(stale.second), kInf);
    for (std::size_t j = lo; j < hi; ++j) {
      // Symmetric steps: a diagonal step counts its cost twice, so every
      // path weighs n + m costs and the division below is fair to paths
      // that keep to the diagonal and to those that do not.
      const double c = cost(i, j);
      double best;
      if (i == 0 && j == 0)
        best = 2 * c;
      else {
        best = (i > 0 ? prev[j] : kInf) + c;
        if (j > 0) best = std::min({best, cur[j - 1] + c, (i > 0 ? prev[j - 1] : kInf) + 2 * c});
      }
      cur[j] = best;
    }
    visit(i, cur);
    std::swap(prev, cur);
    stale = prevBand;
    prevBand = {lo, hi};
  }
}

}  // namespace

double DynamicTimeWarping::distance(const SignatureFeatures& a, const SignatureFeatures& b, double bandFraction,
                                    const std::vector<float>& weights) {
  const std::size_t n = a.length(), m = b.length(), d = a.dims;
  if (n == 0 || m == 0 || d != b.dims) return kInf;
  std::vector<float> w(weights.begin(), weights.end());
  w.resize(d, 1.0f);
  const float* pa = a.local.data();
  const float* pb = b.local.data();
  double total = kInf;
  fill(
      Band(n, m, bandFraction),
      [&](std::size_t i, std::size_t j) {
        const float* u = pa + i * d;
        const float* v = pb + j * d;
        float s = 0;
        for (std::size_t k = 0; k < d; ++k) s += w[k] * std::fabs(u[k] - v[k]);
        return static_cast<double>(s);
      },
      [&](std::size_t i, const std::vector<double>& row) {
        if (i + 1 == n) total = row[m - 1];
      });
  return total / static_cast<double>(n + m);
}

}  // namespace penvora::core::forensics
