#include "core/forensics/SignatureComparator.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/forensics/DriftVariants.hpp"
#include "core/forensics/DynamicTimeWarping.hpp"

namespace penvora::core::forensics {
namespace {

// The within-signer standard deviation of each global feature, pooled
// over the development signers (5 references each).
constexpr double kPooledGlobalSpread[] = {0.0558, 0.686, 0.0409,  0.069,  0.0881, 0.0948, 0.355, 0.0448,
                                          0.874,  0.684, 0.00846, 0.0368, 0.0266, 0.0356, 0.0137};

}  // namespace

ReferenceModel::ReferenceModel(const std::vector<PenSignature>& references, bool usePressure,
                               const ComparisonSettings& settings)
    : settings_(settings), usePressure_(usePressure) {
  if (references.size() < 2) throw ForensicsError("at least two reference signatures are needed");
  settings_.features.usePressure = usePressure;
  for (const auto& r : references) {
    refs_.push_back(FeatureExtractor::extract(r, settings_.features));
    turned_.emplace_back();
    for (const auto& t : DriftVariants::turned(r, settings_.driftTurn))
      turned_.back().push_back(FeatureExtractor::extract(t, settings_.features));
  }

  // The spread: the mean distance between two references, over every pair
  // of up to 9 references; past that, each with its next 4 in a ring (each
  // pair then once), so that 60 long references cost 240 warpings rather
  // than 1,770.
  const std::size_t k = refs_.size();
  constexpr std::size_t kNeighbours = 4;
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t i = 0; i < k; ++i)
    if (k <= 2 * kNeighbours + 1)
      for (std::size_t j = i + 1; j < k; ++j) pairs.emplace_back(i, j);
    else
      for (std::size_t step = 1; step <= kNeighbours; ++step) pairs.emplace_back(i, (i + step) % k);
  double sum = 0;
  for (const auto& [i, j] : pairs) {
    const double d =
        DynamicTimeWarping::distance(refs_[i], refs_[j], settings_.band, settings_.localWeights, settings_.localCap);
    // An infinite spread would let every questioned signature pass.
    if (!std::isfinite(d))
      throw ForensicsError("references " + std::to_string(std::min(i, j) + 1) + " and " +
                           std::to_string(std::max(i, j) + 1) + " cannot be aligned with each other");
    sum += d;
  }
  referenceSpread_ = std::max(sum / static_cast<double>(pairs.size()), 1e-6);

  const std::size_t g = refs_.front().global.size();
  globalMean_.assign(g, 0);
  globalSpread_.assign(g, 0);
  for (const auto& r : refs_)
    for (std::size_t i = 0; i < g; ++i) globalMean_[i] += r.global[i] / k;
  for (const auto& r : refs_)
    for (std::size_t i = 0; i < g; ++i) globalSpread_[i] += std::pow(r.global[i] - globalMean_[i], 2) / (k - 1);
  // Five references say little about a feature's spread: it is widened by
  // the typical spread of one signer's feature, pooled over the signers of
  // the development data, so a feature that happened to agree does not
  // dominate.
  for (std::size_t i = 0; i < g; ++i)
    globalSpread_[i] = std::sqrt(globalSpread_[i] + kPooledGlobalSpread[i] * kPooledGlobalSpread[i]);
}

Comparison ReferenceModel::compare(const PenSignature& questioned) const {
  return compare(FeatureExtractor::extract(questioned, settings_.features));
}

Comparison ReferenceModel::compare(const SignatureFeatures& q) const {
  Comparison c;
  c.usedPressure = usePressure_;
  const double penalty = 1 + settings_.driftPenalty;
  for (std::size_t r = 0; r < refs_.size(); ++r) {
    double d = DynamicTimeWarping::distance(q, refs_[r], settings_.band, settings_.localWeights, settings_.localCap);
    // A turned copy counts only where it is closer even with its penalty,
    // so its warping is given up as soon as it cannot be.
    for (const auto& t : turned_[r])
      d = std::min(d, penalty * DynamicTimeWarping::distance(q, t, settings_.band, settings_.localWeights,
                                                             settings_.localCap, d / penalty));
    c.referenceDistances.push_back(d);
  }
  const double mean = std::accumulate(c.referenceDistances.begin(), c.referenceDistances.end(), 0.0) /
                      static_cast<double>(refs_.size());
  // A genuine signature is usually close to one reference at least, where
  // a forgery tends to be far from all of them.
  const double nearest = *std::min_element(c.referenceDistances.begin(), c.referenceDistances.end());
  const double local = settings_.nearestShare * nearest + (1 - settings_.nearestShare) * mean;
  c.localScore = local / std::pow(referenceSpread_, settings_.spreadPower);
  double g = 0;
  for (std::size_t i = 0; i < globalMean_.size(); ++i) g += std::fabs(q.global[i] - globalMean_[i]) / globalSpread_[i];
  c.globalScore = g / static_cast<double>(globalMean_.size());
  c.distance = settings_.scale * (c.localScore + settings_.globalWeight * c.globalScore);
  // Nothing is decided on a distance that is not a number.
  if (!std::isfinite(c.distance)) throw ForensicsError("the signature cannot be aligned with the references");
  return c;
}

ComparisonSettings SignatureComparator::settings(bool usePressure) {
  ComparisonSettings s;
  s.features.usePressure = usePressure;
  // One rule for both feature sets: the threshold (1) is where 4 % of the
  // development skilled forgeries are accepted (bench/forensics prints it).
  s.scale = usePressure ? 1 / 1.6869 : 1 / 1.3981;
  return s;
}

SignatureComparator::MeasuredRates SignatureComparator::measuredRates(bool usePressure) {
  // bench/forensics on the 20 development users: 300 genuine, 400 skilled
  // and 7600 random questioned signatures.
  return usePressure ? MeasuredRates{0.0300, 0.0400, 0.0, 0.0329} : MeasuredRates{0.0367, 0.0400, 0.0, 0.0371};
}

bool SignatureComparator::pressureUsable(const std::vector<PenSignature>& references, const PenSignature& questioned) {
  return questioned.hasPressure &&
         std::all_of(references.begin(), references.end(), [](const PenSignature& r) { return r.hasPressure; });
}

Comparison SignatureComparator::compare(const std::vector<PenSignature>& references, const PenSignature& questioned) {
  const bool pressure = pressureUsable(references, questioned);
  return ReferenceModel(references, pressure, settings(pressure)).compare(questioned);
}

}  // namespace penvora::core::forensics
