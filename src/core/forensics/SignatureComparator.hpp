#pragma once
#include <cmath>
#include <vector>

#include "core/forensics/PenSignature.hpp"
#include "core/forensics/SignatureFeatures.hpp"

namespace penvora::core::forensics {

// Everything the comparison decides with; the defaults ship.
struct ComparisonSettings {
  FeatureSettings features;
  double band = 0.15;               // DTW band, fraction of the longer signature
  std::vector<float> localWeights;  // per local feature, empty for all 1
  // Each feature's difference (in the signature's own standard deviations)
  // counts at most this much, so one stretch written differently, which
  // genuine signatures have too, weighs no more than being merely unlike.
  float localCap = 0.75f;
  double driftTurn = 0.15;     // each reference is also tried turned by ± this (radians), 0 for none
  double driftPenalty = 0.02;  // a turned reference's distance counts this share more than the reference's
  double nearestShare = 0.5;   // the DTW distance is this much the nearest reference's, the rest the mean
  double spreadPower = 0.25;   // that distance is divided by the references' own mean to this power
  double globalWeight = 0.05;  // share of the global-feature score in the distance
  double scale = 1.0;          // the distance is multiplied by this (one threshold for all feature sets)
};

// The distance a decision is made on, with its parts for an examiner.
struct Comparison {
  double distance = 0;                     // lower is more alike
  double localScore = 0, globalScore = 0;  // the two fused parts
  std::vector<double> referenceDistances;  // DTW distance to each reference (or a turned copy), in their order
  bool usedPressure = false;
};

// A person's reference signatures, with the spread among them that every
// questioned signature is measured against: the DTW distance is damped by
// how far the references lie from one another (a varying signer is
// allowed more), each reference also counts turned a little either way
// (the drift between sessions, see DriftVariants), and each global feature is scored by how many of its
// spreads it lies from the references' mean.
class ReferenceModel {
 public:
  // At least two references that align with one another. Throws
  // ForensicsError otherwise.
  ReferenceModel(const std::vector<PenSignature>& references, bool usePressure, const ComparisonSettings& settings);
  // Throws ForensicsError when the questioned signature cannot be aligned.
  Comparison compare(const PenSignature& questioned) const;
  Comparison compare(const SignatureFeatures& questioned) const;
  const std::vector<SignatureFeatures>& references() const { return refs_; }

 private:
  ComparisonSettings settings_;
  bool usePressure_;
  std::vector<SignatureFeatures> refs_;
  std::vector<std::vector<SignatureFeatures>> turned_;  // per reference, its turned copies
  double referenceSpread_ = 1;                          // mean DTW distance between two references
  std::vector<double> globalMean_, globalSpread_;
};

// The shipped comparison and its decision threshold: D ≤ kThreshold is
// judged genuine. Measured on the development data (see bench/RESULTS.md).
class SignatureComparator {
 public:
  static constexpr double kThreshold = 1.0;
  // What the threshold did on the development data (fractions), for a
  // report to state next to its decision.
  struct MeasuredRates {
    double falseReject, skilledFalseAccept, randomFalseAccept, skilledEqualError;
  };
  static MeasuredRates measuredRates(bool usePressure);
  // Settings for a comparison with or without pressure.
  static ComparisonSettings settings(bool usePressure);
  // Pressure is used only when every compared record carries it.
  static bool pressureUsable(const std::vector<PenSignature>& references, const PenSignature& questioned);
  static Comparison compare(const std::vector<PenSignature>& references, const PenSignature& questioned);
  static bool genuine(double distance) { return std::isfinite(distance) && distance <= kThreshold; }
};

}  // namespace penvora::core::forensics
